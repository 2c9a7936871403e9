// The audio stand-in: decoding, the DSP hook, activity, both outputs, and
// the ways it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/bass.h"
#include "platform/bassoutput.h"
#include "tests/support/mp3clip.h"

namespace {

using Clock = std::chrono::steady_clock;

// Everything the DSP hook was shown, in order.
struct Capture {
    std::vector<std::int16_t> samples;
    std::vector<BASS_DWORD> lengths;
    BASS_DWORD channel = 0;
    bool channelMismatch = false;
};

// The user value is 32 bits wide, too narrow for a pointer: it indexes this.
Capture* captures[4];

void recordBlock(HDSP, BASS_DWORD channel, void* buffer, BASS_DWORD length, BASS_DWORD user) {
    Capture* c = captures[user];
    if (channel != c->channel) c->channelMismatch = true;
    const auto* s = static_cast<const std::int16_t*>(buffer);
    c->samples.insert(c->samples.end(), s, s + length / 2);
    c->lengths.push_back(length);
}

// Replaces every sample with a running count (never 0), so the output shows
// whether blocks arrive whole and in order.
std::int16_t counter = 0;
void writeCounter(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    auto* s = static_cast<std::int16_t*>(buffer);
    for (BASS_DWORD i = 0; i < length / 2; ++i) {
        counter = std::int16_t(counter % 30000 + 1);
        s[i] = counter;
    }
}

void negate(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    auto* s = static_cast<std::int16_t*>(buffer);
    for (BASS_DWORD i = 0; i < length / 2; ++i) s[i] = std::int16_t(-s[i]);
}

BASS_DWORD userOf(Capture& c) {
    for (BASS_DWORD i = 0; i < 4; ++i) {
        if (captures[i] == &c) return i;
        if (!captures[i]) {
            captures[i] = &c;
            return i;
        }
    }
    std::abort();
}

// Waits for the stream to end; false if it has not within `limit`.
bool waitForEnd(HSTREAM h, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (BASS_ChannelIsActive(h) != 0) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

double rms(const std::vector<std::int16_t>& v) {
    double sum = 0.0;
    for (auto s : v) sum += double(s) * s;
    return std::sqrt(sum / double(v.size()));
}

double rmsDifference(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b, std::size_t shift) {
    double sum = 0.0;
    std::size_t n = 0;
    for (std::size_t i = 0; i + shift < a.size() && i < b.size(); ++i, ++n) {
        const double d = double(a[i + shift]) - b[i];
        sum += d * d;
    }
    return std::sqrt(sum / double(n));
}

class BassTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // 2.5 s and a bit: not a whole number of MP3 frames or mixing blocks.
        original = new std::vector<std::int16_t>(testSignal(frames));
        mp3 = new std::vector<unsigned char>(encodeMp3(*original));
    }
    static void TearDownTestSuite() {
        delete original;
        delete mp3;
    }
    void SetUp() override {
        if (mp3->empty()) GTEST_SKIP() << lameUnavailableReason();
        setenv("SDL_AUDIODRIVER", "dummy", 0);  // never a real sound card
    }
    void TearDown() override {
        BASS_Free();
        std::fill(std::begin(captures), std::end(captures), nullptr);
        bass::useOfflineOutput(false);
        bass::setCallFilter(nullptr);
        bass::setDeviceClock(nullptr);
    }

    HSTREAM createStream() {
        return BASS_StreamCreateFile(1, mp3->data(), 0, BASS_DWORD(mp3->size()), 0);
    }

    static constexpr int frames = 44100 * 5 / 2 + 777;
    static std::vector<std::int16_t>* original;
    static std::vector<unsigned char>* mp3;
};

std::vector<std::int16_t>* BassTest::original = nullptr;
std::vector<unsigned char>* BassTest::mp3 = nullptr;

TEST_F(BassTest, OfflinePlaybackShowsEverySampleToTheHookInOrderThenEnds) {
    bass::useOfflineOutput(true);
    ASSERT_NE(BASS_Init(-1, 44100, 16, nullptr), 0) << bass::lastError();
    const HSTREAM h = createStream();
    ASSERT_NE(h, 0u) << bass::lastError();
    Capture capture;
    capture.channel = h;
    ASSERT_NE(BASS_ChannelSetDSP(h, recordBlock, userOf(capture)), 0u);
    BASS_Start();
    EXPECT_EQ(BASS_ChannelIsActive(h), 0u) << "active before it was played";
    ASSERT_NE(BASS_StreamPlay(h, 0, 0), 0);
    ASSERT_TRUE(waitForEnd(h, std::chrono::seconds(30)));

    // Gapless: exactly the encoded samples, no encoder delay, no padding.
    EXPECT_EQ(capture.samples.size(), std::size_t(frames) * 2);
    std::size_t total = 0;
    for (auto n : capture.lengths) {
        EXPECT_EQ(n % 4, 0u);
        total += n;
    }
    EXPECT_EQ(total, std::size_t(frames) * 4);
    EXPECT_EQ(bass::decodedBytes(h), std::uint64_t(frames) * 4);
    EXPECT_FALSE(capture.channelMismatch);

    // The same samples as an independent decode, in the same order, and
    // aligned with what was encoded (a leftover encoder delay would show as
    // an error as large as the signal itself).
    EXPECT_EQ(capture.samples, decodeMp3(*mp3));
    EXPECT_LT(rmsDifference(capture.samples, *original, 0), 0.1 * rms(*original));
}

TEST_F(BassTest, StreamPlayStartsOverFromTheBeginning) {
    bass::useOfflineOutput(true);
    ASSERT_NE(BASS_Init(-1, 44100, 16, nullptr), 0);
    const HSTREAM h = createStream();
    Capture first, second;
    first.channel = second.channel = h;
    BASS_ChannelSetDSP(h, recordBlock, userOf(first));
    BASS_Start();
    BASS_StreamPlay(h, 0, 0);
    ASSERT_TRUE(waitForEnd(h, std::chrono::seconds(30)));

    // A second hook sees only the second run, which must equal the first.
    BASS_ChannelSetDSP(h, recordBlock, userOf(second));
    ASSERT_NE(BASS_StreamPlay(h, 0, 0), 0);
    ASSERT_TRUE(waitForEnd(h, std::chrono::seconds(30)));
    EXPECT_EQ(second.samples, std::vector<std::int16_t>(first.samples.begin() + std::ptrdiff_t(frames) * 2,
                                                        first.samples.end()));
    EXPECT_EQ(second.samples.size(), std::size_t(frames) * 2);
}

TEST_F(BassTest, OfflineOutputIsFarFasterThanRealTime) {
    // 20 s of music; the offline output must not pace it like a device.
    const auto pcm = testSignal(44100 * 20);
    const auto clip = encodeMp3(pcm);
    ASSERT_FALSE(clip.empty());
    bass::useOfflineOutput(true);
    ASSERT_NE(BASS_Init(-1, 44100, 16, nullptr), 0);
    const HSTREAM h = BASS_StreamCreateFile(1, clip.data(), 0, BASS_DWORD(clip.size()), 0);
    ASSERT_NE(h, 0u);
    Capture capture;
    capture.channel = h;
    BASS_ChannelSetDSP(h, recordBlock, userOf(capture));
    BASS_Start();
    const auto start = Clock::now();
    BASS_StreamPlay(h, 0, 0);
    ASSERT_TRUE(waitForEnd(h, std::chrono::seconds(10))) << "20 s of music took more than 10 s";
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(capture.samples.size(), pcm.size());
    std::printf("offline playback of 20 s: %.3f s (%.0fx real time)\n", seconds, 20.0 / seconds);
}

// The real device path, through SDL's disk driver: what the DSP procedures
// leave in a block is what the device plays.
TEST_F(BassTest, DeviceOutputPlaysWhatTheDspProceduresLeaveInOrder) {
    char path[] = "/tmp/qvo-bass-diskXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path, 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    const BASS_BOOL ok = BASS_Init(-1, 44100, 16, nullptr);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_NE(ok, 0) << bass::lastError();
    EXPECT_NEAR(bass::outputBufferSeconds(), 1024.0 / 44100.0, 1e-9);
    const HSTREAM h = createStream();
    counter = 0;
    BASS_ChannelSetDSP(h, writeCounter, 0);
    BASS_ChannelSetDSP(h, negate, 0);  // runs second: sees the counter
    BASS_Start();
    BASS_StreamPlay(h, 0, 0);
    ASSERT_TRUE(waitForEnd(h, std::chrono::seconds(30)));
    BASS_Free();

    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path);
    const auto* s = reinterpret_cast<const std::int16_t*>(bytes.data());
    const std::size_t n = bytes.size() / 2;
    std::size_t first = 0;
    while (first < n && s[first] == 0) ++first;  // silence before the stream played
    ASSERT_GE(n - first, std::size_t(frames) * 2);
    std::int16_t expect = 0;
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < std::size_t(frames) * 2; ++i) {
        expect = std::int16_t(expect % 30000 + 1);
        if (s[first + i] != -expect) ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
    // After the stream's last sample the device plays silence.
    for (std::size_t i = first + std::size_t(frames) * 2; i < n; ++i) ASSERT_EQ(s[i], 0) << "at sample " << i;
}

TEST_F(BassTest, DeviceStopHoldsPlayback) {
    ASSERT_NE(BASS_Init(-1, 44100, 16, nullptr), 0) << bass::lastError();  // the dummy driver
    const HSTREAM h = createStream();
    BASS_Start();
    BASS_StreamPlay(h, 0, 0);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (bass::decodedBytes(h) == 0 && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GT(bass::decodedBytes(h), 0u) << "the device never asked for sound";
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    BASS_Stop();
    const auto held = bass::decodedBytes(h);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(bass::decodedBytes(h), held);
    EXPECT_NE(BASS_ChannelIsActive(h), 0u) << "a paused stream has not ended";
    // Started again, it goes on where it stopped rather than jumping the pause.
    BASS_Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_LT(bass::decodedBytes(h) - held, 176400u * 4 / 10);
    BASS_StreamFree(h);
    EXPECT_EQ(BASS_ChannelIsActive(h), 0u);
}

// The device's clock as the stand-in sees it: the steady clock plus a shift
// the test moves, standing for a device that lost or gained time.
std::atomic<std::int64_t> clockShiftNs{0};
std::int64_t shiftedClock() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count() +
           clockShiftNs.load();
}

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

TEST_F(BassTest, DeviceStreamIsKeptOnTheWallClockUnlessHooked) {
    const auto pcm = testSignal(44100 * 4);
    const auto clip = encodeMp3(pcm);
    clockShiftNs = 0;
    bass::setDeviceClock(shiftedClock);
    ASSERT_NE(BASS_Init(-1, 44100, 16, nullptr), 0) << bass::lastError();  // the dummy driver
    const HSTREAM plain = BASS_StreamCreateFile(1, clip.data(), 0, BASS_DWORD(clip.size()), 0);
    const HSTREAM hooked = BASS_StreamCreateFile(1, clip.data(), 0, BASS_DWORD(clip.size()), 0);
    Capture capture;
    capture.channel = hooked;
    BASS_ChannelSetDSP(hooked, recordBlock, userOf(capture));
    BASS_Start();
    BASS_StreamPlay(plain, 0, 0);
    BASS_StreamPlay(hooked, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));  // past the learning half second

    // The device falls 0.5 s behind: the plain stream jumps ahead by as much.
    auto before = double(bass::decodedBytes(plain)) / 176400.0;
    auto t = Clock::now();
    clockShiftNs += 500'000'000;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    double gained = double(bass::decodedBytes(plain)) / 176400.0 - before - secondsSince(t);
    EXPECT_NEAR(gained, 0.5, 0.07);

    // It runs 0.3 s ahead: the plain stream waits that long.
    before = double(bass::decodedBytes(plain)) / 176400.0;
    t = Clock::now();
    clockShiftNs -= 300'000'000;
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    gained = double(bass::decodedBytes(plain)) / 176400.0 - before - secondsSince(t);
    EXPECT_NEAR(gained, -0.3, 0.07);

    // The hooked stream was never moved: its hook saw an unbroken decode.
    BASS_Stop();
    const auto reference = decodeMp3(clip);
    ASSERT_GT(capture.samples.size(), 44100u * 2);
    ASSERT_LE(capture.samples.size(), reference.size());
    EXPECT_TRUE(std::equal(capture.samples.begin(), capture.samples.end(), reference.begin()));
    bass::setDeviceClock(nullptr);
}

std::atomic<std::int64_t> frozenNs{0};
std::int64_t frozenClock() { return frozenNs.load(); }

TEST_F(BassTest, DeviceStreamStartsAsFarInAsTheClockIs) {
    bass::setDeviceClock(frozenClock);
    ASSERT_NE(BASS_Init(-1, 44100, 16, nullptr), 0) << bass::lastError();  // output not started
    ASSERT_EQ(bass::outputBufferSeconds(), 1024.0 / 44100.0);
    const HSTREAM h = createStream();
    frozenNs = 1'000'000'000;
    BASS_StreamPlay(h, 0, 0);
    frozenNs += 10'000'000;  // the first callback comes 10 ms (441 frames) later
    BASS_Start();
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (bass::decodedBytes(h) == 0 && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    BASS_Stop();
    // Skipped: the 441 frames already past (the dummy output has no latency
    // to make up for); then whole blocks (the frozen clock never asks for more).
    EXPECT_EQ(bass::outputLatencySeconds(), 0.0);
    const auto frames = bass::decodedBytes(h) / 4;
    EXPECT_GE(frames, 441u + 1024u);
    EXPECT_EQ(frames % 1024, 441u);
}

TEST_F(BassTest, NoDeviceMeansInitFailsWithoutFallingBackToAFakeOne) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(BASS_Init(-1, 44100, 16, nullptr), 0);
    EXPECT_NE(std::string(bass::lastError()), "");
    EXPECT_EQ(BASS_StreamCreateFile(1, mp3->data(), 0, BASS_DWORD(mp3->size()), 0), 0u) << "not initialised";

    // ALSA with no sound card initialises but opens no device.
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    const BASS_BOOL alsa = BASS_Init(-1, 44100, 16, nullptr);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (alsa != 0) {
        std::printf("(this machine has an ALSA device; that case is not checked)\n");
        BASS_Free();
    }

    // A failed attempt leaves nothing behind: the next one works.
    EXPECT_NE(BASS_Init(-1, 44100, 16, nullptr), 0) << bass::lastError();
    EXPECT_EQ(BASS_Init(-1, 44100, 16, nullptr), 0) << "initialised twice";
}

TEST_F(BassTest, StreamCreationRefusesWhatIsNotMp3) {
    ASSERT_NE(BASS_Init(-1, 44100, 16, nullptr), 0);
    // A clip missing from the pack arrives as a null pointer and size -1.
    EXPECT_EQ(BASS_StreamCreateFile(1, nullptr, 0, BASS_DWORD(-1), 0), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(1, mp3->data(), 0, 0, 0), 0u);
    const std::string text(5000, 'x');
    EXPECT_EQ(BASS_StreamCreateFile(1, text.data(), 0, BASS_DWORD(text.size()), 0), 0u);
    std::vector<unsigned char> noise(20000);
    std::uint32_t x = 12345;
    for (auto& b : noise) b = (x = x * 1664525u + 1013904223u) >> 24;
    EXPECT_EQ(BASS_StreamCreateFile(1, noise.data(), 0, BASS_DWORD(noise.size()), 0), 0u);
    // Only the first 300 bytes of a real clip: headers but no sound.
    EXPECT_EQ(BASS_StreamCreateFile(1, mp3->data(), 0, 300, 0), 0u);
    EXPECT_EQ(BASS_StreamPlay(12345, 0, 0), 0);
    EXPECT_EQ(BASS_ChannelSetDSP(12345, recordBlock, 0), 0u);
    // The real clip still works afterwards.
    EXPECT_NE(createStream(), 0u) << bass::lastError();
}

TEST_F(BassTest, CallFilterFailsChosenCallsAndSeesAllInOrder) {
    std::vector<bass::Call> seen;
    bass::setCallFilter([&](bass::Call c) {
        seen.push_back(c);
        return c != bass::Call::StreamPlay;
    });
    bass::useOfflineOutput(true);
    ASSERT_NE(BASS_Init(-1, 44100, 16, nullptr), 0);
    const HSTREAM h = createStream();
    ASSERT_NE(h, 0u);
    BASS_Start();
    EXPECT_EQ(BASS_StreamPlay(h, 0, 0), 0);
    EXPECT_EQ(BASS_ChannelIsActive(h), 0u);
    using C = bass::Call;
    EXPECT_EQ(seen, (std::vector<C>{C::Init, C::StreamCreateFile, C::Start, C::StreamPlay, C::ChannelIsActive}));

    bass::setCallFilter([](bass::Call c) { return c != bass::Call::StreamCreateFile; });
    EXPECT_EQ(createStream(), 0u);
    BASS_Free();
    bass::setCallFilter([](bass::Call c) { return c != bass::Call::Init; });
    EXPECT_EQ(BASS_Init(-1, 44100, 16, nullptr), 0);
}

}  // namespace
