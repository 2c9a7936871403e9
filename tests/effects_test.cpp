// The effects' drawing primitives (blend, band, glow, grey, black fills) and
// the frame loop's own steps: glow and the end of the run.
#include <gtest/gtest.h>

#include "demo/demostate.h"
#include "demo/effects/bars.h"
#include "demo/effects/curtain.h"
#include "demo/effects/squares.h"
#include "demo/effects/titles.h"
#include "demo/frameloop.h"
#include "demo/timeline.h"
#include "tests/support/framesurface.h"

namespace {

std::uint32_t rgb(int r, int g, int b) { return std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b); }

using EffectsTest = FrameTest;

TEST_F(EffectsTest, TintedBlend) {
    const unsigned char ink = 254;  // only 255 is the key
    const TitleImage dot(&ink, 1, 1);
    for (int v = 0; v < 256; ++v) {  // factor 0 keeps every value: 1/255 as a float is a hair above
        pixels[0] = rgb(v, 255 - v, v);
        dot.blendTinted(frame.get(), 0, 0, 0.7f, 0.7f, 0.9f, 0.0f, 255);
        ASSERT_EQ(pixels[0], rgb(v, 255 - v, v)) << v;
    }
    // Black at 0.3: 0.21 x 255, 0.27 x 255. Factor 1: the tint, 178.5 and
    // 229.5 from floats a hair below. Red 45 at 0.3: (45/255 x 0.7 + 0.21) x 255.
    for (const auto& [before, factor, after] : {std::tuple{0u, 0.3f, rgb(53, 53, 68)},
                                                {rgb(45, 0, 0), 0.3f, rgb(85, 53, 68)},
                                                {rgb(200, 100, 7), 1.0f, rgb(178, 178, 229)}}) {
        pixels[0] = before;
        dot.blendTinted(frame.get(), 0, 0, 0.7f, 0.7f, 0.9f, factor, 255);
        EXPECT_EQ(pixels[0], after) << std::hex << before;
    }
}

TEST_F(EffectsTest, BandDarkensTheNoiseLightsTheMarginsAndClips) {
    fill(rgb(45, 0, 0));
    // Left 110.7 starts at column 110, right 130.5 still takes 130.
    shadeBand(frame.get(), 110.7f, 0.0f, 130.5f, 480.0f, 25);
    EXPECT_EQ(count(rgb(45, 0, 0)), 640 * 480 - 21 * 480);
    for (int y : {0, 479}) EXPECT_TRUE(px(109, y) == rgb(45, 0, 0) && px(110, y) == 0 && px(130, y) == 0);
    EXPECT_TRUE(px(110, 50) == rgb(20, 0, 0) && px(130, 429) == rgb(20, 0, 0) && px(131, 50) == rgb(45, 0, 0));

    pixels[200 * 640 + 300] = 0x00FF0A30u;  // each channel floored at 0 on its own
    shadeBand(frame.get(), 300.0f, 0.0f, 301.0f, 480.0f, 16);
    EXPECT_EQ(px(300, 200), 0x00EF0020u);

    // Glow: max(0, blue + level) & 15 in red.
    for (const auto& [level, red] : {std::pair{-135, 0}, {10, 10}, {20, 4}, {25, 9}}) {
        fill(0);
        glowLevel = level;
        shadeBand(frame.get(), 10.0f, 0.0f, 20.0f, 480.0f, 5);
        EXPECT_TRUE(px(15, 0) == rgb(red, 0, 0) && px(15, 479) == rgb(red, 0, 0)) << "level " << level;
    }

    fill(rgb(45, 0, 0));
    glowLevel = 7;
    shadeBand(frame.get(), -40.5f, 0.0f, 9000.0f, 600.0f, 5);  // rows 50..549: no bottom glow
    EXPECT_TRUE(px(0, 479) == rgb(40, 0, 0) && px(639, 0) == rgb(7, 0, 0));
    shadeBand(frame.get(), -1e30f, -1e30f, 1e30f, 1e30f, 5);
    EXPECT_EQ(px(639, 479), rgb(35, 0, 0));
}

TEST_F(EffectsTest, BeatsTakeTheBarsInTurnAndThe21stRestartsBar0) {
    for (int fired = 1; fired <= 21; ++fired) {
        const std::int32_t cue = barCues.entries[std::size_t(barCues.index)];
        setDemoTime(cue);
        drawBars(frame.get());
        ASSERT_EQ(barTriggerCount, std::uint32_t(fired));
        EXPECT_EQ(bars[(fired - 1) % 20].left.startTime, cue);
    }
    EXPECT_EQ(bars[1].left.startTime, barCues.entries[1]) << "bar 1 still from its first beat";
}

TEST_F(EffectsTest, SquareGreyWrapsAroundTheAmountAndClips) {
    for (const auto& [red, grey] : {std::pair{0, 245}, {10, 245}, {11, 246}, {20, 255}, {21, 0}, {45, 24}}) {
        pixels[0] = rgb(red, 0xAA, 0x55);
        invertSquare(frame.get(), 0.0f, 0.0f, 1.0f, 1.0f, 10);
        EXPECT_EQ(pixels[0], rgb(grey, grey, grey)) << "red " << red;
    }
    fill(rgb(45, 0, 0));
    invertSquare(frame.get(), -100.5f, -3.0f, 1e9f, 1e9f, 10);
    EXPECT_EQ(count(rgb(24, 24, 24)), 640 * 480);
}

TEST_F(EffectsTest, CurtainEdgeAndLetterboxHeightDecideWhatStaysVisible) {
    // 330.7: right from 330, left up to 309.3; 639.5: column 639 black and the left part [0, 0.5) empty.
    for (const auto& [edge, first, last] : {std::tuple{320.0f, 640, 639}, {330.7f, 309, 329}, {639.5f, 0, 638},
                                           {640.0f, 0, 639}, {5000.0f, 0, 639}}) {
        fill(1);
        curtainEdge = edge;
        drawCurtain();
        for (int x = 0; x < 640; ++x)
            ASSERT_EQ(px(x, 0) == 0 && px(x, 479) == 0, x < first || x > last) << "edge " << edge << " column " << x;
        EXPECT_EQ(count(0), (640 - (last - first + 1)) * 480) << "edge " << edge;
    }
    // 10.7: top rows 0..9, bottom rows from trunc(469.3); 0.5: only row 479.
    for (const auto& [height, top, bottom] : {std::tuple{0.0f, 0, 480}, {0.5f, 0, 479}, {10.7f, 10, 469}}) {
        fill(1);
        letterboxHeight = height;
        drawLetterbox();
        for (int y = 0; y < 480; ++y)
            ASSERT_EQ(px(0, y) == 0 && px(639, y) == 0, y < top || y >= bottom) << "height " << height << " row " << y;
        EXPECT_EQ(count(0), (480 - (bottom - top)) * 640) << "height " << height;
    }
    fill(1);
    fillBlack(frame.get(), 0.2f, 0.0f, 0.7f, 480.0f);  // truncates to nothing
    fillBlack(frame.get(), 700.0f, -50.0f, 800.0f, 480.0f);
    EXPECT_EQ(count(1), 640 * 480);
    fillBlack(frame.get(), -10.0f, -10.0f, 1e9f, 1e9f);
    EXPECT_EQ(count(0), 640 * 480);
}

TEST_F(EffectsTest, GlowStartsAfter48SecondsAndTheLoopEndsAfter152) {
    drawBars(nullptr);
    loopStart = 1000;
    // 48 s exactly is not after 48 s, and before it starts the level reads
    // against start 0; then 0, and 20 + (-155 / 5000) x 2500 = -57.5 later.
    for (const auto& [ms, started, level] : {std::tuple{49000, false, -55}, {49001, true, 0}, {55501, true, -57}}) {
        setDemoTime(ms);
        EXPECT_TRUE(framePass());
        EXPECT_TRUE(glowStarted == started && glowLevel == level) << ms << ": " << glowLevel;
    }
    EXPECT_EQ(glowTrack.startTime, 49001) << "started once";
    setDemoTime(153000);
    EXPECT_TRUE(framePass()) << "152000 ms after the loop start is still shown";
    setDemoTime(153001);
    EXPECT_FALSE(framePass());
}

}  // namespace
