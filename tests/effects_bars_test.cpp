// The bars: the band primitive, the glow, and the twenty animations.
#include <gtest/gtest.h>

#include <memory>

#include "demo/demostate.h"
#include "demo/effects/bars.h"
#include "demo/frameloop.h"
#include "demo/timeline.h"
#include "display/graphics.h"
#include "tests/support/framesurface.h"

namespace {

class BarsTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        fillFrame(frame.get(), 45u << 16);  // red noise of 45 everywhere
    }
    // Columns of row y whose pixel differs from the untouched 45.
    std::vector<int> touched(int y) const {
        std::vector<int> xs;
        for (int x = 0; x < 640; ++x)
            if (px(x, y) != 45u << 16) xs.push_back(x);
        return xs;
    }
};

TEST_F(BarsTest, FractionalEdgesAndTheRowsABandCovers) {
    // Left 110.7 starts at column 110, right 130.5 still includes 130.
    shadeBand(frame.get(), 110.7f, 0.0f, 130.5f, 480.0f, 25);
    std::vector<int> expected;
    for (int x = 110; x <= 130; ++x) expected.push_back(x);
    for (int y : {0, 49, 50, 429, 430, 479}) EXPECT_EQ(touched(y), expected) << "row " << y;
    EXPECT_EQ(px(110, 50), 20u << 16) << "45 - 25";
    EXPECT_EQ(px(110, 0), 0u) << "glow level 0 on a red-only margin: blue 0 + 0";

    // Each channel is lowered and floored at 0 on its own.
    pixels[200 * 640 + 300] = 0x00FF0A30u;
    shadeBand(frame.get(), 300.0f, 0.0f, 301.0f, 480.0f, 16);
    EXPECT_EQ(px(300, 200), 0x00EF0020u);
}

TEST_F(BarsTest, NothingIsDrawnForAnEmptyBandOrAZeroAmount) {
    shadeBand(frame.get(), 100.0f, 0.0f, 200.0f, 480.0f, 0);
    shadeBand(frame.get(), 200.0f, 0.0f, 200.0f, 480.0f, 10);
    shadeBand(frame.get(), 100.0f, 480.0f, 200.0f, 480.0f, 10);  // top takes part in the test only
    for (int y = 0; y < 480; ++y) ASSERT_TRUE(touched(y).empty()) << y;
    // An amount track between -1 and 1 truncates to 0: glow skipped too.
    Bar bar;
    bar.addKey(100.0f, 0.0f, 200.0f, 480.0f, 0.9f, 0);
    bar.start();
    glowLevel = 10;
    bar.draw(frame.get());
    for (int y = 0; y < 480; ++y) ASSERT_TRUE(touched(y).empty()) << y;
}

TEST_F(BarsTest, GlowShowsTheLevelsLowFourBitsInRedAndNothingBelowZero) {
    struct Case {
        int level;
        std::uint32_t red;
    };
    for (const Case c : {Case{-135, 0}, Case{0, 0}, Case{10, 10}, Case{20, 4}, Case{25, 9}}) {
        fillFrame(frame.get(), 0);
        glowLevel = c.level;
        shadeBand(frame.get(), 10.0f, 0.0f, 20.0f, 480.0f, 5);
        EXPECT_EQ(px(15, 0), c.red << 16) << "level " << c.level;
        EXPECT_EQ(px(15, 479), c.red << 16) << "level " << c.level;
    }
    // The level adds to the pixel's blue, whatever else it holds.
    pixels[3 * 640 + 15] = 0x00FFFF03u;
    glowLevel = 10;
    shadeBand(frame.get(), 10.0f, 0.0f, 20.0f, 480.0f, 5);
    EXPECT_EQ(px(15, 3), 13u << 16);
}

TEST_F(BarsTest, BandsReachingOutsideTheFrameAreClipped) {
    glowLevel = 7;
    shadeBand(frame.get(), -40.5f, 0.0f, 9000.0f, 600.0f, 5);  // darkens rows 50..479, no bottom glow
    EXPECT_EQ(px(0, 479), 40u << 16);
    EXPECT_EQ(px(639, 50), 40u << 16);
    EXPECT_EQ(px(0, 0), 7u << 16);
    shadeBand(frame.get(), -1e30f, 0.0f, 1e30f, 1e30f, 5);
    shadeBand(frame.get(), 700.0f, 0.0f, 800.0f, 480.0f, 5);
    EXPECT_EQ(px(639, 100), 35u << 16) << "darkened twice; the band right of the frame adds nothing";
}

TEST_F(BarsTest, Bar12WaitsUntilItsRightEdgePassesItsLeftEdge) {
    drawBars(nullptr);
    setDemoTime(50000);
    bars[12].start();
    for (int t : {0, 100, 200}) {
        setDemoTime(50000 + t);
        bars[12].draw(frame.get());
        ASSERT_TRUE(touched(100).empty()) << t << " ms";
    }
    setDemoTime(50000 + 210);  // right 71, amount 80 - 33.6
    bars[12].draw(frame.get());
    EXPECT_EQ(touched(100), std::vector<int>{70});
    EXPECT_EQ(px(70, 100), 0u) << "45 - 46, floored";
}

TEST_F(BarsTest, BeatsTakeTheBarsInTurnAndThe21stRestartsBar0) {
    drawBars(nullptr);
    drawBars(nullptr);  // building again does not add keys twice
    EXPECT_EQ(bars[0].left.keys.size(), 3u);
    EXPECT_EQ(bars[1].amount.keys.size(), 2u);

    setDemoTime(37132);
    drawBars(frame.get());
    EXPECT_EQ(barTriggerCount, 0u);
    EXPECT_FALSE(barActive[0]);
    int fired = 0;
    for (std::size_t i = 0; fired < 21; ++i) {
        const int cue = barCues.entries[barCues.index];
        setDemoTime(cue);
        drawBars(frame.get());
        ++fired;
        EXPECT_EQ(barTriggerCount, std::uint32_t(fired));
        EXPECT_EQ(bars[(fired - 1) % 20].left.startTime, cue);
    }
    for (bool active : barActive) EXPECT_TRUE(active);
    EXPECT_EQ(bars[1].left.startTime, barCues.entries[1]) << "bar 1 still from its first beat";
}

}  // namespace
