// The built qvo-pack, run as the build runs it.
#include "source/debugserver.h"
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
    std::string out, err;
};

using Args = std::vector<std::string>;
const std::string binary = std::string("head\0@@tail\xff", 12);

class PackTool : public testing::Test {
protected:
    // No argument of these tests holds a single quote.
    ToolRun run(const Args& args) {
        std::string command = "'" QVO_BINARY_DIR "/qvo-pack'";
        for (const std::string& a : args) command.append(" '").append(a).append("'");
        command.append(" >'").append(dir.path("out")).append("' 2>'").append(dir.path("err")).append("'");
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ScratchDir::read(dir.path("out")),
                ScratchDir::read(dir.path("err"))};
    }

    ScratchDir dir;
    const std::string a = dir.write("a.bin", binary);
};

TEST_F(PackTool, CreateListExtractRoundTripThroughTheFileServer) {
    const std::string b = dir.write("b.txt", "pq"), e = dir.write("e.txt", ""), pack = dir.path("QuelVarnOssa.dat");
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
    EXPECT_EQ(std::string(reinterpret_cast<char*>(music.get()), 12), binary);
    EXPECT_EQ(files.getFileSize("empty"), 0);

    ASSERT_EQ(run({"extract", pack, "QUEL.RAW", dir.path("x")}).code, 0);
    EXPECT_EQ(ScratchDir::read(dir.path("x")), "pq");
    ASSERT_EQ(run({"extract", pack, "empty", dir.path("none")}).code, 0);
    EXPECT_TRUE(ScratchDir::exists(dir.path("none")));
}

TEST_F(PackTool, BadPacksMissingEntriesAndMisuseFailClearly) {
    ASSERT_EQ(run({"create", dir.path("good.dat"), "x=" + a}).code, 0);
    const std::string good = ScratchDir::read(dir.path("good.dat"));
    const std::pair<std::string, const char*> cases[] = {
        {good.substr(0, good.size() - 1), "malformed directory"},
        {good.substr(0, 50), "malformed directory"},
        {"just some text", "no pack signature"},
        {"", "empty"},
        {good, "no entry named \"y\""},
    };
    for (const auto& [bytes, message] : cases) {
        const std::string path = dir.write("bad.dat", bytes);
        for (const Args& args : {Args{"list", path}, Args{"extract", path, "y", dir.path("o")}}) {
            if (bytes == good && args[0] == "list") continue;
            ToolRun r = run(args);
            EXPECT_EQ(r.code, 1) << args[0] << " " << message;
            EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        }
        EXPECT_FALSE(ScratchDir::exists(dir.path("o")));
    }
    ToolRun missing = run({"list", dir.path("absent.dat")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("cannot be opened"), std::string::npos) << missing.err;
    for (const Args& args : {Args{}, Args{"list"}, Args{"unpack", dir.path("good.dat")}})
        EXPECT_EQ(run(args).code, 2);
}

TEST_F(PackTool, RefusedCreateLeavesAnExistingPackUntouched) {
    const std::string out = dir.write("out.dat", "previous pack");
    for (const Args& args : {Args{"create", out, "x=" + dir.path("absent")}, Args{"create", out, "no-equals-sign"},
                             Args{"create", out, "=" + a}, Args{"create", out, "a@b=" + a},
                             Args{"create", out, std::string(512, 'n') + "=" + a},
                             Args{"create", out, "Same=" + a, "same=" + a}}) {
        ToolRun r = run(args);
        EXPECT_EQ(r.code, 1) << args.back().substr(0, 40);
        EXPECT_NE(r.err.find("qvo-pack: "), std::string::npos);
        EXPECT_EQ(ScratchDir::read(out), "previous pack");
    }
    EXPECT_EQ(run({"create", out, std::string(511, 'n') + "=" + a}).code, 0) << "511 bytes is the longest name";
    EXPECT_FALSE(ScratchDir::exists(out + ".partial"));
}

}  // namespace
