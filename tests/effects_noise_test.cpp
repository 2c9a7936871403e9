// The noise field against the register's one-step definition.
#include <gtest/gtest.h>

#include "demo/effects/noise.h"
#include "demo/effects/noisekernel.h"
#include "tests/support/framesurface.h"

namespace {

constexpr int W = 640, H = 480, bandBegin = 50 * W, bandEnd = W * H - 50 * W;
constexpr int bandSize = bandEnd - bandBegin;  // 243200 steps per frame

// The register exactly as defined, one step at a time.
std::int32_t plainStep(std::int32_t& s) {
    const std::int32_t t = s ^ (s >> 3);
    s = ((t & 1) << 30) | (s >> 1);
    return t >> 1;
}

std::uint32_t plainPixel(std::int32_t v, std::int32_t r, std::int32_t g, std::int32_t b) {
    return std::uint32_t(v & r) << 16 | std::uint32_t(v & g) << 8 | std::uint32_t(v & b);
}

class NoiseTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        fillFrame(frame.get(), 0x00ABCDEFu);
    }
    void TearDown() override {
        noisekernel::vectorAllowed = true;
        FrameTest::TearDown();
    }
};

TEST_F(NoiseTest, FirstFrameStartsWithTheKnownOutputsAndKeepsTheMarginsUntouched) {
    std::int32_t s = 1638;
    const std::int32_t expected[] = {853, 426, 603979989, 301989994, 754974773, 377487386};
    for (std::int32_t v : expected) EXPECT_EQ(noiseStep(s), v);

    fillNoise(frame.get(), 45, 0, 0);
    const std::uint32_t reds[] = {5, 40, 5, 40, 37, 8};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(pixels[bandBegin + i], reds[i] << 16) << "pixel " << i;
    for (int i = 0; i < bandBegin; ++i) ASSERT_EQ(pixels[i], 0x00ABCDEFu) << "top margin pixel " << i;
    for (int i = bandEnd; i < W * H; ++i) ASSERT_EQ(pixels[i], 0x00ABCDEFu) << "bottom margin pixel " << i;
    EXPECT_EQ(streakState, 1638) << "the streak register stands still";
}

// Over 412 frames (100 193 600 steps) the many-steps-at-once fill gives the
// same pixels and the same state as the one-step loop; every fourth frame
// through the portable loops that machines without vectors use.
TEST_F(NoiseTest, FillMatchesTheOneStepLoopOverAHundredMillionSteps) {
    const std::int32_t maskR = 255, maskG = 0x5A, maskB = 0xC3;
    std::int32_t s = 1638;
    for (int round = 0; round < 412; ++round) {
        noisekernel::vectorAllowed = round % 4 != 3;
        fillNoise(frame.get(), maskR, maskG, maskB);
        for (int i = 0; i < bandSize; ++i) {
            const std::uint32_t want = plainPixel(plainStep(s), maskR, maskG, maskB);
            if (pixels[bandBegin + i] != want) {
                FAIL() << "frame " << round << " pixel " << i << ": " << std::hex << pixels[bandBegin + i]
                       << " instead of " << want;
            }
        }
        ASSERT_EQ(noiseState, s) << "state after frame " << round;
    }
}

// Streaked noise for thresholds in and far out of the track's range, and
// both fills with masks beyond the low byte (not clipped, so bits above the
// low byte of v must come out exactly as defined).
TEST_F(NoiseTest, StreakAndWideMasksMatchTheDefinition) {
    EXPECT_EQ(streakState, 1638);
    fillStreakNoise(frame.get(), 45, 0, 0, 25);
    EXPECT_EQ(pixels[bandBegin], 5u << 16) << "the held value itself";
    EXPECT_EQ(pixels[bandBegin + 1], 4u << 16) << "(5 + 15) & 45";

    const std::int32_t thresholds[] = {0, 25, 44, 45, 55, 1000000, -3, -999, -5000};
    const std::int32_t masks[][3] = {{45, 0, 0}, {255, 255, 255}, {0x1FF, 7, 0x7FFFFFFF}, {0x3FFFFFFF, 0x1F0, -1}};
    for (int pass = 0; pass < 8; ++pass) {  // each mask with and without the vector loops
        noisekernel::vectorAllowed = pass < 4;
        const std::int32_t* m = masks[pass % 4];
        for (std::int32_t threshold : thresholds) {
            resetNoise();
            std::int32_t s = 1638;
            for (int round = 0; round < 2; ++round) {
                fillStreakNoise(frame.get(), m[0], m[1], m[2], threshold);
                std::int32_t held = 0;
                for (int i = 0; i < bandSize; ++i) {
                    const std::int32_t n = plainStep(s) & 45;
                    if (i % W == 0) held = n;
                    const std::int32_t d = n - threshold < 0 ? 0 : n - threshold;
                    ASSERT_EQ(pixels[bandBegin + i], plainPixel(held + d, m[0], m[1], m[2]))
                        << "threshold " << threshold << " mask " << m[0] << " frame " << round << " pixel " << i;
                }
                ASSERT_EQ(streakState, s);
            }
            EXPECT_EQ(noiseState, 1638) << "the plain register stands still";
        }
        resetNoise();
        std::int32_t s = 1638;
        fillNoise(frame.get(), m[0], m[1], m[2]);
        for (int i = 0; i < bandSize; ++i)
            ASSERT_EQ(pixels[bandBegin + i], plainPixel(plainStep(s), m[0], m[1], m[2])) << "mask " << m[0];
    }
}

}  // namespace
