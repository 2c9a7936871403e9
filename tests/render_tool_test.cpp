// qvo-render run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/scratchdir.h"
#include "tests/support/testpack.h"

namespace {

class RenderToolTest : public ::testing::Test {
protected:
    void SetUp() override { writePack(dir.path("demo.dat"), syntheticTitles()); }
    // Runs `command` through the shell and returns its exit status; what it
    // wrote lands in `out` and `err`.
    int shell(const std::string& command) {
        const int status = std::system((command + " >" + dir.path("out") + " 2>" + dir.path("err")).c_str());
        out = ScratchDir::read(dir.path("out"));
        err = ScratchDir::read(dir.path("err"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int render(const std::string& arguments) { return shell(std::string(QVO_BINARY_DIR) + "/qvo-render " + arguments); }
    std::string md5(const std::string& command) { return shell(command + " | md5sum"), out.substr(0, 32); }

    ScratchDir dir;
    std::string out, err;
};

TEST_F(RenderToolTest, PrintsOneDigestPerFrameAndWritesTheFramesAsked) {
    const std::string raw = dir.path("all.bgr"), dumps = dir.path("f0.ppm") + " --dump 120 " + dir.path("f120.png");
    ASSERT_EQ(render("--pack " + dir.path("demo.dat") + " --fps 2 --md5 --raw " + raw + " --dump 0 " + dumps), 0)
        << err;
    EXPECT_NE(err.find("306 frames"), std::string::npos) << err;
    std::istringstream lines(out);
    std::vector<std::string> digests;
    int index;
    for (std::string digest; lines >> index >> digest; digests.push_back(digest))
        ASSERT_EQ(index, int(digests.size()));
    // At 2 fps frame k sees (k-1) x 500 ms: the last shown is 152000 ms.
    ASSERT_EQ(digests.size(), 306u);

    // Frame 0 is black: the MD5 of 921600 zero bytes, as md5sum computes it.
    EXPECT_EQ(digests[0], md5("head -c 921600 /dev/zero"));
    EXPECT_EQ(ScratchDir::read(dir.path("f0.ppm")), "P6\n640 480\n255\n" + std::string(921600, '\0'));

    // The raw stream is every frame back to back, in order.
    EXPECT_EQ(ScratchDir::read(raw).size(), 306u * 921600u);
    for (int k : {120, 305})
        EXPECT_EQ(md5("tail -c +" + std::to_string(k * 921600 + 1) + " " + raw + " | head -c 921600"), digests[k]);

    // The PNG holds exactly the frame the digest was taken of.
    ASSERT_TRUE(ScratchDir::exists(dir.path("f120.png")));
    if (shell("command -v convert") != 0) GTEST_SKIP() << "ImageMagick not installed";
    EXPECT_EQ(md5("convert " + dir.path("f120.png") + " -depth 8 bgr:-"), digests[120]);
    EXPECT_NE(digests[120], digests[0]);
}

TEST_F(RenderToolTest, UnusableInputEndsWithAReasonAndNoFrames) {
    EXPECT_EQ(render("--pack " + dir.path("absent.dat")), 1);
    EXPECT_NE(err.find("absent.dat"), std::string::npos) << err;

    auto shortVarn = syntheticTitles(), noQuel = syntheticTitles();
    shortVarn[2].second.pop_back();
    noQuel.erase(noQuel.begin() + 1);
    writePack(dir.path("short.dat"), shortVarn);
    writePack(dir.path("noquel.dat"), noQuel);
    for (const auto& [pack, reason] : {std::pair{"short.dat", "invalid data in file data/varn.raw"},
                                       {"noquel.dat", "file data/quel.raw not found"}}) {
        EXPECT_EQ(render("--pack " + dir.path(pack) + " --md5"), 1);
        EXPECT_EQ(out, "");
        EXPECT_NE(err.find(reason), std::string::npos) << err;
    }
    EXPECT_EQ(render("--pack " + dir.path("demo.dat") + " --fps 1 --dump 5000 " + dir.path("late.ppm")), 1);
    EXPECT_NE(err.find("frame 5000 not written"), std::string::npos) << err;
    for (const char* bad : {"--fps 0", "--fps 40x", "--dump 3 frame.bmp", "--frobnicate"})
        EXPECT_EQ(render(bad), 2) << bad;
}

}  // namespace
