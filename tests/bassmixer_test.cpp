// The shared mixer through its seam: a decoder of known samples and a device
// whose blocks the test pulls itself.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/bassoutput.h"
#include "platform/mixer/bassmixer.h"

namespace {

constexpr int blockBytes = bass::blockFrames * 4;

// Sample i of a stream is first + i (wrapping), on both channels.
class RampDecoder : public bass::Decoder {
public:
    RampDecoder(int frames, int first) : frames(frames), first(first) {}
    int read(unsigned char* to, int bytes) override {
        const int n = std::min(bytes / 4, frames - position);
        auto* out = reinterpret_cast<std::int16_t*>(to);
        for (int i = 0; i < n; ++i) out[2 * i] = out[2 * i + 1] = std::int16_t(first + position + i);
        position += n;
        return n * 4;
    }
    bool rewind(std::string* why) override {
        if (failRewind) *why = "tape jammed";
        else position = 0;
        return !failRewind;
    }
    bool skip(std::int64_t n) override {
        position = int(std::min<std::int64_t>(frames, position + n));
        return true;
    }
    int frames, first, position = 0;
    bool failRewind = false;
};

class FakeDevice : public bass::Device {
public:
    FakeDevice(bass::Mixer& mixer, bool clocked, bool mixesOnPlay)
        : mixer(mixer), clocked(clocked), mixesOnPlay(mixesOnPlay) {}
    int blockBytes() const override { return ::blockBytes; }
    double bufferSeconds() const override { return 0.5; }
    std::int64_t latencyFrames() const override { return latency; }
    bool followsWallClock() const override { return clocked; }
    void start() override { ++starts; }
    void pause() override {}
    void close() override {}
    // As the page's output does: mixes the first block before play returns.
    void streamPlayed() override {
        ++plays;
        if (!mixesOnPlay) return;
        firstBlock.assign(::blockBytes, 0);
        stillPlaying = mixer.mixDeviceBlock(firstBlock.data(), ::blockBytes);
    }
    bass::Mixer& mixer;
    bool clocked, mixesOnPlay;
    std::int64_t latency = 0;
    int starts = 0, plays = 0;
    std::vector<unsigned char> firstBlock;
    bool stillPlaying = false;
};

class FakeBackend : public bass::Backend {
public:
    std::unique_ptr<bass::Decoder> openDecoder(const void* data, std::size_t size, int, std::string* why) override {
        if (size < 2) {
            *why = "too short";
            return nullptr;
        }
        const auto* ramp = static_cast<const int*>(data);  // {frames, first}
        auto decoder = std::make_unique<RampDecoder>(ramp[0], ramp[1]);
        lastDecoder = decoder.get();
        return decoder;
    }
    std::unique_ptr<bass::Device> openDevice(bass::Mixer& mixer, int, std::string* why) override {
        if (refuseDevice) {
            *why = "no sound card";
            return nullptr;
        }
        auto device = std::make_unique<FakeDevice>(mixer, clocked, mixesOnPlay);
        device->latency = latency;
        lastDevice = device.get();
        return device;
    }
    bool runsOffline() const override { return offlineToo; }
    // The decoder is pulled in the callback here, so that what a block
    // holds never depends on a thread's timing (the ring has its own tests).
    double decodeAheadSeconds() const override { return 0.0; }
    bool clocked = false, refuseDevice = false, mixesOnPlay = false, offlineToo = true;
    std::int64_t latency = 0;
    RampDecoder* lastDecoder = nullptr;
    FakeDevice* lastDevice = nullptr;
};

// Every piece a DSP procedure was shown, in order.
struct Shown {
    std::mutex lock;
    std::vector<std::int16_t> left;
    std::vector<BASS_DWORD> lengths;
} shown;

void record(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    std::lock_guard<std::mutex> hold(shown.lock);
    const auto* s = static_cast<const std::int16_t*>(buffer);
    for (BASS_DWORD i = 0; i < length / 4; ++i) shown.left.push_back(s[2 * i]);
    shown.lengths.push_back(length);
}

void expectRamp(const std::vector<std::int16_t>& samples, int frames, int first) {
    ASSERT_EQ(samples.size(), std::size_t(frames));
    for (int i = 0; i < frames; ++i) ASSERT_EQ(samples[std::size_t(i)], std::int16_t(first + i)) << "frame " << i;
}

// The device clock, in nanoseconds, set by the test alone.
std::int64_t clockNow = 0;
std::int64_t testClock() { return clockNow; }
constexpr double blockNs = 1e9 * bass::blockFrames / 44100;

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override {
        bass::useOfflineOutput(false);
        std::lock_guard<std::mutex> hold(shown.lock);
        shown.left.clear();
        shown.lengths.clear();
    }
    void TearDown() override { bass::useOfflineOutput(false); }

    // One device callback at `ns` for a stream made by rampFromOne: the
    // clip frame its sound begins with (-1: none) and the silent frames
    // before it.
    std::pair<int, int> callbackAt(double ns) {
        clockNow = std::int64_t(ns);
        std::vector<unsigned char> block(blockBytes);
        mixer.mixDeviceBlock(block.data(), blockBytes);
        const auto* s = reinterpret_cast<const std::int16_t*>(block.data());
        int silent = 0;
        while (silent < bass::blockFrames && s[2 * silent] == 0) ++silent;
        return {silent == bass::blockFrames ? -1 : s[2 * silent] - 1, silent};
    }
    HSTREAM rampFromOne() { return stream(30000, 1); }  // frame i sounds as i + 1
    // The heard position against the time since play, in milliseconds.
    double heardMinusClockMs(HSTREAM h, double ns, double playNs) {
        clockNow = std::int64_t(ns);
        return mixer.heardSeconds(h) * 1000 - (ns - playNs) / 1e6;
    }

    HSTREAM stream(int frames, int first) {
        const int ramp[2] = {frames, first};
        rampImages.emplace_back(ramp, ramp + 2);
        std::string why;
        return mixer.createStream(rampImages.back().data(), 2, &why);
    }
    std::vector<std::int16_t> pullLeft(int blocks) {
        std::vector<std::int16_t> left;
        std::vector<unsigned char> block(blockBytes);
        for (int b = 0; b < blocks; ++b) {
            mixer.mixDeviceBlock(block.data(), blockBytes);
            const auto* s = reinterpret_cast<const std::int16_t*>(block.data());
            for (int i = 0; i < bass::blockFrames; ++i) left.push_back(s[2 * i]);
        }
        return left;
    }

    FakeBackend backend;
    bass::Mixer mixer{backend};
    std::vector<std::vector<int>> rampImages;
};

TEST_F(MixerTest, SumsStreamsSaturatedAndEndsOnlyAfterTheLastBlockPassedTheHooks) {
    std::string why;
    ASSERT_TRUE(mixer.init(-1, 44100, &why)) << why;
    const int frames = 2 * bass::blockFrames + 100;
    const HSTREAM hooked = stream(frames, 0), loud = stream(frames, 30000);
    ASSERT_NE(mixer.setDsp(hooked, record, 0), 0u);
    mixer.start();
    ASSERT_TRUE(mixer.play(hooked, &why) && mixer.play(loud, &why)) << why;

    const auto left = pullLeft(2);
    EXPECT_TRUE(mixer.isActive(hooked)) << "100 frames are still to come";
    EXPECT_EQ(mixer.decodedBytes(hooked), std::uint64_t(2 * blockBytes));
    const auto tail = pullLeft(1);
    EXPECT_FALSE(mixer.isActive(hooked));
    EXPECT_FALSE(mixer.isActive(loud));
    EXPECT_EQ(mixer.decodedBytes(hooked), std::uint64_t(frames) * 4);

    // Unclocked devices hand the hooks whole blocks.
    expectRamp(shown.left, frames, 0);
    EXPECT_EQ(shown.lengths, (std::vector<BASS_DWORD>{blockBytes, blockBytes, 400}));
    for (int i = 0; i < 2 * bass::blockFrames; ++i) ASSERT_EQ(left[std::size_t(i)], std::min(30000 + 2 * i, 32767));
    EXPECT_EQ(tail[99], 32767);
    EXPECT_EQ(tail[100], 0) << "silence after both ended";
    mixer.freeAll();
}

TEST_F(MixerTest, AClockedDeviceShowsHooksSmallPiecesYetPlaysEverySample) {
    backend.clocked = true;
    std::string why;
    ASSERT_TRUE(mixer.init(-1, 44100, &why)) << why;
    const int frames = 3 * bass::blockFrames + 7;
    const HSTREAM h = stream(frames, -5000);
    mixer.setDsp(h, record, 0);
    mixer.start();
    ASSERT_TRUE(mixer.play(h, &why));
    std::vector<std::int16_t> heard;
    for (int b = 0; b < 4; ++b) {
        const auto left = pullLeft(1);
        heard.insert(heard.end(), left.begin(), left.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // lets the pacer run ahead
    }
    EXPECT_FALSE(mixer.isActive(h));
    // The hooks run under the mixer's lock and take shown.lock: the mixer
    // is closed before shown.lock is taken, never while it is held.
    mixer.freeAll();
    heard.resize(std::size_t(frames));
    expectRamp(heard, frames, -5000);
    std::lock_guard<std::mutex> hold(shown.lock);
    expectRamp(shown.left, frames, -5000);
    for (BASS_DWORD length : shown.lengths) EXPECT_LE(length, BASS_DWORD(bass::captureFrames * 4));
}

TEST_F(MixerTest, ADeviceThatMixesAtPlayGetsSampleZeroFirstAndHearsWhenNothingPlays) {
    backend.mixesOnPlay = true;
    std::string why;
    ASSERT_TRUE(mixer.init(-1, 44100, &why)) << why;
    const int frames = bass::blockFrames + 10;
    const HSTREAM h = stream(frames, 7);
    ASSERT_NE(mixer.setDsp(h, record, 0), 0u);
    FakeDevice& device = *backend.lastDevice;
    std::vector<unsigned char> block(blockBytes);
    for (int run = 1; run <= 2; ++run) {
        ASSERT_TRUE(mixer.play(h, &why)) << why;
        EXPECT_EQ(device.plays, run);
        ASSERT_TRUE(device.stillPlaying);
        EXPECT_EQ(reinterpret_cast<const std::int16_t*>(device.firstBlock.data())[0], 7) << "run " << run;
        EXPECT_FALSE(mixer.mixDeviceBlock(block.data(), blockBytes)) << "the last 10 frames, then nothing plays";
        EXPECT_FALSE(mixer.isActive(h));
    }
    std::vector<std::int16_t> secondRun(shown.left.begin() + frames, shown.left.end());
    shown.left.resize(std::size_t(frames));
    expectRamp(shown.left, frames, 7);
    expectRamp(secondRun, frames, 7);
    mixer.freeAll();
}

TEST_F(MixerTest, OfflineOutputRunsEveryBlockThroughTheHooksOnItsOwn) {
    bass::useOfflineOutput(true);
    std::string why;
    ASSERT_TRUE(mixer.init(-1, 0, &why)) << why;
    EXPECT_EQ(backend.lastDevice, nullptr);
    EXPECT_EQ(mixer.bufferSeconds(), 0.0);
    const int frames = 5 * bass::blockFrames + 3;
    const HSTREAM h = stream(frames, 100);
    mixer.setDsp(h, record, 0);
    ASSERT_TRUE(mixer.play(h, &why));
    mixer.start();
    for (int ms = 0; ms < 30000 && mixer.isActive(h); ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_FALSE(mixer.isActive(h));
    mixer.freeAll();
    std::lock_guard<std::mutex> hold(shown.lock);
    expectRamp(shown.left, frames, 100);
}

TEST_F(MixerTest, FailuresSayWhyAndLeaveTheMixerUsable) {
    std::string why;
    backend.refuseDevice = true;
    EXPECT_FALSE(mixer.init(-1, 44100, &why));
    EXPECT_EQ(why, "no sound card");
    EXPECT_FALSE(mixer.init(-1, 200000, &why));
    EXPECT_EQ(why, "BASS_Init: unsupported rate 200000");
    EXPECT_FALSE(mixer.init(3, 44100, &why));
    EXPECT_EQ(why, "BASS_Init: no such device 3");
    backend.offlineToo = false;
    bass::useOfflineOutput(true);
    EXPECT_FALSE(mixer.init(-1, 44100, &why));
    EXPECT_EQ(why, "BASS_Init: sound plays only in real time here (no offline output)");
    bass::useOfflineOutput(false);

    backend.refuseDevice = false;
    ASSERT_TRUE(mixer.init(-1, 44100, &why));
    EXPECT_EQ(backend.lastDevice->starts, 0) << "opened paused";
    EXPECT_FALSE(mixer.init(-1, 44100, &why));
    EXPECT_EQ(why, "BASS_Init: already initialised");
    EXPECT_EQ(mixer.createStream("x", 1, &why), 0u);
    EXPECT_EQ(why, "BASS_StreamCreateFile: too short");

    const HSTREAM h = stream(10, 0);
    ASSERT_NE(h, 0u);
    backend.lastDecoder->failRewind = true;
    EXPECT_FALSE(mixer.play(h, &why));
    EXPECT_EQ(why, "BASS_StreamPlay: cannot rewind (tape jammed)");
    EXPECT_EQ(mixer.setDsp(h, nullptr, 0), 0u);
    mixer.freeStream(h);
    EXPECT_FALSE(mixer.play(h, &why));
    EXPECT_EQ(why, "BASS_StreamPlay: no such stream");
    EXPECT_EQ(mixer.setDsp(h, record, 0), 0u);
    mixer.freeAll();
    EXPECT_FALSE(mixer.initialised());
    ASSERT_TRUE(mixer.init(-1, 44100, &why)) << "again after freeAll";
    mixer.freeAll();
}

}  // namespace

// A device that reports real latency, on a clock the test sets: the block
// mixed at a callback is heard `latency` later, so the stream's first block
// starts that much further in, and the position heard between callbacks
// follows the clock.
TEST_F(MixerTest, TheDevicesLatencyIsMadeUpAtTheStartAndWhatIsHeardKeepsToTheClock) {
    backend.clocked = true;
    backend.latency = 2048;
    mixer.setClock(testClock);
    std::string why;
    ASSERT_TRUE(mixer.init(-1, 44100, &why)) << why;
    const HSTREAM h = rampFromOne();
    mixer.start();
    const double play = 1e9;
    clockNow = std::int64_t(play);
    ASSERT_TRUE(mixer.play(h, &why)) << why;
    // 10 ms (441 frames) after play, plus the 2048 frames in the device.
    EXPECT_EQ(callbackAt(play + 10e6), std::make_pair(441 + 2048, 0));
    EXPECT_NEAR(heardMinusClockMs(h, play + 10e6, play), 0.0, 0.05);
    for (int k = 1; k <= 20; ++k) {
        const double at = play + 10e6 + k * blockNs;
        ASSERT_EQ(callbackAt(at), std::make_pair(441 + 2048 + k * bass::blockFrames, 0)) << "callback " << k;
        for (double part : {0.0, 0.3, 0.9}) EXPECT_NEAR(heardMinusClockMs(h, at + part * blockNs, play), 0.0, 0.05);
    }
    // Played again, and the first callback comes 100 ms (4410 frames) late.
    const double again = 3e9;
    clockNow = std::int64_t(again);
    ASSERT_TRUE(mixer.play(h, &why)) << why;
    EXPECT_EQ(callbackAt(again + 100e6), std::make_pair(4410 + 2048, 0));
    EXPECT_NEAR(heardMinusClockMs(h, again + 100e6, again), 0.0, 0.05);
    mixer.setClock(nullptr);
    mixer.freeAll();
}

// A device slower or faster than the clock is put right by the exact offset,
// never by whole blocks, and what is heard stays within a few milliseconds;
// a single late callback moves nothing.
TEST_F(MixerTest, ADriftingDeviceIsKeptWithinMillisecondsAndOneLateCallbackMovesNothing) {
    backend.clocked = true;
    mixer.setClock(testClock);
    std::string why;
    ASSERT_TRUE(mixer.init(-1, 44100, &why)) << why;
    const HSTREAM h = rampFromOne();
    mixer.start();
    for (double pace : {1.02, 0.98}) {  // callbacks 2 % late or early
        SCOPED_TRACE(pace);
        const double play = 5e9;
        clockNow = std::int64_t(play);
        ASSERT_TRUE(mixer.play(h, &why)) << why;
        int expected = 0, moved = 0, silence = 0;
        double worst = 0;
        for (int k = 0; k < 25; ++k) {
            const double at = play + k * pace * blockNs;
            const auto [first, silent] = callbackAt(at);
            if (first != expected) ++moved;
            silence += silent;
            EXPECT_LT(silent, bass::blockFrames) << "held back by a whole block";
            expected = first + bass::blockFrames - silent;
            for (double part : {0.0, 0.5, 0.99})
                worst = std::max(worst, std::abs(heardMinusClockMs(h, at + part * pace * blockNs, play)));
        }
        EXPECT_LE(worst, 3.0) << "milliseconds off the clock at worst";
        EXPECT_GT(moved + (silence > 0), 0) << "a 2 % drift must be corrected";
        if (pace > 1) {
            EXPECT_EQ(silence, 0) << "a slow device is caught up by skipping";
        }
    }
    // On time but for one callback 4 ms late: the blocks follow each other.
    const double play = 20e9;
    clockNow = std::int64_t(play);
    ASSERT_TRUE(mixer.play(h, &why)) << why;
    for (int k = 0; k < 10; ++k)
        ASSERT_EQ(callbackAt(play + k * blockNs + (k == 5 ? 4e6 : 0)), std::make_pair(k * bass::blockFrames, 0))
            << "callback " << k;
    mixer.setClock(nullptr);
    mixer.freeAll();
}
