// The built qvo-pack, run as the build runs it.
#include "source/debugserver.h"
#include "source/exceptionserver.h"
#include "source/fileserver.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q.append("'\\''");
        else
            q.push_back(c);
    }
    q.push_back('\'');
    return q;
}

const std::string tool = std::string(QVO_BINARY_DIR) + "/qvo-pack";

class PackTool : public testing::Test {
protected:
    ToolRun run(const std::vector<std::string>& args) {
        std::string command = quoted(tool);
        for (const std::string& a : args) command.append(" ").append(quoted(a));
        command.append(" >").append(quoted(dir.path("stdout")));
        command.append(" 2>").append(quoted(dir.path("stderr")));
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ScratchDir::read(dir.path("stdout")),
                ScratchDir::read(dir.path("stderr"))};
    }

    ScratchDir dir;
};

const std::string binary = std::string("head\0@@tail\xff", 12);

TEST_F(PackTool, CreateListExtractRoundTripThroughTheFileServer) {
    const std::string a = dir.write("a.bin", binary);
    const std::string b = dir.write("b.txt", "pq");
    const std::string e = dir.write("e.txt", "");
    const std::string pack = dir.path("QuelVarnOssa.dat");
    ToolRun created = run({"create", pack, "data/kov-marrowin(clip).mp3=" + a, "Data/Quel.raw=" + b, "empty=" + e});
    ASSERT_EQ(created.code, 0) << created.err;

    ToolRun listed = run({"list", pack});
    EXPECT_EQ(listed.code, 0);
    const int first = 46 + int(std::string("data/kov-marrowin(clip).mp3@12@Data/Quel.raw@2@empty@0@@").size());
    EXPECT_EQ(listed.out, "data/kov-marrowin(clip).mp3\t12\t" + std::to_string(first) + "\nData/Quel.raw\t2\t" +
                              std::to_string(first + 12) + "\nempty\t0\t" + std::to_string(first + 14) + "\n");

    DebugServer debug(11, 0);
    FileServer files(&debug, 200);
    files.openPack(pack.c_str());
    ASSERT_EQ(files.getFileSize("kov-marrowin(clip).mp3"), 12);
    std::unique_ptr<unsigned char[]> music(files.getFile("kov-marrowin(clip).mp3"));
    ASSERT_TRUE(music);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(music.get()), 12), binary);
    EXPECT_EQ(files.getFileSize("empty"), 0);

    ASSERT_EQ(run({"extract", pack, "QUEL.RAW", dir.path("out")}).code, 0);
    EXPECT_EQ(ScratchDir::read(dir.path("out")), "pq");
    ASSERT_EQ(run({"extract", pack, "empty", dir.path("none")}).code, 0);
    EXPECT_TRUE(ScratchDir::exists(dir.path("none")));
    EXPECT_EQ(ScratchDir::read(dir.path("none")), "");
}

TEST_F(PackTool, SameInputsGiveTheSameBytes) {
    const std::string a = dir.write("a.bin", binary);
    ASSERT_EQ(run({"create", dir.path("1.dat"), "x=" + a, "y=" + a}).code, 0);
    ASSERT_EQ(run({"create", dir.path("2.dat"), "x=" + a, "y=" + a}).code, 0);
    EXPECT_EQ(ScratchDir::read(dir.path("1.dat")), ScratchDir::read(dir.path("2.dat")));
    ASSERT_EQ(run({"create", dir.path("empty.dat")}).code, 0);
    ToolRun listed = run({"list", dir.path("empty.dat")});
    EXPECT_EQ(listed.code, 0);
    EXPECT_EQ(listed.out, "");
}

TEST_F(PackTool, BadPacksGetAClearMessageAndExitCodeOne) {
    const std::string a = dir.write("a.bin", binary);
    ASSERT_EQ(run({"create", dir.path("good.dat"), "x=" + a}).code, 0);
    const std::string good = ScratchDir::read(dir.path("good.dat"));
    struct Case {
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {good.substr(0, good.size() - 1), "malformed directory"},
        {good.substr(0, 50), "malformed directory"},
        {"just some text", "no pack signature"},
        {"", "empty"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.write("bad.dat", c.bytes);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"list", path}, std::vector<std::string>{"extract", path, "x", dir.path("o")}}) {
            ToolRun r = run(args);
            EXPECT_EQ(r.code, 1) << args[0] << " " << c.message;
            EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        }
        EXPECT_FALSE(ScratchDir::exists(dir.path("o")));
    }
    ToolRun missing = run({"list", dir.path("absent.dat")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("cannot be opened"), std::string::npos) << missing.err;
}

TEST_F(PackTool, RefusedCreateLeavesAnExistingPackUntouched) {
    const std::string a = dir.write("a.bin", binary);
    const std::string out = dir.write("out.dat", "previous pack");
    const std::vector<std::vector<std::string>> refused = {
        {"create", out, "x=" + dir.path("absent")},
        {"create", out, "no-equals-sign"},
        {"create", out, "=" + a},
        {"create", out, "a@b=" + a},
        {"create", out, std::string(512, 'n') + "=" + a},
        {"create", out, "Same=" + a, "same=" + a},
    };
    for (const auto& args : refused) {
        ToolRun r = run(args);
        EXPECT_EQ(r.code, 1) << args.back().substr(0, 40);
        EXPECT_NE(r.err.find("qvo-pack: "), std::string::npos);
        EXPECT_EQ(ScratchDir::read(out), "previous pack");
    }
    EXPECT_EQ(run({"create", out, std::string(511, 'n') + "=" + a}).code, 0) << "511 bytes is the longest name";
    EXPECT_FALSE(ScratchDir::exists(out + ".partial"));
}

TEST_F(PackTool, MissingEntryAndMisuse) {
    const std::string a = dir.write("a.bin", binary);
    ASSERT_EQ(run({"create", dir.path("p.dat"), "x=" + a}).code, 0);
    ToolRun r = run({"extract", dir.path("p.dat"), "y", dir.path("o")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("no entry named \"y\""), std::string::npos) << r.err;
    EXPECT_FALSE(ScratchDir::exists(dir.path("o")));
    EXPECT_EQ(run({}).code, 2);
    EXPECT_EQ(run({"list"}).code, 2);
    EXPECT_EQ(run({"unpack", dir.path("p.dat")}).code, 2);
}

}  // namespace
