// The whole timeline through the headless renderer, and scenes of it that
// can be worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "demo/clock.h"
#include "demo/demostate.h"
#include "demo/frameloop.h"
#include "demo/headlessrender.h"
#include "tests/support/framecheck.h"
#include "tests/support/framesurface.h"
#include "tests/support/scratchdir.h"
#include "tests/support/testpack.h"

namespace {

constexpr int W = 640, H = 480, bandSteps = 380 * W;
using Frame = std::vector<std::uint32_t>;  // 0x00RRGGBB read back from the 24-bit copy

// The demo time frame k sees in video mode: frames 0 and 1 see 0, frame k
// the clock stored after frame k-1, 71 / fps x (k-1) units of 1/71 s.
int frameTime(int k) {
    if (k == 0) return 0;
    const float units = float(71.0 / 40.0 * double(k - 1));
    return int(double(units) * double(0.014084506779909134f) * 1000.0);
}

int firstFrameAt(int ms) {
    int k = 0;
    while (frameTime(k) < ms) ++k;
    return k;
}

// The red of the noise band (v & 45) in the frame after `framesBefore`
// frames, each of which took one step per band pixel; streaked at threshold 0.
std::vector<int> noiseBand(int framesBefore, bool streak) {
    std::int32_t s = 1638;
    for (long long i = 0; i < 1LL * framesBefore * bandSteps; ++i) plainStep(s);
    std::vector<int> band(bandSteps);
    for (int i = 0, held = 0; i < bandSteps; ++i) {
        const int n = plainStep(s) & 45;
        if (i % W == 0) held = n;
        band[std::size_t(i)] = streak ? (held + n) & 45 : n;
    }
    return band;
}

int wrongPixels(const std::string& name, const Frame& f, const ExpectedPixel& expected) {
    return differingPixels(name, f.data(), expected);
}

bool inGrid(int x, int y) { return x >= 245 && x < 390 && y >= 165 && y < 310; }

// A grid cell is shown when every pixel is a wrapped grey (never black on
// this noise), hidden when every pixel is still red-only. `skip` leaves out
// pixels something else draws over.
enum class Cell { shown, hidden, mixed };
Cell cellState(const Frame& f, int cell, int rowPosition, bool (*skip)(int, int) = nullptr) {
    const int x0 = 245 + 50 * (cell % 3);
    bool allGrey = true, allRed = true;
    for (int y = rowPosition; y < rowPosition + 45; ++y)
        for (int x = x0; x < x0 + 45; ++x) {
            if (skip && skip(x, y)) continue;
            const std::uint32_t c = f[std::size_t(y * W + x)];
            allGrey = allGrey && c != 0 && c == (c & 255) * 0x010101u;
            allRed = allRed && (c & 0xFFFF) == 0;
        }
    return allGrey ? Cell::shown : allRed ? Cell::hidden : Cell::mixed;
}

const int titleX = 230, titleY[3] = {360, 50, 210};
bool inTitle(int slot, int x, int y) { return unsigned(x - titleX) < 180u && unsigned(y - titleY[slot]) < 65u; }
bool titleInk(int s, int x, int y) { return inTitle(s, x, y) && syntheticInk(s, y - titleY[s], x - titleX); }

class TimelineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ScratchDir dir;
        writePack(dir.path("demo.dat"), syntheticTitles());
        for (int t : {6500, 12000, 18000, 24000, 25000, 24900, 25300, 25700, 26100, 26500, 74000, 100800})
            frames[firstFrameAt(t)];
        for (int k : {0, 6081, firstFrameAt(37133) + 6}) frames[k];
        count = HeadlessRenderer(dir.path("demo.dat"), 40.0f).run([](int index, const unsigned char* p, int progress) {
            if (auto it = frames.find(index); it != frames.end())
                for (int i = 0; i < W * H; ++i, p += 3) it->second.push_back(p[0] | p[1] << 8 | p[2] << 16);
            // The clock now reads what the next frame will see.
            clockFollows = clockFollows && demoTime() == frameTime(index + 1);
            monotonic = monotonic && progress >= lastProgress;
            lastProgress = progress;
            return true;
        });
    }
    static const Frame& frameAt(int ms) { return frames.at(firstFrameAt(ms)); }

    static inline std::map<int, Frame> frames;
    static inline int count = 0, lastProgress = 0;
    static inline bool monotonic = true, clockFollows = true;
};

TEST_F(TimelineTest, FortyFramesASecondGive6082FramesFromBlackToBlack) {
    EXPECT_EQ(count, 6082);
    EXPECT_TRUE(clockFollows);
    EXPECT_EQ(frameTime(10), 225) << "71 / 40 x 9 units, rounded up to the float";
    EXPECT_TRUE(monotonic) << "progress never goes back";
    EXPECT_EQ(lastProgress, 100);
    // The curtain is closed at first; at 152 s both letterbox bands cover the frame.
    for (int k : {0, 6081})
        EXPECT_EQ(wrongPixels("frame-" + std::to_string(k), frames.at(k), [](int, int, std::uint32_t) { return 0u; }), 0);
}

TEST_F(TimelineTest, FirstGridFlipsHitCells5874AndThe5thTurns8Off) {
    const int picks[] = {5, 8, 7, 4, 8};  // the generator's first cells, one flip each 400 ms
    std::vector<bool> on(9, false);
    for (int i = 0; i < 5; ++i) {
        on[std::size_t(picks[i])] = !on[std::size_t(picks[i])];
        const Frame& f = frameAt(24900 + 400 * i);
        for (int cell = 0; cell < 9; ++cell)
            EXPECT_EQ(cellState(f, cell, 165 + 50 * (cell / 3)), on[std::size_t(cell)] ? Cell::shown : Cell::hidden)
                << "cell " << cell << " after flip " << i;
        // The 5-pixel gaps between the squares are never touched.
        EXPECT_EQ(wrongPixels("after-flip-" + std::to_string(i), f, [](int x, int y, std::uint32_t c) {
                      const bool gap = inGrid(x, y) && (x == 290 || x == 294 || x == 340 || x == 344);
                      return gap ? c & 0xFF0000 : c;
                  }), 0);
    }
}

TEST_F(TimelineTest, Bar0At150MillisecondsAfterItsTriggerAndStreakedNoiseAt74Seconds) {
    const int trigger = firstFrameAt(37133), k = trigger + 6;
    ASSERT_EQ(frameTime(k) - frameTime(trigger), 150);
    // Left 315, right 325, amount 25: columns 315..324 of rows 50..429 lose
    // 25 per channel; the grid rows are left out, the margins stay black
    // (glow level -55 before the glow track starts).
    std::vector<int> band = noiseBand(k, false);
    EXPECT_EQ(wrongPixels("bar0-150ms", frames.at(k), [&](int x, int y, std::uint32_t c) {
                  const int n = y < 50 || y >= 430 ? 0 : band[std::size_t((y - 50) * W + x)];
                  const int red = x >= 315 && x < 325 ? std::max(n - 25, 0) : n;
                  return y < 165 || y >= 310 ? std::uint32_t(red) << 16 : c;
              }), 0);
    // The streaked noise starts from its own register, threshold 0; bar 16
    // (columns 140..160) is animating, the grid rows are left out.
    band = noiseBand(0, true);
    EXPECT_EQ(wrongPixels("streaks-74s", frameAt(74000), [&](int x, int y, std::uint32_t c) {
                  const bool band50 = y >= 50 && y < 430 && (y < 165 || y >= 310) && (x < 100 || x > 200);
                  return band50 ? std::uint32_t(band[std::size_t((y - 50) * W + x)]) << 16 : c;
              }), 0);
}

TEST_F(TimelineTest, TitlesAreRevealedInSlotOrder0Then1Then2AndEndAt24745) {
    // At factor 0.3 an ink pixel over red-only noise has green 53, blue 68.
    for (const auto& [ms, revealed] : {std::pair{6500, 0}, {12000, 1}, {18000, 2}, {24000, 3}, {25000, 0}})
        for (int slot = 0; slot < 3; ++slot)
            EXPECT_EQ(wrongPixels("title-" + std::to_string(slot) + "-at-" + std::to_string(ms), frameAt(ms),
                                  [&](int x, int y, std::uint32_t c) {
                                      if (!inTitle(slot, x, y) || (ms >= 24755 && inGrid(x, y))) return c;
                                      if (!(slot < revealed && titleInk(slot, x, y))) return c & 0xFF0000;
                                      const std::uint32_t r = std::clamp<std::uint32_t>(c >> 16 & 0xFF, 53, 85);
                                      return r << 16 | 0x3544;
                                  }), 0)
                << "slot " << slot << " at " << ms;
}

TEST_F(TimelineTest, FlashHidesTheMiddleGridRowAndTheBottomRowShowsItsFlags) {
    // 199 grid cues have fired by then (the last at 100624 ms), each flipping
    // the cell an unseeded rand-like generator picks.
    std::vector<bool> on(9, false);
    for (std::uint32_t i = 0, state = 1; i < 199; ++i) {
        state = state * 214013u + 2531011u;
        on[((state >> 16) & 0x7FFF) % 9] = !on[((state >> 16) & 0x7FFF) % 9];
    }
    ASSERT_GT(std::count(on.begin(), on.end(), true), 0) << "a scene with no square would prove nothing";
    const Frame& f = frameAt(100800);
    auto flashInk = [](int x, int y) { return titleInk(2, x, y); };
    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(cellState(f, column, 165, flashInk), on[std::size_t(column)] ? Cell::shown : Cell::hidden);
        EXPECT_EQ(cellState(f, column + 3, 265, flashInk), on[std::size_t(column + 3)] ? Cell::shown : Cell::hidden);
        EXPECT_EQ(cellState(f, column + 3, 215, flashInk), Cell::hidden) << "middle row hidden";
    }
}

TEST(RenderTest, TwentyFiveFramesASecondGive3802FramesAndLeaveNothingBehind) {
    ScratchDir dir;
    writePack(dir.path("demo.dat"), syntheticTitles());
    HeadlessRenderer renderer(dir.path("demo.dat"), 25.0f);
    EXPECT_EQ(renderer.run([](int, const unsigned char*, int) { return true; }), 3802);
    EXPECT_TRUE(surface == nullptr && titleImages[0] == nullptr && fileServer == nullptr);
}

}  // namespace
