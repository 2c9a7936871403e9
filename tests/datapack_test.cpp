// The generated QuelVarnOssa.dat: what the demo reads from it, checked on
// the pack the build produced.
#include "demo/timeline.h"
#include "source/fileserver.h"
#include "tests/support/mp3clip.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

const std::string packPath = std::string(QVO_BINARY_DIR) + "/QuelVarnOssa.dat";
constexpr int rate = 44100;
constexpr int rasterWidth = 180, rasterHeight = 65;
const char* const mainClip = "data/kov-marrowin(clip).mp3";
const char* const alternateClip = "data/kov-tidewrangler(clip).mp3";

std::vector<unsigned char> entry(const PackDirectory& pack, const char* name) {
    const std::int32_t size = pack.entrySize(name);
    std::unique_ptr<unsigned char[]> bytes(pack.readEntry(name));
    if (size < 0 || !bytes) return {};
    return std::vector<unsigned char>(bytes.get(), bytes.get() + size);
}

class DataPack : public testing::Test {
protected:
    void SetUp() override {
        const int result = pack.parse(packPath.c_str());
        ASSERT_EQ(result, 0) << packPath << ": " << PackDirectory::describe(result)
                             << " (the qvo_datapack target builds it)";
    }
    PackDirectory pack;
};

// Mono, low-passed forwards and backwards (no phase delay, so onsets stay
// where they are): what is left is mostly kick drum.
std::vector<double> lowBand(const std::vector<std::int16_t>& stereo) {
    std::vector<double> x(stereo.size() / 2);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = (stereo[2 * i] + stereo[2 * i + 1]) / 65536.0;
    const double w = 2.0 * M_PI * 150.0 / rate, alpha = std::sin(w) / std::sqrt(2.0), c = std::cos(w);
    const double a0 = 1.0 + alpha;
    const double b0 = (1.0 - c) / 2.0 / a0, b1 = (1.0 - c) / a0, a1 = -2.0 * c / a0, a2 = (1.0 - alpha) / a0;
    auto pass = [&](auto begin, auto end) {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (auto it = begin; it != end; ++it) {
            const double y = b0 * *it + b1 * x1 + b0 * x2 - a1 * y1 - a2 * y2;
            x2 = x1, x1 = *it, y2 = y1, y1 = y;
            *it = y;
        }
    };
    pass(x.begin(), x.end());
    pass(x.rbegin(), x.rend());
    return x;
}

struct Onset {
    double ms;    // where the rise crosses 30% of the way from base to peak
    double peak;  // the envelope's peak near the cue
    double base;  // what the kick rises from
};

// The kick near `cueMs`, searched no further than halfway to the cues on
// either side (two of them are only 70 ms apart). The envelope is the
// largest magnitude over the last 12 ms, longer than half a period of the
// kick's lowest pitch, so it does not dip at the zero crossings.
Onset onsetNear(const std::vector<double>& band, int previousMs, int cueMs, int nextMs) {
    const auto at = [](double ms) { return std::ptrdiff_t(std::llround(ms * rate / 1000.0)); };
    const std::ptrdiff_t from = at(std::max(cueMs - 40.0, (previousMs + cueMs) / 2.0));
    const std::ptrdiff_t to = at(std::min(cueMs + 40.0, (cueMs + nextMs) / 2.0));
    const std::ptrdiff_t hold = at(12.0);
    std::vector<double> env;
    std::deque<std::ptrdiff_t> window;  // indices of falling magnitudes: a running maximum
    for (std::ptrdiff_t i = from - hold; i < to; ++i) {
        const double v = std::fabs(band[std::size_t(i)]);
        while (!window.empty() && std::fabs(band[std::size_t(window.back())]) <= v) window.pop_back();
        window.push_back(i);
        if (window.front() < i - hold) window.pop_front();
        if (i >= from) env.push_back(std::fabs(band[std::size_t(window.front())]));
    }
    // The kick rises from the quietest point before its peak (the tail of a
    // kick 70 ms earlier may still be fading when the next one starts).
    const auto peakAt = std::max_element(env.begin(), env.end());
    const auto quietest = std::min_element(env.begin(), peakAt + 1);
    const double peak = *peakAt, base = *quietest;
    std::size_t rise = std::size_t(quietest - env.begin());
    while (env[rise] < base + 0.3 * (peak - base)) ++rise;
    return {double(from + std::ptrdiff_t(rise)) * 1000.0 / rate, peak, base};
}

TEST_F(DataPack, HoldsTheRastersAndClipsTheDemoAsksFor) {
    for (const char* name : {"data/ossa.raw", "data/quel.raw", "data/varn.raw"})
        EXPECT_EQ(pack.entrySize(name), rasterWidth * rasterHeight) << name;
    for (const char* name : {mainClip, alternateClip}) EXPECT_GT(pack.entrySize(name), 1000000) << name;
    EXPECT_EQ(pack.count(), 5);
}

// One-bit masks sharing one size and one baseline, centred horizontally,
// with clear margins: stacked in the frame they read as one title.
TEST_F(DataPack, TitleRastersAreCentredOneBitMasksOnOneBaseline) {
    int bottoms[2] = {0, 0};
    int index = 0;
    for (const char* name : {"data/quel.raw", "data/varn.raw", "data/ossa.raw"}) {
        SCOPED_TRACE(name);
        const std::vector<unsigned char> raster = entry(pack, name);
        ASSERT_EQ(raster.size(), std::size_t(rasterWidth * rasterHeight));
        int left = rasterWidth, right = -1, top = rasterHeight, bottom = -1, ink = 0;
        for (int y = 0; y < rasterHeight; ++y) {
            for (int x = 0; x < rasterWidth; ++x) {
                const unsigned char v = raster[std::size_t(y * rasterWidth + x)];
                ASSERT_TRUE(v == 0 || v == 255) << "byte " << int(v) << " at " << x << "," << y;
                if (v != 0) continue;
                ++ink, left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
        EXPECT_GT(ink, rasterWidth * rasterHeight / 8) << "too little ink to read";
        EXPECT_GE(left, 2);
        EXPECT_GE(top, 2);
        EXPECT_LE(right, rasterWidth - 3);
        EXPECT_LE(bottom, rasterHeight - 3);
        EXPECT_LE(std::abs(left - (rasterWidth - 1 - right)), 1) << "not centred";
        // "Quel" hangs below the baseline (the tail of Q); the others sit on it.
        if (index > 0) bottoms[index - 1] = bottom;
        ++index;
    }
    EXPECT_EQ(bottoms[0], bottoms[1]) << "Varn and Ossa do not share a baseline";
}

TEST_F(DataPack, MainClipKicksOnEveryBeatCue) {
    const std::vector<unsigned char> mp3 = entry(pack, mainClip);
    ASSERT_FALSE(mp3.empty());
    const std::vector<std::int16_t> pcm = decodeMp3(mp3);
    ASSERT_GE(pcm.size() / 2, std::size_t(154 * rate)) << "shorter than the demo's run";
    const std::vector<double> band = lowBand(pcm);

    buildCueLists();
    std::vector<int> beats;  // the one out-of-order entry is no beat time
    for (std::int32_t cue : gridCues.entries)
        if (cue != -1 && (beats.empty() || cue > beats.back())) beats.push_back(cue);
    double worst = 0.0;
    int worstCue = 0, checked = 0;
    for (std::size_t i = 0; i < beats.size(); ++i) {
        const int cue = beats[i];
        const int previous = i > 0 ? beats[i - 1] : cue - 1000;
        const int next = i + 1 < beats.size() ? beats[i + 1] : cue + 1000;
        const Onset onset = onsetNear(band, previous, cue, next);
        ++checked;
        EXPECT_GT(onset.peak, 0.05) << "no kick at " << cue << " ms";
        EXPECT_LT(onset.base, 0.6 * onset.peak) << "no clear rise at " << cue << " ms";
        const double error = std::fabs(onset.ms - cue);
        EXPECT_LE(error, 5.0) << "kick at " << onset.ms << " ms for the cue at " << cue << " ms";
        if (error > worst) worst = error, worstCue = cue;
    }
    EXPECT_EQ(checked, 324);
    std::printf("kick onsets: %d cues, worst error %.2f ms (cue %d ms)\n", checked, worst, worstCue);
}

TEST_F(DataPack, ClipsLastTheRunWithoutClipping) {
    for (const char* name : {mainClip, alternateClip}) {
        SCOPED_TRACE(name);
        const std::vector<std::int16_t> pcm = decodeMp3(entry(pack, name));
        ASSERT_GE(pcm.size() / 2, std::size_t(154 * rate));
        int peak = 0;
        double sum = 0.0, dc = 0.0;
        for (std::int16_t s : pcm) peak = std::max(peak, std::abs(int(s))), sum += double(s) * s, dc += s;
        EXPECT_LT(std::fabs(dc / double(pcm.size())), 30.0) << "DC offset";
        const double rmsDb = 10.0 * std::log10(sum / double(pcm.size()) / (32768.0 * 32768.0));
        EXPECT_LT(peak, 32000) << "no headroom";
        EXPECT_GT(rmsDb, -30.0) << "too quiet";
        // The end is faded out: the last second is silent.
        int tail = 0;
        for (std::size_t i = pcm.size() - 2 * rate; i < pcm.size(); ++i) tail = std::max(tail, std::abs(int(pcm[i])));
        EXPECT_LT(tail, 40);
    }
}

// Runs a tool with its output going to `log` (or nowhere); returns its exit code.
int runTool(const std::vector<std::string>& args, const std::string& log = "/dev/null") {
    std::string command;
    for (const std::string& a : args) {
        command += " '";
        for (char c : a) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += "'";
    }
    const int status = std::system((command + " > '" + log + "' 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A build on a machine without the font, or with nowhere to write, must stop
// with the reason instead of producing a broken pack.
TEST(DataGenerators, FailLoudlyNamingWhatIsMissing) {
    ScratchDir dir;
    const std::string log = dir.path("log");
    EXPECT_EQ(runTool({QVO_TITLES_TOOL, dir.path("no-such-font.ttf"), dir.path()}, log), 1);
    std::string message = ScratchDir::read(log);
    EXPECT_NE(message.find("no-such-font.ttf"), std::string::npos) << message;
    EXPECT_NE(message.find("fonts-dejavu-core"), std::string::npos) << message;
    EXPECT_FALSE(ScratchDir::exists(dir.path("quel.raw")));

    const std::string missingDir = dir.path("absent") + "/main.mp3";
    EXPECT_EQ(runTool({QVO_SYNTH_TOOL, missingDir, dir.path("alternate.mp3")}, log), 1);
    message = ScratchDir::read(log);
    EXPECT_NE(message.find(missingDir), std::string::npos) << message;
}

// The whole chain again, into a scratch directory: the same sources must give
// the same pack, byte for byte.
TEST_F(DataPack, GeneratingAgainGivesTheSameBytes) {
    ScratchDir dir;
    ASSERT_EQ(runTool({QVO_TITLES_TOOL, QVO_TITLE_FONT, dir.path()}), 0);
    ASSERT_EQ(runTool({QVO_SYNTH_TOOL, dir.path("marrowin.mp3"), dir.path("tidewrangler.mp3")}), 0);
    const std::string files[] = {dir.path("quel.raw"), dir.path("varn.raw"), dir.path("ossa.raw"),
                                 dir.path("marrowin.mp3"), dir.path("tidewrangler.mp3")};
    std::vector<std::string> args = {QVO_PACK_TOOL, "create", dir.path("again.dat")};
    const char* const names[] = {"data/quel.raw", "data/varn.raw", "data/ossa.raw", mainClip, alternateClip};
    for (int i = 0; i < 5; ++i) {
        const std::vector<unsigned char> packed = entry(pack, names[i]);
        const std::string fresh = ScratchDir::read(files[i]);
        EXPECT_TRUE(fresh == std::string(packed.begin(), packed.end()))
            << names[i] << " differs from the built pack's entry";
        args.push_back(std::string(names[i]) + "=" + files[i]);
    }
    ASSERT_EQ(runTool(args), 0);
    EXPECT_TRUE(ScratchDir::read(dir.path("again.dat")) == ScratchDir::read(packPath));
}

}  // namespace
