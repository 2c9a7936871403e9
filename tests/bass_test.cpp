// The audio stand-in: decoding, the DSP hook, activity, both outputs, the
// device clock, and the ways it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/bass.h"
#include "platform/bassoutput.h"
#include "tests/support/mp3clip.h"
#include "tests/support/scratchdir.h"

namespace {

constexpr std::uint64_t blockBytes = bass::blockFrames * 4;

// What the recording hook saw, in order, and at the start of each mixing
// block (a device hands the hook pieces of one) how far the stream `plain`
// (one without DSP procedures) had got.
struct Seen {
    HSTREAM plain = 0;
    std::vector<std::int16_t> samples;
    std::vector<std::uint64_t> plainAt;
} seen;
std::atomic<std::size_t> seenBlocks{0};

void recordBlock(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    const auto* s = static_cast<const std::int16_t*>(buffer);
    const bool blockStarts = seen.samples.size() % (bass::blockFrames * 2) == 0;
    seen.samples.insert(seen.samples.end(), s, s + length / 2);
    if (!blockStarts) return;
    seen.plainAt.push_back(bass::decodedBytes(seen.plain));
    ++seenBlocks;
}

void negate(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    auto* s = static_cast<std::int16_t*>(buffer);
    for (BASS_DWORD i = 0; i < length / 2; ++i) s[i] = std::int16_t(-s[i]);
}

// The device's clock as the stand-in reads it, once per mixing callback and
// at BASS_StreamPlay: every reading moves it on by `clockStep`, so its time
// is counted in callbacks and the machine's load cannot change it.
std::atomic<std::int64_t> clockNs{0}, clockStep{0};
std::int64_t steppedClock() { return clockNs.fetch_add(clockStep); }
constexpr double blockNs = 1e9 * bass::blockFrames / 44100;

// Polls for at least 30 s: far longer than any of these waits takes.
bool waitUntil(const std::function<bool()>& done) {
    for (int ms = 0; ms < 30000 && !done(); ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

class BassTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (mp3.empty()) GTEST_SKIP() << lameUnavailableReason();
        seen = Seen{};
        seenBlocks = 0;
        clockNs = clockStep = 0;
        bass::setDeviceClock(steppedClock);
    }
    void TearDown() override {
        BASS_Free();
        bass::setDeviceClock(nullptr);
    }

    // "offline", or an SDL driver: "disk" (as fast as it goes, into `file`),
    // "dummy" (real-time pace), or one that fails.
    static BASS_BOOL init(const std::string& output, const std::string& file = "/dev/null") {
        bass::useOfflineOutput(output == "offline");
        setenv("SDL_AUDIODRIVER", output.c_str(), 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "0", 1);
        return BASS_Init(-1, 44100, 16, nullptr);
    }
    static HSTREAM stream(const std::vector<unsigned char>& clip) {
        return BASS_StreamCreateFile(1, clip.data(), 0, BASS_DWORD(clip.size()), 0);
    }
    static HSTREAM hookedStream(const std::vector<unsigned char>& clip) {
        const HSTREAM h = stream(clip);
        EXPECT_NE(BASS_ChannelSetDSP(h, recordBlock, 0), 0u);
        return h;
    }
    // A plain stream, then a hooked one, both played (in that order) from
    // the clip; the output is not started.
    static HSTREAM playPair(const std::vector<unsigned char>& clip) {
        seen.plain = stream(clip);
        const HSTREAM hooked = hookedStream(clip);
        EXPECT_NE(BASS_StreamPlay(seen.plain, 0, 0), 0);
        EXPECT_NE(BASS_StreamPlay(hooked, 0, 0), 0);
        return hooked;
    }

    // 2.5 s and a bit: not a whole number of MP3 frames or mixing blocks.
    static constexpr int frames = 44100 * 5 / 2 + 777;
    static inline const std::vector<std::int16_t> original = testSignal(frames);
    static inline const std::vector<unsigned char> mp3 = encodeMp3(original);
};

TEST_F(BassTest, OfflinePlaybackShowsTheWholeClipToTheHookThenEndsAndPlaysAgainFromTheTop) {
    ASSERT_NE(init("offline"), 0) << bass::lastError();
    const HSTREAM h = hookedStream(mp3);
    BASS_Start();
    for (int run = 0; run < 2; ++run) {
        ASSERT_NE(BASS_StreamPlay(h, 0, 0), 0);
        ASSERT_TRUE(waitUntil([&] { return BASS_ChannelIsActive(h) == 0; }));
    }
    // Gapless: exactly the encoded samples, no encoder delay, no padding;
    // the same as an independent decode, and the second run the same again.
    ASSERT_EQ(seen.samples.size(), std::size_t(frames) * 4);
    const std::vector<std::int16_t> first(seen.samples.begin(), seen.samples.begin() + frames * 2);
    EXPECT_EQ(first, decodeMp3(mp3));
    EXPECT_TRUE(std::equal(first.begin(), first.end(), seen.samples.begin() + frames * 2));
    // Aligned with what was encoded: a leftover encoder delay would show as
    // an error as large as the signal itself.
    double error = 0.0;
    for (std::size_t i = 0; i < first.size(); ++i) error += std::pow(double(first[i]) - original[i], 2.0);
    EXPECT_LT(std::sqrt(error / double(first.size())), 1000.0) << "the signal's own RMS is about 9700";
}

// What the DSP procedures leave in a block is what the device plays.
TEST_F(BassTest, DeviceOutputPlaysWhatTheDspProceduresLeaveInOrder) {
    ScratchDir dir;
    ASSERT_NE(init("disk", dir.path("out.raw")), 0) << bass::lastError();
    const HSTREAM h = stream(mp3);
    BASS_ChannelSetDSP(h, negate, 0);
    BASS_Start();
    BASS_StreamPlay(h, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return BASS_ChannelIsActive(h) == 0; }));
    BASS_Free();
    auto negated = decodeMp3(mp3);
    for (auto& v : negated) v = std::int16_t(-v);
    const std::string bytes = ScratchDir::read(dir.path("out.raw"));
    const auto* samples = reinterpret_cast<const std::int16_t*>(bytes.data());
    const std::vector<std::int16_t> played(samples, samples + bytes.size() / 2);
    const auto at = std::search(played.begin(), played.end(), negated.begin(), negated.end());
    ASSERT_NE(at, played.end()) << "the device never played the processed clip";
    // Silence before the stream played and after its last sample.
    const auto silent = [](std::int16_t v) { return v == 0; };
    EXPECT_TRUE(std::all_of(played.begin(), at, silent) && std::all_of(at + std::ptrdiff_t(negated.size()), played.end(), silent));
}

TEST_F(BassTest, DeviceStreamStartsAsFarInAsTheClockIsAndResumesWhereItStopped) {
    ASSERT_NE(init("dummy"), 0) << bass::lastError();
    clockNs = 1'000'000'000;
    playPair(mp3);
    clockNs += 10'000'000;  // the output starts 10 ms after the play call
    clockStep = std::int64_t(blockNs);  // from then on the device keeps time exactly
    BASS_Start();
    ASSERT_TRUE(waitUntil([] { return seenBlocks >= 10; }));
    BASS_Stop();
    const std::size_t stopped = seenBlocks;
    const auto held = bass::decodedBytes(seen.plain);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(bass::decodedBytes(seen.plain), held);
    EXPECT_NE(BASS_ChannelIsActive(seen.plain), 0u) << "a paused stream has not ended";
    clockNs += 1'000'000'000;  // a second's pause
    const std::int64_t resumed = clockNs;
    BASS_Start();
    ASSERT_TRUE(waitUntil([stopped] { return seenBlocks >= stopped + 10; }));
    BASS_Stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a callback under way ends
    // Played before the output started, the stream starts with the output:
    // skipped at the first callback, the one block of the clock since the
    // start (SDL's dummy output has no latency to make up for), not the
    // 10 ms before it. After the pause: nothing skipped, one block per
    // callback (the clock counts them).
    EXPECT_EQ(seen.plainAt[0], clockStep * 44100 / 1'000'000'000 * 4 + blockBytes);
    EXPECT_EQ(bass::decodedBytes(seen.plain) - held, std::uint64_t((clockNs - resumed) / clockStep) * blockBytes);
}

TEST_F(BassTest, DeviceStreamFollowsTheDeviceClockUnlessHooked) {
    const auto clip = encodeMp3(testSignal(44100 * 6));
    for (double pace : {2.0, 0.5}) {  // the clock runs twice or half as fast as the device plays
        SCOPED_TRACE(pace);
        seen = Seen{};
        clockStep = 0;
        ASSERT_NE(init("disk"), 0) << bass::lastError();
        const HSTREAM hooked = playPair(clip);
        clockStep = std::int64_t(pace * blockNs);
        BASS_Start();
        ASSERT_TRUE(waitUntil([&] { return BASS_ChannelIsActive(hooked) == 0; }));
        BASS_Free();
        // Past the first half second of the clock (the device's lead is
        // learned then), the plain stream keeps to the clock by skipping or
        // holding back; the hooked one is never moved.
        ASSERT_GT(seen.plainAt.size(), 90u);
        EXPECT_NEAR(double(seen.plainAt[90] - seen.plainAt[50]) / blockBytes, 40 * pace, 8);
        EXPECT_EQ(seen.samples, decodeMp3(clip));
    }
}

// Real-time capture waits for each video frame's sound (1102 frames at 40
// fps): on a device the hook must get it in small pieces spread over time,
// not in bursts of whole blocks, or every frame waits for two blocks.
struct Piece {
    std::chrono::steady_clock::time_point at;
    BASS_DWORD bytes;
};
std::vector<Piece> pieces;
void recordPiece(HDSP, BASS_DWORD, void*, BASS_DWORD length, BASS_DWORD) {
    pieces.push_back({std::chrono::steady_clock::now(), length});
}

TEST_F(BassTest, OnADeviceTheHookSeesSmallPiecesSpreadOverRealTime) {
    bass::setDeviceClock(nullptr);
    ASSERT_NE(init("dummy"), 0) << bass::lastError();
    pieces.clear();
    pieces.reserve(100000);
    const HSTREAM h = stream(mp3);
    BASS_ChannelSetDSP(h, recordPiece, 0);
    BASS_Start();
    BASS_StreamPlay(h, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    BASS_Free();
    ASSERT_GT(pieces.size(), 20u);
    std::vector<double> gaps;
    BASS_DWORD largest = 0;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        gaps.push_back(std::chrono::duration<double, std::milli>(pieces[i].at - pieces[i - 1].at).count());
        largest = std::max(largest, pieces[i].bytes);
    }
    std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
    EXPECT_LE(largest, 64u * 4) << "sample frames in one piece";
    EXPECT_LT(gaps[gaps.size() / 2], 3.0) << "median milliseconds between pieces (a block lasts 23)";
}

// On a device the clip is decoded ahead on a thread of its own: damage and
// a clip cut short are still said, and the stream still ends.
TEST_F(BassTest, OnADeviceDamageAndAnEarlyEndAreStillSaidAndTheStreamEnds) {
    const auto clip = encodeMp3(testSignal(44100 * 4));
    auto damaged = clip;
    const auto middle = damaged.begin() + std::ptrdiff_t(damaged.size() / 2);
    std::fill(middle, middle + 3000, 0x55);
    const std::vector<unsigned char> cut(clip.begin(), clip.begin() + std::ptrdiff_t(clip.size() / 2));
    clockStep = std::int64_t(blockNs);  // the device keeps time exactly
    ASSERT_NE(init("disk"), 0) << bass::lastError();
    BASS_Start();
    const std::vector<const std::vector<unsigned char>*> images{&damaged, &cut};
    for (const auto* image : images) {
        const HSTREAM h = stream(*image);
        ASSERT_NE(h, 0u) << bass::lastError();
        testing::internal::CaptureStderr();
        ASSERT_NE(BASS_StreamPlay(h, 0, 0), 0);
        const bool ended = waitUntil([&] { return BASS_ChannelIsActive(h) == 0; });
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(ended) << "still playing";
        if (image == &damaged) {
            EXPECT_NE(said.find("damaged bytes skipped at 1."), std::string::npos) << said;
        } else {
            EXPECT_NE(said.find("the clip ends at 1."), std::string::npos) << said;
            EXPECT_NE(said.find("of its 4.00 s"), std::string::npos) << said;
        }
        BASS_StreamFree(h);
    }
}

TEST_F(BassTest, NoDeviceMeansInitFailsWithoutFallingBackToAFakeOne) {
    EXPECT_EQ(init("no-such-driver"), 0);
    EXPECT_NE(std::string(bass::lastError()), "");
    // ALSA with no sound card initialises but opens no device (a machine
    // with a sound card cannot check this).
    if (init("alsa") != 0) BASS_Free();
    // A failed attempt leaves nothing behind: the next one works.
    EXPECT_NE(init("dummy"), 0) << bass::lastError();
    EXPECT_EQ(init("dummy"), 0) << "initialised twice";
}

TEST_F(BassTest, StreamCreationRefusesWhatIsNotMp3) {
    ASSERT_NE(init("offline"), 0);
    // A clip missing from the pack arrives as a null pointer and size -1.
    EXPECT_EQ(BASS_StreamCreateFile(1, nullptr, 0, BASS_DWORD(-1), 0), 0u);
    std::vector<unsigned char> noise(20000);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = (i * 2654435761u) >> 17 & 255;
    EXPECT_EQ(BASS_StreamCreateFile(1, mp3.data(), 0, 0, 0), 0u);
    const std::vector<unsigned char> headersOnly(mp3.begin(), mp3.begin() + 300);
    for (const auto& bad : {std::vector<unsigned char>(5000, 'x'), noise, headersOnly})
        EXPECT_EQ(stream(bad), 0u) << bad.size() << " bytes";
    EXPECT_EQ(BASS_StreamPlay(12345, 0, 0), 0);
    EXPECT_EQ(BASS_ChannelSetDSP(12345, recordBlock, 0), 0u);
    EXPECT_NE(stream(mp3), 0u) << "the real clip still works afterwards: " << bass::lastError();
}

}  // namespace
