// The whole timeline through the headless renderer, and scenes of it that
// can be worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "demo/demostate.h"
#include "demo/frameloop.h"
#include "demo/headlessrender.h"
#include "source/exceptionserver.h"
#include "tests/support/framesurface.h"
#include "tests/support/scratchdir.h"
#include "tests/support/testpack.h"

namespace {

constexpr int W = 640, H = 480;
using Frame = std::vector<unsigned char>;

// The demo time frame k sees in video mode: frames 0 and 1 see 0, frame k
// the clock stored after frame k-1, 71 / fps x (k-1) units of 1/71 s.
int frameTime(int k, float fps = 40.0f) {
    if (k == 0) return 0;
    const float units = float(71.0 / double(fps) * double(k - 1));
    return int(double(units) * double(0.014084506779909134f) * 1000.0);
}

int firstFrameAt(int ms) {
    int k = 0;
    while (frameTime(k) < ms) ++k;
    return k;
}

struct Rgb {
    int r, g, b;
};

Rgb at(const Frame& f, int x, int y) {
    const unsigned char* p = f.data() + (std::size_t(y) * W + x) * 3;
    return {p[2], p[1], p[0]};
}

// The one-step register, for reference pictures of the noise.
struct Register {
    std::int32_t state = 1638;
    std::int32_t step() {
        const std::int32_t t = state ^ (state >> 3);
        state = ((t & 1) << 30) | (state >> 1);
        return t >> 1;
    }
};
constexpr long long bandSteps = 380LL * W;

// The plain noise band (red = v & 45) of the frame after `framesBefore`
// frames, each of which took one step per band pixel.
std::vector<int> plainNoiseBand(int framesBefore) {
    Register reg;
    for (long long i = 0; i < framesBefore * bandSteps; ++i) reg.step();
    std::vector<int> band(static_cast<std::size_t>(bandSteps));
    for (int& red : band) red = reg.step() & 45;
    return band;
}

// Compares the pixels that `check` selects with `expected`; on a mismatch
// writes actual | expected side by side and names the file.
template <typename Expect, typename Select>
void expectPixels(const Frame& actual, const char* scene, Select check, Expect expected) {
    Frame want = actual;
    int mismatches = 0, firstX = 0, firstY = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (!check(x, y)) continue;
            const Rgb e = expected(x, y);
            unsigned char* p = want.data() + (std::size_t(y) * W + x) * 3;
            p[0] = (unsigned char)e.b;
            p[1] = (unsigned char)e.g;
            p[2] = (unsigned char)e.r;
            const Rgb a = at(actual, x, y);
            if (a.r != e.r || a.g != e.g || a.b != e.b) {
                if (mismatches++ == 0) firstX = x, firstY = y;
            }
        }
    if (mismatches == 0) return;
    const std::string path =
        writeSideBySide(::testing::TempDir() + "/" + scene + ".ppm", actual.data(), want.data());
    ADD_FAILURE() << scene << ": " << mismatches << " pixels differ, first at (" << firstX << ", " << firstY
                  << "); actual | expected written to " << path;
}

// A grid cell is shown when every pixel is a wrapped grey (never black on
// this noise), hidden when every pixel is still red-only. `skip` leaves out
// pixels something else draws over.
enum class Cell { shown, hidden, mixed };
template <typename Skip>
Cell cellState(const Frame& f, int cell, int rowPosition, Skip skip) {
    const int x0 = 245 + 50 * (cell % 3), y0 = rowPosition;
    bool allGrey = true, allRed = true;
    for (int y = y0; y < y0 + 45; ++y)
        for (int x = x0; x < x0 + 45; ++x) {
            if (skip(x, y)) continue;
            const Rgb c = at(f, x, y);
            allGrey = allGrey && c.r == c.g && c.g == c.b && c.r != 0;
            allRed = allRed && c.g == 0 && c.b == 0;
        }
    return allGrey ? Cell::shown : allRed ? Cell::hidden : Cell::mixed;
}
Cell cellState(const Frame& f, int cell, int rowPosition) {
    return cellState(f, cell, rowPosition, [](int, int) { return false; });
}

// The flags after n flips of the unseeded rand-like generator.
std::vector<bool> gridFlags(int flips) {
    std::vector<bool> on(9, false);
    std::uint32_t state = 1;
    for (int i = 0; i < flips; ++i) {
        state = state * 214013u + 2531011u;
        const int cell = int((state >> 16) & 0x7FFF) % 9;
        on[std::size_t(cell)] = !on[std::size_t(cell)];
    }
    return on;
}

const int titleX = 230;
const int titleY[3] = {360, 50, 210};

bool inTitle(int slot, int x, int y) {
    return x >= titleX && x < titleX + 180 && y >= titleY[slot] && y < titleY[slot] + 65;
}
bool titleInk(int slot, int x, int y) {
    return inTitle(slot, x, y) && syntheticInk(slot, y - titleY[slot], x - titleX);
}

class TimelineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ScratchDir dir;
        writePack(dir.path("demo.dat"), syntheticTitles());
        for (int t : {6500, 12000, 18000, 24000, 25000, 24900, 25300, 25700, 26100, 26500, 100800})
            wanted[firstFrameAt(t)] = true;
        bar0Trigger = firstFrameAt(37133);
        wanted[bar0Trigger + 6] = true;
        wanted[0] = true;
        wanted[streakStart = firstFrameAt(74000)] = true;
        wanted[6081] = true;

        HeadlessRenderer renderer(dir.path("demo.dat"), 40.0f);
        count = renderer.run([](int index, const unsigned char* frame24, int progress) {
            if (wanted.count(index)) frames[index].assign(frame24, frame24 + frame24Size);
            monotonic = monotonic && progress >= lastProgress;
            lastProgress = progress;
            return true;
        });
    }
    static void TearDownTestSuite() { frames.clear(); }

    static const Frame& frameAt(int ms) { return frames.at(firstFrameAt(ms)); }

    static inline std::map<int, bool> wanted;
    static inline std::map<int, Frame> frames;
    static inline int count = 0, lastProgress = 0, bar0Trigger = 0, streakStart = 0;
    static inline bool monotonic = true;
};

TEST_F(TimelineTest, FortyFramesASecondGive6082FramesFromBlackToBlack) {
    EXPECT_EQ(count, 6082);
    EXPECT_TRUE(monotonic) << "progress never goes back";
    EXPECT_EQ(lastProgress, 100);
    const Frame& first = frames.at(0);
    EXPECT_EQ(std::count(first.begin(), first.end(), 0), std::ptrdiff_t(first.size())) << "the curtain is closed";
    // At 152 s both letterbox bands (about 310 rows each) cover the frame.
    const Frame& last = frames.at(6081);
    EXPECT_EQ(std::count(last.begin(), last.end(), 0), std::ptrdiff_t(last.size()));
}

TEST_F(TimelineTest, FirstGridFlipsHitCells5874AndThe5thTurns8Off) {
    const int times[] = {24900, 25300, 25700, 26100, 26500};
    const std::vector<std::vector<int>> shown = {{5}, {5, 8}, {5, 7, 8}, {4, 5, 7, 8}, {4, 5, 7}};
    for (int i = 0; i < 5; ++i) {
        const Frame& f = frameAt(times[i]);
        for (int cell = 0; cell < 9; ++cell) {
            const bool on = std::find(shown[std::size_t(i)].begin(), shown[std::size_t(i)].end(), cell) !=
                            shown[std::size_t(i)].end();
            EXPECT_EQ(cellState(f, cell, 165 + 50 * (cell / 3)), on ? Cell::shown : Cell::hidden)
                << "cell " << cell << " at " << times[i] << " ms";
        }
        // The 5-pixel gaps between the squares are never touched.
        for (int y = 165; y < 310; ++y)
            for (int x : {290, 294, 340, 344})
                ASSERT_EQ(at(f, x, y).g, 0) << x << "," << y;
    }
}

TEST_F(TimelineTest, Bar0At150MillisecondsAfterItsTrigger) {
    const int k = bar0Trigger + 6;
    ASSERT_EQ(frameTime(bar0Trigger - 1) < 37133 && frameTime(bar0Trigger) >= 37133, true);
    ASSERT_EQ(frameTime(k) - frameTime(bar0Trigger), 150);
    const std::vector<int> band = plainNoiseBand(k);
    // Left 315, right 325, amount 25: columns 315..324 of rows 50..429 lose
    // 25 per channel; the grid rows are left out, the margins stay black
    // (glow level -55 before the glow track starts).
    expectPixels(frames.at(k), "bar0-150ms", [](int, int y) { return y < 165 || y >= 310; },
                 [&](int x, int y) {
                     if (y < 50 || y >= 430) return Rgb{0, 0, 0};
                     const int n = band[std::size_t((y - 50) * W + x)];
                     return Rgb{x >= 315 && x < 325 ? std::max(n - 25, 0) : n, 0, 0};
                 });
}

TEST_F(TimelineTest, StreakedNoiseStartsFromItsOwnRegisterAt74Seconds) {
    const Frame& f = frames.at(streakStart);
    // First streaked frame: register 1638, threshold 0, row 50 holds 5:
    // (5 + 5, 5 + 40, 5 + 5, 5 + 40, 5 + 37, 5 + 8) & 45.
    const int reds[] = {8, 45, 8, 45, 40, 13};
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(at(f, x, 50).r, reds[x]) << "column " << x;
        EXPECT_EQ(at(f, x, 50).g + at(f, x, 50).b, 0);
    }
    Register reg;
    std::vector<int> band(static_cast<std::size_t>(bandSteps));
    int held = 0;
    for (long long i = 0; i < bandSteps; ++i) {
        const int n = reg.step() & 45;
        if (i % W == 0) held = n;
        band[std::size_t(i)] = (held + n) & 45;
    }
    // Bar 16 (columns 140..160) is animating; the grid rows are left out.
    expectPixels(f, "streak-74s",
                 [](int x, int y) { return y >= 50 && y < 430 && (y < 165 || y >= 310) && (x < 100 || x > 200); },
                 [&](int x, int y) { return Rgb{band[std::size_t((y - 50) * W + x)], 0, 0}; });
}

TEST_F(TimelineTest, TitlesAreRevealedInSlotOrder0Then1Then2AndEndAt24745) {
    // At factor 0.3 an ink pixel over red-only noise has green 53, blue 68.
    struct Scene {
        int ms;
        int revealed;  // slots 0..revealed-1 visible
    };
    for (const Scene scene : {Scene{6500, 0}, Scene{12000, 1}, Scene{18000, 2}, Scene{24000, 3}, Scene{25000, 0}}) {
        const Frame& f = frameAt(scene.ms);
        for (int slot = 0; slot < 3; ++slot) {
            const bool visible = slot < scene.revealed;
            int wrong = 0;
            for (int y = titleY[slot]; y < titleY[slot] + 65; ++y)
                for (int x = titleX; x < titleX + 180; ++x) {
                    if (scene.ms >= 24755 && y >= 165 && y < 310 && x >= 245 && x < 390) continue;  // grid
                    const Rgb c = at(f, x, y);
                    const bool ink = visible && titleInk(slot, x, y);
                    const bool ok = ink ? c.g == 53 && c.b == 68 && c.r >= 53 && c.r <= 85 : c.g == 0 && c.b == 0;
                    wrong += !ok;
                }
            EXPECT_EQ(wrong, 0) << "slot " << slot << (visible ? " shown" : " hidden") << " at " << scene.ms;
        }
    }
}

TEST_F(TimelineTest, FlashHidesTheMiddleGridRowAndTheBottomRowShowsItsFlags) {
    const Frame& f = frameAt(100800);
    // 199 grid cues have fired by then (the last at 100624 ms).
    const std::vector<bool> on = gridFlags(199);
    auto flashInk = [](int x, int y) { return titleInk(2, x, y); };
    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(cellState(f, column, 165, flashInk), on[std::size_t(column)] ? Cell::shown : Cell::hidden);
        EXPECT_EQ(cellState(f, column + 3, 265, flashInk), on[std::size_t(column + 3)] ? Cell::shown : Cell::hidden)
            << "bottom row shows flag " << column + 3;
        EXPECT_EQ(cellState(f, column + 3, 215, flashInk), Cell::hidden) << "middle row hidden";
    }
    int shownAnywhere = 0;
    for (bool b : on) shownAnywhere += b;
    EXPECT_GT(shownAnywhere, 0) << "a scene with no square would prove nothing";
}

TEST(RenderTest, RunsRepeatInOneProcessAndTheFrameCountFollowsTheRate) {
    ScratchDir dir;
    writePack(dir.path("demo.dat"), syntheticTitles());
    HeadlessRenderer at25(dir.path("demo.dat"), 25.0f);
    EXPECT_EQ(at25.run([](int, const unsigned char*, int) { return true; }), 3802);

    HeadlessRenderer renderer(dir.path("demo.dat"), 40.0f);
    auto digest = [&] {
        std::uint64_t hash = 1469598103934665603ull;
        renderer.run([&](int index, const unsigned char* frame24, int) {
            for (std::size_t i = 0; i < frame24Size; i += 7) hash = (hash ^ frame24[i]) * 1099511628211ull;
            return index < 1200;  // past the first titles and grid flips
        });
        return hash;
    };
    const std::uint64_t first = digest();
    EXPECT_EQ(digest(), first);
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(titleImages[0], nullptr);
    EXPECT_EQ(fileServer, nullptr);
}

TEST(RenderTest, UnusableTitlesAndPacksAreReportedNotDrawn) {
    ScratchDir dir;
    struct Case {
        const char* file;
        std::vector<std::pair<std::string, std::string>> entries;
        const char* error;
        const char* extra;
    };
    auto titles = syntheticTitles();
    auto shortVarn = titles;
    shortVarn[2].second.pop_back();
    auto noQuel = titles;
    noQuel.erase(noQuel.begin() + 1);
    const Case cases[] = {
        {"short.dat", shortVarn, "Error - invalid data in file %s! Aborting...", "data/varn.raw"},
        {"missing.dat", noQuel, "Error - file %s not found! Aborting...", "data/quel.raw"},
    };
    for (const Case& c : cases) {
        writePack(dir.path(c.file), c.entries);
        HeadlessRenderer renderer(dir.path(c.file), 40.0f);
        int frames = 0;
        try {
            renderer.run([&](int, const unsigned char*, int) { return ++frames, true; });
            ADD_FAILURE() << c.file << " rendered";
        } catch (const ExceptionType& e) {
            EXPECT_STREQ(e.string, c.error);
            EXPECT_STREQ(e.extraString, c.extra);
        }
        EXPECT_EQ(frames, 0);
        EXPECT_EQ(surface, nullptr);
    }
    HeadlessRenderer absent(dir.path("absent.dat"), 40.0f);
    EXPECT_THROW(absent.run([](int, const unsigned char*, int) { return true; }), ExceptionType);
}

}  // namespace
