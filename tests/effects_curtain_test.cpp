// The curtain and the letterbox.
#include <gtest/gtest.h>

#include <memory>

#include "demo/clock.h"
#include "demo/demostate.h"
#include "demo/effects/curtain.h"
#include "demo/frameloop.h"
#include "demo/timeline.h"
#include "display/graphics.h"
#include "tests/support/framesurface.h"

namespace {

constexpr std::uint32_t lit = 0x00FFFFFFu;

class CurtainTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        fillFrame(frame.get(), lit);
    }
    bool columnBlack(int x) const {
        for (int y = 0; y < 480; ++y)
            if (pixels[y * 640 + x] != 0) return false;
        return true;
    }
    bool rowBlack(int y) const {
        for (int x = 0; x < 640; ++x)
            if (pixels[y * 640 + x] != 0) return false;
        return true;
    }
    // The columns left visible, as [first, last].
    std::pair<int, int> visibleColumns() const {
        int first = -1, last = -1;
        for (int x = 0; x < 640; ++x)
            if (!columnBlack(x)) {
                if (first < 0) first = x;
                last = x;
            }
        return {first, last};
    }
};

TEST_F(CurtainTest, EdgePositionsDecideTheVisibleColumns) {
    struct Case {
        float edge;
        int first, last;  // -1: nothing visible
    };
    // 330.7: right from 330, left up to 309.3 -> 309..329 visible; 639.5:
    // column 639 black, the left rectangle [0, 0.5) empty.
    const Case cases[] = {{320.0f, -1, -1}, {330.7f, 309, 329}, {639.5f, 0, 638}, {640.0f, 0, 639}, {5000.0f, 0, 639}};
    for (const Case c : cases) {
        fillFrame(frame.get(), lit);
        curtainEdge = c.edge;
        drawCurtain();
        EXPECT_EQ(visibleColumns(), std::make_pair(c.first, c.last)) << "edge " << c.edge;
    }
}

TEST_F(CurtainTest, LetterboxBandsTruncateTheirBounds) {
    struct Case {
        float height;
        int top, bottomFirst;  // rows 0..top-1 and bottomFirst..479 black
    };
    // 10.7: top rows 0..9, bottom from trunc(469.3) = 469.
    const Case cases[] = {{0.0f, 0, 480}, {0.5f, 0, 479}, {10.7f, 10, 469}, {300.0f, 300, 180}};
    for (const Case c : cases) {
        fillFrame(frame.get(), lit);
        letterboxHeight = c.height;
        drawLetterbox();
        for (int y = 0; y < 480; ++y)
            ASSERT_EQ(rowBlack(y), y < c.top || y >= c.bottomFirst) << "height " << c.height << " row " << y;
    }
}

TEST_F(CurtainTest, OpensOnTheFirstCueAtTheSpeedOfItsTrack) {
    drawCurtain();
    EXPECT_EQ(curtainEdge, 320.0f) << "nothing moves before the cue";
    setDemoTime(791);
    frameDelta = 25;
    drawCurtain();
    EXPECT_TRUE(curtainOpening);
    EXPECT_EQ(curtainSpeedTrack.startTime, 791);
    EXPECT_EQ(curtainEdge, float(320.0 + double(0.42f) * 25.0)) << "the edge moves after drawing";
    EXPECT_EQ(visibleColumns(), std::make_pair(-1, -1)) << "this frame still shows the closed curtain";

    // Later firings of the same list change nothing.
    setDemoTime(6990);
    frameDelta = 0;
    drawCurtain();
    EXPECT_EQ(curtainSpeedTrack.startTime, 791);
}

TEST_F(CurtainTest, AResetWhileOpeningClosesAndContinuesOnTheResetTrackOnly) {
    setDemoTime(791);
    drawCurtain();
    ASSERT_TRUE(curtainOpening);
    curtainResetCues.index = 0;
    curtainResetCues.entries = {1000, -1};
    setDemoTime(1000);
    frameDelta = 10;
    fillFrame(frame.get(), lit);
    drawCurtain();
    EXPECT_FALSE(curtainOpening);
    EXPECT_TRUE(curtainReopening);
    EXPECT_EQ(visibleColumns(), std::make_pair(-1, -1)) << "closed in the frame of the reset";
    EXPECT_EQ(curtainEdge, float(320.0 + double(0.47f) * 10.0));
}

TEST_F(CurtainTest, LetterboxGrowsFromItsCueAtTwoHundredthsOfARowPerMillisecond) {
    setDemoTime(136499);
    frameDelta = 25;
    drawLetterbox();
    EXPECT_EQ(letterboxHeight, 0.0f);
    setDemoTime(136500);
    drawLetterbox();
    EXPECT_TRUE(letterboxRunning);
    EXPECT_EQ(letterboxHeight, float(double(0.02f) * 25.0));
}

TEST_F(CurtainTest, RectanglesOutsideTheFrameAreClipped) {
    fillBlack(frame.get(), -10.0f, -10.0f, 10000.0f, 10000.0f);
    for (int x = 0; x < 640; ++x) ASSERT_TRUE(columnBlack(x));
    fillFrame(frame.get(), lit);
    fillBlack(frame.get(), 700.0f, 0.0f, 800.0f, 480.0f);
    fillBlack(frame.get(), 0.0f, -50.0f, 640.0f, -1.0f);
    fillBlack(frame.get(), 0.2f, 0.0f, 0.7f, 480.0f);  // truncates to an empty width
    EXPECT_EQ(visibleColumns(), std::make_pair(0, 639));
    EXPECT_FALSE(rowBlack(0));
}

}  // namespace
