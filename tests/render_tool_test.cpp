// qvo-render run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/scratchdir.h"
#include "tests/support/testpack.h"

namespace {

// Runs `command` through the shell; returns its exit status and standard output.
std::pair<int, std::string> shell(const std::string& command) {
    std::string out;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, out};
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string md5(const std::string& command) { return shell(command + " | md5sum").second.substr(0, 32); }

class RenderToolTest : public ::testing::Test {
protected:
    void SetUp() override { writePack(dir.path("demo.dat"), syntheticTitles()); }
    // qvo-render with `arguments`; its standard error lands in `err`.
    std::pair<int, std::string> render(const std::string& arguments) {
        auto result = shell(std::string(QVO_BINARY_DIR) + "/qvo-render " + arguments + " 2>" + dir.path("err.txt"));
        err = ScratchDir::read(dir.path("err.txt"));
        return result;
    }
    ScratchDir dir;
    std::string err;
};

TEST_F(RenderToolTest, PrintsOneDigestPerFrameAndWritesTheFramesAsked) {
    const auto [status, out] = render("--pack " + dir.path("demo.dat") + " --fps 2 --md5 --dump 0 " +
                                      dir.path("f0.ppm") + " --dump 120 " + dir.path("f120.png") + " --raw " +
                                      dir.path("all.bgr"));
    ASSERT_EQ(status, 0) << err;
    std::istringstream lines(out);
    std::vector<std::string> digests;
    int index;
    for (std::string digest; lines >> index >> digest; digests.push_back(digest)) {
        ASSERT_EQ(index, int(digests.size()));
        ASSERT_EQ(digest.size(), 32u);
    }
    // At 2 fps frame k sees (k-1) x 500 ms: the last shown is 152000 ms.
    ASSERT_EQ(digests.size(), 306u);
    EXPECT_NE(err.find("306 frames"), std::string::npos) << err;

    // Frame 0 is black: the MD5 of 921600 zero bytes, as md5sum computes it.
    EXPECT_EQ(digests[0], md5("head -c 921600 /dev/zero"));
    EXPECT_EQ(ScratchDir::read(dir.path("f0.ppm")), "P6\n640 480\n255\n" + std::string(921600, '\0'));

    // The raw stream is every frame back to back, in order.
    const std::string raw = dir.path("all.bgr");
    EXPECT_EQ(ScratchDir::read(raw).size(), 306u * 921600u);
    for (int k : {120, 305})
        EXPECT_EQ(md5("tail -c +" + std::to_string(k * 921600 + 1) + " " + raw + " | head -c 921600"), digests[k]);

    // The PNG holds exactly the frame the digest was taken of.
    ASSERT_TRUE(ScratchDir::exists(dir.path("f120.png")));
    if (std::system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick not installed";
    EXPECT_EQ(md5("convert " + dir.path("f120.png") + " -depth 8 bgr:-"), digests[120]);
    EXPECT_NE(digests[120], digests[0]);
}

TEST_F(RenderToolTest, UnusableInputEndsWithAReasonAndNoFrames) {
    EXPECT_EQ(render("--pack " + dir.path("absent.dat")).first, 1);
    EXPECT_NE(err.find("absent.dat"), std::string::npos) << err;

    auto shortVarn = syntheticTitles(), noQuel = syntheticTitles();
    shortVarn[2].second.pop_back();
    noQuel.erase(noQuel.begin() + 1);
    writePack(dir.path("short.dat"), shortVarn);
    writePack(dir.path("noquel.dat"), noQuel);
    EXPECT_EQ(render("--pack " + dir.path("short.dat") + " --md5"), std::make_pair(1, std::string()));
    EXPECT_NE(err.find("invalid data in file data/varn.raw"), std::string::npos) << err;
    EXPECT_EQ(render("--pack " + dir.path("noquel.dat") + " --md5"), std::make_pair(1, std::string()));
    EXPECT_NE(err.find("file data/quel.raw not found"), std::string::npos) << err;

    EXPECT_EQ(render("--pack " + dir.path("demo.dat") + " --fps 1 --dump 5000 " + dir.path("late.ppm")).first, 1);
    EXPECT_NE(err.find("frame 5000 not written"), std::string::npos) << err;
    for (const char* bad : {"--fps 0", "--fps 40x", "--dump 3 frame.bmp", "--frobnicate"})
        EXPECT_EQ(render(bad).first, 2) << bad;
}

}  // namespace
