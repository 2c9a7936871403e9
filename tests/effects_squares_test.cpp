// The square grid: the wrapped grey, the generator and the layout.
#include <gtest/gtest.h>

#include <memory>

#include "demo/demostate.h"
#include "demo/effects/squares.h"
#include "demo/frameloop.h"
#include "demo/timeline.h"
#include "display/graphics.h"
#include "tests/support/framesurface.h"

namespace {

using SquaresTest = FrameTest;

TEST_F(SquaresTest, GreyWrapsAroundTheAmount) {
    struct Case {
        std::uint32_t red, grey;
    };
    const Case cases[] = {{0, 245}, {10, 245}, {11, 246}, {20, 255}, {21, 0}, {45, 24}, {255, 234}};
    for (const Case c : cases) {
        pixels[0] = c.red << 16 | 0x00AA55u;  // green and blue play no part
        invertSquare(frame.get(), 0.0f, 0.0f, 1.0f, 1.0f, 10);
        EXPECT_EQ(pixels[0], c.grey * 0x010101u) << "red " << c.red;
    }
    pixels[0] = 45u << 16;
    invertSquare(frame.get(), 0.0f, 0.0f, 1.0f, 1.0f, 0);
    invertSquare(frame.get(), 1.0f, 0.0f, 1.0f, 1.0f, 10);
    EXPECT_EQ(pixels[0], 45u << 16) << "zero amount or empty square draws nothing";
    invertSquare(frame.get(), -100.5f, -3.0f, 1e9f, 1e9f, 10);  // clipped, whole frame
    EXPECT_EQ(px(639, 479), 245u * 0x010101u);
}

TEST_F(SquaresTest, GeneratorIsTheUnseededRandSequence) {
    const std::int32_t first[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    for (std::int32_t v : first) EXPECT_EQ(gridRand(), v);
}

TEST_F(SquaresTest, CellsAre45PixelSquaresFiftyApartAroundTheCentre) {
    for (bool& on : squareOn) on = true;
    fillFrame(frame.get(), 0);
    drawSquares(frame.get());
    const int edges[3] = {245, 295, 345};
    const int rows[3] = {165, 215, 265};
    for (int y = 150; y < 330; ++y)
        for (int x = 230; x < 410; ++x) {
            bool inside = false;
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    inside = inside || (x >= edges[j] && x < edges[j] + 45 && y >= rows[i] && y < rows[i] + 45);
            ASSERT_EQ(px(x, y), inside ? 245u * 0x010101u : 0u) << x << "," << y;
        }
}

TEST_F(SquaresTest, FlashHidesTheMiddleRowAndTheBottomRowShowsItsFlags) {
    squareOn[3] = true;  // middle row, left
    squareOn[8] = true;  // bottom row, right
    flashStarted = true;
    fillFrame(frame.get(), 0);
    drawSquares(frame.get());
    for (int y = 215; y < 260; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_EQ(px(x, y), 0u) << "middle row untouched at " << x << "," << y;
    EXPECT_EQ(px(245, 265), 245u * 0x010101u) << "bottom left shows flag 3";
    EXPECT_EQ(px(345, 265), 0u) << "flag 8 is not shown at all";
    flashStarted = false;
}

TEST_F(SquaresTest, CuesFlipCells5874Then8AgainEvenWithoutASurface) {
    setDemoTime(24754);
    drawSquares(nullptr);
    for (bool on : squareOn) EXPECT_FALSE(on);
    const int expected[] = {5, 8, 7, 4, 8};
    bool shown[9] = {};
    for (int i = 0; i < 5; ++i) {
        setDemoTime(gridCues.entries[std::size_t(i)]);
        drawSquares(nullptr);
        shown[expected[i]] = !shown[expected[i]];
        for (int cell = 0; cell < 9; ++cell) ASSERT_EQ(squareOn[cell], shown[cell]) << "after flip " << i;
    }
    EXPECT_FALSE(squareOn[8]) << "the fifth flip turned cell 8 off";
}

}  // namespace
