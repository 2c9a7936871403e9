// The frame loop's own steps: glow, flash, end of the run, the 24-bit copy
// and the frame-derived clock of the video mode.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "demo/effects/bars.h"
#include "demo/frameloop.h"
#include "demo/timeline.h"
#include "display/graphics.h"
#include "tests/support/framesurface.h"

namespace {

class FrameLoopTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        drawBars(nullptr);
        savedRate = videoFrameRate;
    }
    void TearDown() override {
        videoFrameRate = savedRate;
        FrameTest::TearDown();
    }
    float savedRate = 40.0f;
};

TEST_F(FrameLoopTest, GlowStartsAfter48SecondsAndTheLoopEndsAfter152) {
    loopStart = 1000;
    setDemoTime(49000);
    EXPECT_TRUE(framePass());
    EXPECT_FALSE(glowStarted) << "48 s exactly is not after 48 s";
    EXPECT_EQ(glowLevel, -55) << "read against start 0 before it is started";
    setDemoTime(49001);
    EXPECT_TRUE(framePass());
    EXPECT_TRUE(glowStarted);
    EXPECT_EQ(glowTrack.startTime, 49001);
    EXPECT_EQ(glowLevel, 0);
    setDemoTime(49001 + 6500);  // 20 + (-155 / 5000) x 2500 = -57.5
    EXPECT_TRUE(framePass());
    EXPECT_EQ(glowLevel, -57);
    EXPECT_EQ(glowTrack.startTime, 49001) << "started once";

    setDemoTime(153000);
    EXPECT_TRUE(framePass()) << "152000 ms after the loop start is still shown";
    setDemoTime(153001);
    EXPECT_FALSE(framePass());
}

TEST_F(FrameLoopTest, CopyKeepsBlueGreenRedTopRowFirst) {
    std::uint32_t* pixels = framePixels(frame.get());
    fillFrame(frame.get(), 0);
    pixels[0] = 0xAB123456u;
    pixels[639] = 0x00010203u;
    pixels[640] = 0x00040506u;
    pixels[640 * 480 - 1] = 0x00FFEEDDu;
    std::vector<unsigned char> out(frame24Size, 0x77);
    copyFrame24(pixels, out.data());
    EXPECT_EQ(out[0], 0x56);
    EXPECT_EQ(out[1], 0x34);
    EXPECT_EQ(out[2], 0x12);
    EXPECT_EQ(out[3], 0x00);
    EXPECT_EQ(out[639 * 3], 0x03);
    EXPECT_EQ(out[1920], 0x06);
    EXPECT_EQ(out[1921], 0x05);
    EXPECT_EQ(out[frame24Size - 3], 0xDD);
    EXPECT_EQ(out[frame24Size - 1], 0xFF);
    for (std::size_t i = 0; i < frame24Size; i += 1021)
        ASSERT_NE(out[i], 0x77) << "byte " << i << " not written";
}

TEST_F(FrameLoopTest, HandOffAdvancesTheClockCountsAndStopsAtItsLimit) {
    videoFrameRate = 40.0f;
    std::vector<unsigned char> out(frame24Size);
    std::vector<int> progress;
    auto add = [&](int p) { progress.push_back(p); };
    std::vector<int> times;
    for (int k = 0; k < 11; ++k) {
        ASSERT_TRUE(videoHandOff(out.data(), add));
        times.push_back(demoTime());
    }
    // The clock the next frames read: 0, 24, 49, ... with 225 at count 9.
    EXPECT_EQ(times, (std::vector<int>{0, 24, 49, 74, 99, 124, 149, 174, 199, 225, 249}));
    EXPECT_EQ(videoFrameCount, 11.0f);
    EXPECT_EQ(progress.front(), 0);

    // The last frame of a 40 fps run reaches 100 %.
    videoFrameCount = 6081.0f;
    ASSERT_TRUE(videoHandOff(out.data(), add));
    EXPECT_EQ(progress.back(), 100);

    // 71 / 40 x 8563 = 15199.3 passes; x 8564 = 15201.1 ends the loop unrecorded.
    videoFrameCount = 8563.0f;
    ASSERT_TRUE(videoHandOff(out.data(), add));
    const std::size_t handed = progress.size();
    EXPECT_FALSE(videoHandOff(out.data(), add));
    EXPECT_EQ(progress.size(), handed);
    EXPECT_EQ(videoFrameCount, 8564.0f);
}

}  // namespace
