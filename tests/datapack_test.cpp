// The generated QuelVarnOssa.dat: what the demo reads from it, checked on
// the pack the build produced.
#include "demo/timeline.h"
#include "source/fileserver.h"
#include "tests/support/mp3clip.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

const std::string packPath = std::string(QVO_BINARY_DIR) + "/QuelVarnOssa.dat";
constexpr int rate = 44100, rasterWidth = 180, rasterHeight = 65;
const char* const names[] = {"data/quel.raw", "data/varn.raw", "data/ossa.raw", "data/kov-marrowin(clip).mp3",
                             "data/kov-tidewrangler(clip).mp3"};

class DataPack : public testing::Test {
protected:
    void SetUp() override {
        const int result = pack.parse(packPath.c_str());
        ASSERT_EQ(result, 0) << packPath << ": " << PackDirectory::describe(result)
                             << " (the qvo_datapack target builds it)";
    }
    std::string entry(const char* name) const {
        std::unique_ptr<unsigned char[]> bytes(pack.readEntry(name));
        return bytes ? std::string(reinterpret_cast<char*>(bytes.get()), std::size_t(pack.entrySize(name))) : "";
    }
    PackDirectory pack;
};

// Mono, low-passed twice forwards and backwards (no phase delay, so onsets stay
// where they are): what is left is mostly kick drum. Its envelope holds each
// peak and decays with a 20 ms time constant, slowly enough not to dip much at
// the zero crossings of the kick's lowest pitch.
std::vector<double> lowEnvelope(const std::vector<std::int16_t>& stereo) {
    std::vector<double> x(stereo.size() / 2);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = (stereo[2 * i] + stereo[2 * i + 1]) / 65536.0;
    const double k = 1.0 - std::exp(-2.0 * M_PI * 150.0 / rate);  // one pole at 150 Hz
    auto pass = [&](auto it, auto end) {
        for (double y = 0.0; it != end; ++it) *it = y += k * (*it - y);
    };
    for (int twice = 0; twice < 2; ++twice) pass(x.begin(), x.end()), pass(x.rbegin(), x.rend());
    double held = 0.0;
    for (double& v : x) v = held = std::max(std::fabs(v), held * std::exp(-1.0 / (0.020 * rate)));
    return x;
}

// The kick near `cue` as {onset ms, peak, base}, searched no further than
// halfway to the cues on either side (two are only 70 ms apart). The kick
// rises from the quietest point before its peak (an earlier kick's tail may
// still be fading); its onset is where it is 30% of the way up.
std::array<double, 3> onsetNear(const std::vector<double>& env, int previous, int cue, int next) {
    const auto at = [&](double ms) { return env.begin() + std::llround(ms * rate / 1000.0); };
    const auto from = at(std::max(cue - 40.0, (previous + cue) / 2.0)), to = at(std::min(cue + 40.0, (cue + next) / 2.0));
    const auto peak = std::max_element(from, to), base = std::min_element(from, peak + 1);
    const auto rise = std::find_if(base, peak, [&](double v) { return v >= *base + 0.3 * (*peak - *base); });
    return {double(rise - env.begin()) * 1000.0 / rate, *peak, *base};
}

// One-bit masks sharing one size and one baseline, centred horizontally,
// with clear margins: stacked in the frame they read as one title.
TEST_F(DataPack, TitleRastersAreCentredOneBitMasksOnOneBaseline) {
    int bottoms[3] = {};
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE(names[r]);
        const std::string raster = entry(names[r]);
        ASSERT_EQ(raster.size(), std::size_t(rasterWidth * rasterHeight));
        int left = rasterWidth, right = -1, top = rasterHeight, bottom = -1, ink = 0;
        for (int i = 0; i < rasterWidth * rasterHeight; ++i) {
            const int v = static_cast<unsigned char>(raster[std::size_t(i)]), x = i % rasterWidth, y = i / rasterWidth;
            ASSERT_TRUE(v == 0 || v == 255) << "byte " << v << " at " << x << "," << y;
            if (v == 0)
                ++ink, left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                       bottom = std::max(bottom, y);
        }
        EXPECT_GT(ink, rasterWidth * rasterHeight / 8) << "too little ink to read";
        EXPECT_TRUE(left >= 2 && top >= 2 && right <= rasterWidth - 3 && bottom <= rasterHeight - 3)
            << "ink from " << left << "," << top << " to " << right << "," << bottom << " leaves no margin";
        EXPECT_LE(std::abs(left - (rasterWidth - 1 - right)), 1) << "not centred";
        bottoms[r] = bottom;
    }
    // "Quel" hangs below the baseline (the tail of Q); the others sit on it.
    EXPECT_EQ(bottoms[1], bottoms[2]) << "Varn and Ossa do not share a baseline";
}

// Both clips outlast the run with headroom and fade out; the main one kicks
// on every beat cue, 324 of them (the one out-of-order entry is no beat time).
TEST_F(DataPack, ClipsLastTheRunAndTheMainOneKicksOnEveryBeatCue) {
    std::vector<std::int16_t> pcm;
    for (const char* name : {names[4], names[3]}) {
        SCOPED_TRACE(name);
        const std::string mp3 = entry(name);
        pcm = decodeMp3({mp3.begin(), mp3.end()});
        ASSERT_GE(pcm.size() / 2, std::size_t(154 * rate)) << "shorter than the demo's run";
        int peak = 0, tail = 0;
        double sum = 0.0;
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            const int s = std::abs(int(pcm[i]));
            peak = std::max(peak, s), sum += double(s) * s;
            if (i >= pcm.size() - 2 * rate) tail = std::max(tail, s);  // the last second
        }
        EXPECT_LT(peak, 32000) << "no headroom";
        EXPECT_GT(10.0 * std::log10(sum / double(pcm.size()) / (32768.0 * 32768.0)), -30.0) << "too quiet";
        EXPECT_LT(tail, 40) << "not faded out";
    }
    const std::vector<double> envelope = lowEnvelope(pcm);
    buildCueLists();
    std::vector<int> beats;
    for (std::int32_t cue : gridCues.entries)
        if (cue != -1 && (beats.empty() || cue > beats.back())) beats.push_back(cue);
    ASSERT_EQ(beats.size(), 324u);
    double worst = 0.0;
    for (std::size_t i = 0; i < beats.size(); ++i) {
        const int cue = beats[i], previous = i > 0 ? beats[i - 1] : cue - 1000;
        const auto [ms, peak, base] = onsetNear(envelope, previous, cue, i + 1 < beats.size() ? beats[i + 1] : cue + 1000);
        EXPECT_GT(peak, 0.05) << "no kick at " << cue << " ms";
        EXPECT_LT(base, 0.6 * peak) << "no clear rise at " << cue << " ms";
        EXPECT_NEAR(ms, cue, 5.0) << "kick onset for the cue at " << cue << " ms";
        worst = std::max(worst, std::fabs(ms - cue));
    }
    std::printf("kick onsets: %zu cues, worst error %.2f ms\n", beats.size(), worst);
}

// Runs a tool with its output going to `log`; returns its exit code. (No
// argument holds a quote: they are build and scratch paths and pack names.)
int runTool(const std::vector<std::string>& args, const std::string& log = "/dev/null") {
    std::string command;
    for (const std::string& a : args) command += " '" + a + "'";
    const int status = std::system((command + " > '" + log + "' 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A build on a machine without the font, or with nowhere to write, must stop
// with the reason instead of producing a broken pack.
TEST(DataGenerators, FailLoudlyNamingWhatIsMissing) {
    ScratchDir dir;
    const std::string log = dir.path("log"), missingDir = dir.path("absent") + "/main.mp3";
    EXPECT_EQ(runTool({QVO_TITLES_TOOL, dir.path("no-such-font.ttf"), dir.path()}, log), 1);
    std::string message = ScratchDir::read(log);
    EXPECT_NE(message.find("no-such-font.ttf"), std::string::npos) << message;
    EXPECT_NE(message.find("fonts-dejavu-core"), std::string::npos) << message;
    EXPECT_FALSE(ScratchDir::exists(dir.path("quel.raw")));
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
    const std::string files[] = {"quel.raw", "varn.raw", "ossa.raw", "marrowin.mp3", "tidewrangler.mp3"};
    std::vector<std::string> args = {QVO_PACK_TOOL, "create", dir.path("again.dat")};
    for (int i = 0; i < 5; ++i) args.push_back(std::string(names[i]) + "=" + dir.path(files[i]));
    ASSERT_EQ(runTool(args), 0);
    EXPECT_TRUE(ScratchDir::read(dir.path("again.dat")) == ScratchDir::read(packPath));
}

}  // namespace
