// The tinted blend and the title reveal.
#include <gtest/gtest.h>

#include <memory>

#include "demo/demostate.h"
#include "demo/effects/titles.h"
#include "demo/frameloop.h"
#include "demo/timeline.h"
#include "display/graphics.h"
#include "tests/support/framesurface.h"
#include "tests/support/testpack.h"

namespace {

std::uint32_t rgb(int r, int g, int b) { return std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b); }

using TitleTest = FrameTest;

TEST_F(TitleTest, KeyLeavesThePixelAndEveryOtherValueIsInk) {
    // One row: key, ink 0, ink 254, ink 1.
    const unsigned char raster[4] = {255, 0, 254, 1};
    const TitleImage image(raster, 4, 1);
    fillFrame(frame.get(), rgb(10, 20, 30));
    image.blendTinted(frame.get(), 100, 100, 0.7f, 0.7f, 0.9f, 0.3f, 255);
    const std::uint32_t* row = pixels + 100 * 640 + 100;
    EXPECT_EQ(row[0], rgb(10, 20, 30));
    EXPECT_NE(row[1], rgb(10, 20, 30));
    EXPECT_EQ(row[1], row[2]);
    EXPECT_EQ(row[1], row[3]);

    // The key is any byte the caller names.
    fillFrame(frame.get(), 0);
    image.blendTinted(frame.get(), 0, 0, 0.7f, 0.7f, 0.9f, 1.0f, 0);
    EXPECT_EQ(pixels[1], 0u) << "0 is the key now";
    EXPECT_NE(pixels[0], 0u);
}

TEST_F(TitleTest, BlendArithmeticAtFactorsZeroPointThreeAndOne) {
    const unsigned char ink[1] = {0};
    const TitleImage image(ink, 1, 1);

    // Factor 0 returns every channel value unchanged (1/255 as a float is
    // slightly above, so truncation keeps v).
    for (int v = 0; v < 256; ++v) {
        pixels[0] = rgb(v, 255 - v, v);
        image.blendTinted(frame.get(), 0, 0, 0.7f, 0.7f, 0.9f, 0.0f, 255);
        ASSERT_EQ(pixels[0], rgb(v, 255 - v, v)) << v;
    }
    // Black under ink at 0.3 toward (0.7, 0.7, 0.9).
    pixels[0] = 0;
    image.blendTinted(frame.get(), 0, 0, 0.7f, 0.7f, 0.9f, 0.3f, 255);
    EXPECT_EQ(pixels[0], rgb(53, 53, 68));
    // Factor 1 paints the tint: 0.7 x 255 = 178.5, 0.9 x 255 = 229.5 (floats a hair below).
    pixels[0] = rgb(200, 100, 7);
    image.blendTinted(frame.get(), 0, 0, 0.7f, 0.7f, 0.9f, 1.0f, 255);
    EXPECT_EQ(pixels[0], rgb(178, 178, 229));
    // Red 45 of the noise at 0.3: (45/255 x 0.7 + 0.21) x 255 = 85.05.
    pixels[0] = rgb(45, 0, 0);
    image.blendTinted(frame.get(), 0, 0, 0.7f, 0.7f, 0.9f, 0.3f, 255);
    EXPECT_EQ(pixels[0], rgb(85, 53, 68));
}

TEST_F(TitleTest, BlendStaysInsideTheFrame) {
    const std::string raster = syntheticTitle(0);
    const TitleImage image(reinterpret_cast<const unsigned char*>(raster.data()), 180, 65);
    int inkInside = 0;
    for (int i = 0; i < 65; ++i)
        for (int j = 0; j < 180; ++j) inkInside += (600 + j < 640 && -30 + i >= 0) && syntheticInk(0, i, j);
    fillFrame(frame.get(), 0);
    image.blendTinted(frame.get(), 600, -30, 0.7f, 0.7f, 0.9f, 0.5f, 255);
    int changed = 0;
    for (int i = 0; i < 640 * 480; ++i) changed += pixels[i] != 0;
    EXPECT_EQ(changed, inkInside);
    image.blendTinted(frame.get(), -1000, 5000, 0.7f, 0.7f, 0.9f, 0.5f, 255);  // wholly outside
}

// Drives drawTitles with the frame-derived clock.
class RevealTest : public TitleTest {
protected:
    void SetUp() override {
        TitleTest::SetUp();
        for (int slot = 0; slot < 3; ++slot) {
            rasters[slot] = syntheticTitle(slot);
            images[slot] = std::make_unique<TitleImage>(reinterpret_cast<const unsigned char*>(rasters[slot].data()),
                                                        180, 65);
            titleImages[slot] = images[slot].get();
        }
    }
    void TearDown() override {
        for (TitleImage*& image : titleImages) image = nullptr;
        TitleTest::TearDown();
    }
    // Green of slot's first ink pixel after one frame on black: tint 0.7 x factor x 255.
    int greenOf(int slot) {
        const int y = titlePlaces[slot].y, x = titlePlaces[slot].x;  // raster (0,0) is ink
        return int(pixels[y * 640 + x] >> 8 & 0xFF);
    }
    void frameAt(int ms) {
        fillFrame(frame.get(), 0);
        setDemoTime(ms);
        drawTitles();
    }
    std::string rasters[3];
    std::unique_ptr<TitleImage> images[3];
};

TEST_F(RevealTest, SlotsAppearInOrderAndAllDropBackAtEachReveal) {
    frameAt(791);  // first cue only counts
    EXPECT_EQ(revealedTitles, -1);
    for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(greenOf(slot), 0);

    frameAt(6990);  // slot 0 at 0.1: 0.07 x 255 = 17.85
    EXPECT_EQ(greenOf(0), 17);
    EXPECT_EQ(greenOf(1), 0);
    EXPECT_EQ(greenOf(2), 0);
    frameAt(12000);  // 5010 ms later: 0.3
    EXPECT_EQ(greenOf(0), 53);

    frameAt(13179);  // slot 1 revealed: both back at 0.1, on the newest title's track
    EXPECT_EQ(greenOf(0), 17);
    EXPECT_EQ(greenOf(1), 17);
    EXPECT_EQ(greenOf(2), 0);
    frameAt(13179 + 300 + 1850);  // halfway up the ramp: 0.2 -> 35.7
    EXPECT_EQ(greenOf(0), 35);
    EXPECT_EQ(greenOf(1), 35);

    frameAt(19328);
    for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(greenOf(slot), 17);
    frameAt(24745);  // fifth cue ends the effect
    for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(greenOf(slot), 0);
    EXPECT_EQ(revealedTitles, 2);
    frameAt(30000);
    for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(greenOf(slot), 0);
}

}  // namespace
