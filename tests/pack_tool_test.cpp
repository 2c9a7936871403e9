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

using Args = std::vector<std::string>;
const std::string binary = std::string("head\0@@tail\xff", 12);

class PackTool : public testing::Test {
protected:
    // The exit code; what the tool printed is left in out and err.
    // No argument of these tests holds a single quote.
    int run(const Args& args) {
        std::string command = "'" QVO_BINARY_DIR "/qvo-pack'";
        for (const std::string& a : args) command.append(" '").append(a).append("'");
        command.append(" >'").append(dir.path("out")).append("' 2>'").append(dir.path("err")).append("'");
        const int status = std::system(command.c_str());
        out = ScratchDir::read(dir.path("out"));
        err = ScratchDir::read(dir.path("err"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ScratchDir dir;
    const std::string a = dir.write("a.bin", binary);
    std::string out, err;
};

TEST_F(PackTool, CreateListExtractRoundTripThroughTheFileServer) {
    const std::string b = dir.write("b.txt", "pq"), e = dir.write("e.txt", ""), pack = dir.path("QuelVarnOssa.dat");
    ASSERT_EQ(run({"create", pack, "data/kov-marrowin(clip).mp3=" + a, "Data/Quel.raw=" + b, "empty=" + e}), 0) << err;
    EXPECT_EQ(run({"list", pack}), 0);
    const int first = 46 + int(std::string("data/kov-marrowin(clip).mp3@12@Data/Quel.raw@2@empty@0@@").size());
    EXPECT_EQ(out, "data/kov-marrowin(clip).mp3\t12\t" + std::to_string(first) + "\nData/Quel.raw\t2\t" +
                              std::to_string(first + 12) + "\nempty\t0\t" + std::to_string(first + 14) + "\n");

    DebugServer debug(11, 0);
    FileServer files(&debug, 200);
    files.openPack(pack.c_str());
    ASSERT_EQ(files.getFileSize("kov-marrowin(clip).mp3"), 12);
    std::unique_ptr<unsigned char[]> music(files.getFile("kov-marrowin(clip).mp3"));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(music.get()), 12), binary);
    EXPECT_EQ(files.getFileSize("empty"), 0);

    ASSERT_EQ(run({"extract", pack, "QUEL.RAW", dir.path("x")}), 0);
    EXPECT_EQ(ScratchDir::read(dir.path("x")), "pq");
    ASSERT_EQ(run({"extract", pack, "empty", dir.path("none")}), 0);
    EXPECT_TRUE(ScratchDir::exists(dir.path("none")));
}

TEST_F(PackTool, BadPacksMissingEntriesAndMisuseFailClearly) {
    ASSERT_EQ(run({"create", dir.path("good.dat"), "x=" + a}), 0);
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
            EXPECT_EQ(run(args), 1) << args[0] << " " << message;
            EXPECT_NE(err.find(message), std::string::npos) << err;
        }
        EXPECT_FALSE(ScratchDir::exists(dir.path("o")));
    }
    EXPECT_EQ(run({"list", dir.path("absent.dat")}), 1);
    EXPECT_NE(err.find("cannot be opened"), std::string::npos) << err;
    for (const Args& args : {Args{}, Args{"list"}, Args{"unpack", dir.path("good.dat")}}) EXPECT_EQ(run(args), 2);
}

TEST_F(PackTool, RefusedCreateLeavesAnExistingPackUntouched) {
    const std::string out = dir.write("out.dat", "previous pack");
    for (const Args& args : {Args{"create", out, "x=" + dir.path("absent")}, Args{"create", out, "no-equals-sign"},
                             Args{"create", out, "=" + a}, Args{"create", out, "a@b=" + a},
                             Args{"create", out, std::string(512, 'n') + "=" + a},
                             Args{"create", out, "Same=" + a, "same=" + a}}) {
        EXPECT_EQ(run(args), 1) << args.back().substr(0, 40);
        EXPECT_NE(err.find("qvo-pack: "), std::string::npos);
        EXPECT_EQ(ScratchDir::read(out), "previous pack");
    }
    EXPECT_EQ(run({"create", out, std::string(511, 'n') + "=" + a}), 0) << "511 bytes is the longest name";
    EXPECT_FALSE(ScratchDir::exists(out + ".partial"));
}

}  // namespace
