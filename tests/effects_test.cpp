// The effects' drawing primitives: blend, band, glow, grey, black fills.
#include <gtest/gtest.h>

#include "demo/demostate.h"
#include "demo/effects/bars.h"
#include "demo/effects/curtain.h"
#include "demo/effects/squares.h"
#include "demo/effects/titles.h"
#include "demo/timeline.h"
#include "tests/support/framesurface.h"
#include "tests/support/testpack.h"

namespace {

std::uint32_t rgb(int r, int g, int b) { return std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b); }

class EffectsTest : public FrameTest {
protected:
    // The columns of row y that differ from `untouched`.
    std::vector<int> touched(int y, std::uint32_t untouched) const {
        std::vector<int> xs;
        for (int x = 0; x < 640; ++x)
            if (px(x, y) != untouched) xs.push_back(x);
        return xs;
    }
    static std::vector<int> range(int first, int last) {
        std::vector<int> xs;
        for (int x = first; x <= last; ++x) xs.push_back(x);
        return xs;
    }
};

TEST_F(EffectsTest, TintedBlend) {
    const unsigned char raster[4] = {255, 0, 254, 1};  // key, then three kinds of ink
    const TitleImage row(raster, 4, 1);
    fillFrame(frame.get(), rgb(10, 20, 30));
    row.blendTinted(frame.get(), 100, 100, 0.7f, 0.7f, 0.9f, 0.3f, 255);
    EXPECT_EQ(touched(100, rgb(10, 20, 30)), range(101, 103));
    EXPECT_TRUE(px(101, 100) == px(102, 100) && px(102, 100) == px(103, 100)) << "the ink value plays no part";

    const TitleImage dot(raster + 1, 1, 1);
    for (int v = 0; v < 256; ++v) {  // factor 0 keeps every value: 1/255 as a float is a hair above
        pixels[0] = rgb(v, 255 - v, v);
        dot.blendTinted(frame.get(), 0, 0, 0.7f, 0.7f, 0.9f, 0.0f, 255);
        ASSERT_EQ(pixels[0], rgb(v, 255 - v, v)) << v;
    }
    struct Case {
        std::uint32_t before;
        float factor;
        std::uint32_t after;
    };
    // Black at 0.3: 0.21 x 255, 0.27 x 255. Factor 1: the tint, 178.5 and
    // 229.5 from floats a hair below. Red 45 at 0.3: (45/255 x 0.7 + 0.21) x 255.
    for (const Case c : {Case{0, 0.3f, rgb(53, 53, 68)}, Case{rgb(200, 100, 7), 1.0f, rgb(178, 178, 229)},
                         Case{rgb(45, 0, 0), 0.3f, rgb(85, 53, 68)}}) {
        pixels[0] = c.before;
        dot.blendTinted(frame.get(), 0, 0, 0.7f, 0.7f, 0.9f, c.factor, 255);
        EXPECT_EQ(pixels[0], c.after) << std::hex << c.before;
    }

    // A title hanging over the frame's corner draws only its part inside.
    const std::string title = syntheticTitle(0);
    const TitleImage image(reinterpret_cast<const unsigned char*>(title.data()), 180, 65);
    int inkInside = 0;
    for (int i = 30; i < 65; ++i)
        for (int j = 0; j < 40; ++j) inkInside += syntheticInk(0, i, j);
    fillFrame(frame.get(), 0);
    image.blendTinted(frame.get(), 600, -30, 0.7f, 0.7f, 0.9f, 0.5f, 255);
    EXPECT_EQ(640 * 480 - std::count(pixels, pixels + 640 * 480, 0u), inkInside);
}

TEST_F(EffectsTest, BandDarkensTheNoiseAndLightsTheMargins) {
    fillFrame(frame.get(), rgb(45, 0, 0));
    // Left 110.7 starts at column 110, right 130.5 still takes 130.
    shadeBand(frame.get(), 110.7f, 0.0f, 130.5f, 480.0f, 25);
    for (int y : {0, 49, 50, 429, 430, 479}) EXPECT_EQ(touched(y, rgb(45, 0, 0)), range(110, 130)) << "row " << y;
    EXPECT_EQ(px(110, 50), rgb(20, 0, 0));
    EXPECT_EQ(px(110, 0), 0u) << "glow 0 on a margin of blue 0";

    pixels[200 * 640 + 300] = 0x00FF0A30u;  // each channel floored at 0 on its own
    shadeBand(frame.get(), 300.0f, 0.0f, 301.0f, 480.0f, 16);
    EXPECT_EQ(px(300, 200), 0x00EF0020u);

    fillFrame(frame.get(), rgb(45, 0, 0));
    shadeBand(frame.get(), 100.0f, 0.0f, 200.0f, 480.0f, 0);
    shadeBand(frame.get(), 200.0f, 0.0f, 200.0f, 480.0f, 10);
    shadeBand(frame.get(), 100.0f, 480.0f, 200.0f, 480.0f, 10);  // top counts in the test only
    EXPECT_EQ(std::count(pixels, pixels + 640 * 480, rgb(45, 0, 0)), 640 * 480);

    // Glow: max(0, blue + level) & 15 in red.
    for (const auto& [level, red] : {std::pair{-135, 0}, {10, 10}, {20, 4}, {25, 9}}) {
        fillFrame(frame.get(), 0);
        glowLevel = level;
        shadeBand(frame.get(), 10.0f, 0.0f, 20.0f, 480.0f, 5);
        EXPECT_EQ(px(15, 0), rgb(red, 0, 0)) << "level " << level;
        EXPECT_EQ(px(15, 479), rgb(red, 0, 0)) << "level " << level;
    }

    // Bands past the frame's edges are cut to it.
    fillFrame(frame.get(), rgb(45, 0, 0));
    glowLevel = 7;
    shadeBand(frame.get(), -40.5f, 0.0f, 9000.0f, 600.0f, 5);  // rows 50..549: no bottom glow
    EXPECT_EQ(px(0, 479), rgb(40, 0, 0));
    EXPECT_EQ(px(639, 0), rgb(7, 0, 0));
    shadeBand(frame.get(), -1e30f, -1e30f, 1e30f, 1e30f, 5);
    EXPECT_EQ(px(639, 479), rgb(35, 0, 0));
}

TEST_F(EffectsTest, BeatsTakeTheBarsInTurnAndThe21stRestartsBar0) {
    drawBars(nullptr);
    drawBars(nullptr);  // building again must not add the keys twice
    EXPECT_EQ(bars[0].left.keys.size(), 3u);
    for (int fired = 1; fired <= 21; ++fired) {
        const std::int32_t cue = barCues.entries[std::size_t(barCues.index)];
        setDemoTime(cue);
        drawBars(frame.get());
        ASSERT_EQ(barTriggerCount, std::uint32_t(fired));
        EXPECT_EQ(bars[(fired - 1) % 20].left.startTime, cue);
    }
    EXPECT_EQ(bars[1].left.startTime, barCues.entries[1]) << "bar 1 still from its first beat";
}

TEST_F(EffectsTest, SquareGreyWrapsAroundTheAmount) {
    for (const auto& [red, grey] : {std::pair{0, 245}, {10, 245}, {11, 246}, {20, 255}, {21, 0}, {45, 24}}) {
        pixels[0] = rgb(red, 0xAA, 0x55);
        invertSquare(frame.get(), 0.0f, 0.0f, 1.0f, 1.0f, 10);
        EXPECT_EQ(pixels[0], rgb(grey, grey, grey)) << "red " << red;
    }
    fillFrame(frame.get(), rgb(45, 0, 0));
    invertSquare(frame.get(), 0.0f, 0.0f, 1.0f, 1.0f, 0);
    invertSquare(frame.get(), 1.0f, 0.0f, 1.0f, 1.0f, 10);
    EXPECT_EQ(px(0, 0), rgb(45, 0, 0)) << "zero amount or empty square";
    invertSquare(frame.get(), -100.5f, -3.0f, 1e9f, 1e9f, 10);
    EXPECT_EQ(std::count(pixels, pixels + 640 * 480, rgb(24, 24, 24)), 640 * 480) << "cut to the frame";
}

TEST_F(EffectsTest, CurtainEdgeAndLetterboxHeightDecideWhatStaysVisible) {
    const std::uint32_t lit = 0x00FFFFFFu;
    auto columnBlack = [&](int x) {
        for (int y = 0; y < 480; ++y)
            if (px(x, y) != 0) return false;
        return true;
    };
    // 330.7: right from 330, left up to 309.3; 639.5: column 639 black and the left part [0, 0.5) empty.
    for (const auto& [edge, first, last] : {std::tuple{320.0f, 640, 639}, {330.7f, 309, 329}, {639.5f, 0, 638},
                                           {640.0f, 0, 639}, {5000.0f, 0, 639}}) {
        fillFrame(frame.get(), lit);
        curtainEdge = edge;
        drawCurtain();
        for (int x = 0; x < 640; ++x)
            ASSERT_EQ(columnBlack(x), x < first || x > last) << "edge " << edge << " column " << x;
    }
    curtainEdge = 5000.0f;
    // 10.7: top rows 0..9, bottom rows from trunc(469.3); 0.5: only row 479.
    for (const auto& [height, top, bottom] : {std::tuple{0.0f, 0, 480}, {0.5f, 0, 479}, {10.7f, 10, 469}}) {
        fillFrame(frame.get(), lit);
        letterboxHeight = height;
        drawLetterbox();
        for (int y = 0; y < 480; ++y)
            ASSERT_EQ(touched(y, lit).size(), y < top || y >= bottom ? 640u : 0u) << "height " << height << " row " << y;
    }
    fillFrame(frame.get(), lit);
    fillBlack(frame.get(), 0.2f, 0.0f, 0.7f, 480.0f);  // truncates to nothing
    fillBlack(frame.get(), 700.0f, -50.0f, 800.0f, 480.0f);
    EXPECT_EQ(std::count(pixels, pixels + 640 * 480, lit), 640 * 480);
    fillBlack(frame.get(), -10.0f, -10.0f, 1e9f, 1e9f);
    EXPECT_EQ(std::count(pixels, pixels + 640 * 480, 0u), 640 * 480);
}

}  // namespace
