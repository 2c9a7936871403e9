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

struct Result {
    int status = -1;
    std::string out, err;
};

Result run(const ScratchDir& dir, const std::string& arguments) {
    Result result;
    const std::string errPath = dir.path("stderr.txt");
    const std::string command = std::string(QVO_BINARY_DIR) + "/qvo-render " + arguments + " 2>" + errPath;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = ScratchDir::read(errPath);
    return result;
}

std::string shellMd5(const std::string& command) {
    std::FILE* pipe = popen((command + " | md5sum").c_str(), "r");
    char line[128] = {};
    if (!pipe || !std::fgets(line, sizeof line, pipe)) return "";
    pclose(pipe);
    return std::string(line).substr(0, 32);
}

class RenderToolTest : public ::testing::Test {
protected:
    void SetUp() override { writePack(dir.path("demo.dat"), syntheticTitles()); }
    ScratchDir dir;
};

TEST_F(RenderToolTest, PrintsOneDigestPerFrameAndWritesTheFramesAsked) {
    const Result r = run(dir, "--pack " + dir.path("demo.dat") + " --fps 2 --md5 --dump 0 " + dir.path("f0.ppm") +
                                  " --dump 120 " + dir.path("f120.png") + " --raw " + dir.path("all.bgr"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> digests;
    int index;
    std::string digest;
    while (lines >> index >> digest) {
        ASSERT_EQ(index, int(digests.size()));
        ASSERT_EQ(digest.size(), 32u);
        digests.push_back(digest);
    }
    // At 2 fps frame k sees (k-1) x 500 ms: the last shown is 152000 ms.
    EXPECT_EQ(digests.size(), 306u);
    EXPECT_NE(r.err.find("306 frames"), std::string::npos) << r.err;

    // Frame 0 is black: the MD5 of 921600 zero bytes, as md5sum computes it.
    EXPECT_EQ(digests[0], shellMd5("head -c 921600 /dev/zero"));
    const std::string ppm = ScratchDir::read(dir.path("f0.ppm"));
    const std::string header = "P6\n640 480\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + 921600);
    EXPECT_EQ(ppm.substr(0, header.size()), header);
    EXPECT_EQ(ppm.find_first_not_of('\0', header.size()), std::string::npos);

    // The raw stream is every frame back to back, in order.
    const std::string raw = dir.path("all.bgr");
    EXPECT_EQ(ScratchDir::read(raw).size(), 306u * 921600u);
    for (int k : {0, 120, 305})
        EXPECT_EQ(shellMd5("tail -c +" + std::to_string(k * 921600 + 1) + " " + raw + " | head -c 921600"),
                  digests[k])
            << "frame " << k;

    // The PNG holds exactly the frame the digest was taken of.
    ASSERT_TRUE(ScratchDir::exists(dir.path("f120.png")));
    if (std::system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick not installed";
    EXPECT_EQ(shellMd5("convert " + dir.path("f120.png") + " -depth 8 bgr:-"), digests[120]);
    EXPECT_NE(digests[120], digests[0]);
}

TEST_F(RenderToolTest, UnusableInputEndsWithAReasonAndNoFrames) {
    Result r = run(dir, "--pack " + dir.path("absent.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("absent.dat"), std::string::npos) << r.err;

    auto titles = syntheticTitles();
    titles[2].second.resize(180 * 64);
    writePack(dir.path("short.dat"), titles);
    r = run(dir, "--pack " + dir.path("short.dat") + " --md5");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("invalid data in file data/varn.raw"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    r = run(dir, "--pack " + dir.path("demo.dat") + " --fps 1 --dump 5000 " + dir.path("late.ppm"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("frame 5000 not written"), std::string::npos) << r.err;
    for (const char* bad : {"--fps 0", "--fps 40x", "--dump 3 frame.bmp", "--frobnicate"})
        EXPECT_EQ(run(dir, bad).status, 2) << bad;
}

}  // namespace
