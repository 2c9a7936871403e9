// The noise field against the register's one-step definition.
#include <gtest/gtest.h>

#include "demo/effects/noise.h"
#include "demo/effects/noisekernel.h"
#include "tests/support/framesurface.h"

namespace {

constexpr int W = 640, bandBegin = 50 * W, bandSize = 380 * W;  // 243200 steps per frame

std::uint32_t plainPixel(std::int32_t v, const std::int32_t* m) {
    return std::uint32_t(v & m[0]) << 16 | std::uint32_t(v & m[1]) << 8 | std::uint32_t(v & m[2]);
}

// Masks beyond the low byte are not clipped, so bits above the low byte of v
// must come out exactly as defined.
constexpr std::int32_t masks[][3] = {{255, 0x5A, 0xC3}, {45, 0, 0}, {0x1FF, 7, 0x7FFFFFFF}, {0x3FFFFFFF, 0x1F0, -1}};

class NoiseTest : public FrameTest {
protected:
    void TearDown() override {
        noisekernel::vectorAllowed = true;
        FrameTest::TearDown();
    }
};

TEST_F(NoiseTest, FirstFrameStartsWithTheKnownOutputsAndKeepsTheMarginsUntouched) {
    std::int32_t s = 1638;
    for (std::int32_t v : {853, 426, 603979989, 301989994, 754974773, 377487386}) EXPECT_EQ(noiseStep(s), v);
    fill(0x00ABCDEFu);
    fillNoise(frame.get(), 45, 0, 0);
    const std::uint32_t reds[] = {5, 40, 5, 40, 37, 8};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(pixels[bandBegin + i], reds[i] << 16) << "pixel " << i;
    EXPECT_EQ(count(0x00ABCDEFu), 100 * W) << "margins untouched";
    EXPECT_EQ(streakState, 1638) << "the streak register stands still";
    fillStreakNoise(frame.get(), 45, 0, 0, 25);
    EXPECT_EQ(pixels[bandBegin], 5u << 16) << "the held value itself";
    EXPECT_EQ(pixels[bandBegin + 1], 4u << 16) << "(5 + 15) & 45";
}

// Over 412 frames (100 193 600 steps of each register) the many-steps-at-once
// fills give the same pixels and the same state as the one-step loop, for
// every mask and streak threshold in and far out of the track's range, with
// and without the vector loops.
TEST_F(NoiseTest, FillsMatchTheOneStepLoopOverAHundredMillionSteps) {
    const std::int32_t thresholds[] = {0, 25, 44, 45, 55, 1000000, -3, -999, -5000};
    std::int32_t s = 1638, streak = 1638;
    for (int round = 0; round < 412; ++round) {
        noisekernel::vectorAllowed = round % 3 != 2;
        const std::int32_t *m = masks[round % 4], threshold = thresholds[round % 9];
        fillNoise(frame.get(), m[0], m[1], m[2]);
        for (int i = 0; i < bandSize; ++i)
            if (pixels[bandBegin + i] != plainPixel(plainStep(s), m))
                FAIL() << "frame " << round << " pixel " << i << ": " << std::hex << pixels[bandBegin + i];
        ASSERT_EQ(noiseState, s) << "state after frame " << round;
        fillStreakNoise(frame.get(), m[0], m[1], m[2], threshold);
        for (int i = 0, held = 0; i < bandSize; ++i) {
            const std::int32_t n = plainStep(streak) & 45;
            if (i % W == 0) held = n;
            if (pixels[bandBegin + i] != plainPixel(held + std::max(n - threshold, 0), m))
                FAIL() << "streak frame " << round << " threshold " << threshold << " pixel " << i;
        }
        ASSERT_EQ(streakState, streak) << "streak state after frame " << round;
        ASSERT_EQ(noiseState, s) << "each register stands still while the other runs";
    }
}

}  // namespace
