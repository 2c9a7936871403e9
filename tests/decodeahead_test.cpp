// The decode-ahead ring over a decoder the test can hold back.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/mixer/decodeahead.h"

namespace {

// Frame i holds i + 1 on both channels. A read stops at frame
// `openFrames` until the gate is opened further, as a slow decoder would.
class GatedRamp : public bass::Decoder {
public:
    explicit GatedRamp(int frames) : frames(frames) {}
    int read(unsigned char* to, int bytes) override {
        std::unique_lock<std::mutex> hold(lock);
        const int n = std::min(bytes / 4, frames - position);
        auto* out = reinterpret_cast<std::int16_t*>(to);
        for (int i = 0; i < n; ++i) {
            gateMoved.wait(hold, [&] { return position < openFrames; });
            out[2 * i] = out[2 * i + 1] = std::int16_t(position + 1);
            ++position;
        }
        return n * 4;
    }
    bool rewind(std::string*) override {
        std::lock_guard<std::mutex> hold(lock);
        position = 0;
        ++rewinds;
        return true;
    }
    bool skip(std::int64_t n) override {
        std::lock_guard<std::mutex> hold(lock);
        position = int(std::min<std::int64_t>(frames, position + n));
        return true;
    }
    void open(int upTo) {
        {
            std::lock_guard<std::mutex> hold(lock);
            openFrames = upTo;
        }
        gateMoved.notify_all();
    }
    std::mutex lock;
    std::condition_variable gateMoved;
    int frames, position = 0, rewinds = 0, openFrames = 1 << 30;
};

// The left channel of what a read gave.
std::vector<int> readLeft(bass::DecodeAhead& ahead, int frames, int* got = nullptr) {
    std::vector<unsigned char> bytes(std::size_t(frames) * 4);
    const int n = ahead.read(bytes.data(), int(bytes.size()));
    if (got) *got = n / 4;
    std::vector<int> left;
    for (int i = 0; i < n / 4; ++i) left.push_back(reinterpret_cast<const std::int16_t*>(bytes.data())[2 * i]);
    return left;
}

void waitFor(const std::function<bool()>& done) {
    for (int ms = 0; ms < 30000 && !done(); ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(DecodeAhead, GivesTheClipInOrderSkipsWithinAndBeyondTheRingAndEndsShort) {
    auto ramp = std::make_unique<GatedRamp>(30000);
    GatedRamp& inner = *ramp;
    bass::DecodeAhead ahead(std::move(ramp), 44100, 0.25);  // 11025 frames at most
    ahead.setLossless(true);  // what is read never depends on the thread's timing
    std::string why;
    ASSERT_TRUE(ahead.rewind(&why));
    EXPECT_EQ(inner.rewinds, 0) << "a ring still at the top is kept";
    EXPECT_EQ(readLeft(ahead, 3), (std::vector<int>{1, 2, 3}));
    ASSERT_TRUE(ahead.skip(100));   // inside the ring
    EXPECT_EQ(readLeft(ahead, 1), std::vector<int>{104});
    ASSERT_TRUE(ahead.skip(20000));  // past all it holds
    EXPECT_EQ(readLeft(ahead, 1), std::vector<int>{20105});
    int got = 0;
    const auto rest = readLeft(ahead, 20000, &got);
    ASSERT_EQ(got, 30000 - 20105) << "a read past the end comes back short";
    EXPECT_EQ(rest.back(), 30000);
    ASSERT_TRUE(ahead.rewind(&why));
    EXPECT_EQ(inner.rewinds, 1);
    EXPECT_EQ(readLeft(ahead, 2), (std::vector<int>{1, 2}));
    EXPECT_EQ(ahead.starvedFrames(), 0);
}

// A decoder that falls behind: a plain stream gets silence in time and
// then goes on where the clip would be; a lossless one waits instead.
TEST(DecodeAhead, ADecoderBehindGivesSilenceAndTheClipMovesOnUnlessLossless) {
    auto ramp = std::make_unique<GatedRamp>(30000);
    GatedRamp& inner = *ramp;
    inner.open(5000);  // the first chunk of 4096 frames, and no second
    bass::DecodeAhead ahead(std::move(ramp), 44100, 1.0);
    std::string why;
    ASSERT_TRUE(ahead.rewind(&why));
    int got = 0;
    const auto left = readLeft(ahead, 6000, &got);
    ASSERT_EQ(got, 6000) << "starved is not ended";
    EXPECT_EQ(left[4095], 4096);
    EXPECT_EQ(left[4096], 0);
    EXPECT_EQ(left[5999], 0);
    EXPECT_EQ(ahead.starvedFrames(), 6000 - 4096);
    inner.open(1 << 30);
    waitFor([&] { std::lock_guard<std::mutex> hold(inner.lock); return inner.position > 12000; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // its chunk reaches the ring
    EXPECT_EQ(readLeft(ahead, 1), std::vector<int>{6001}) << "the clip went on during the silence";
}

TEST(DecodeAhead, ALosslessReadWaitsForTheDecoder) {
    auto ramp = std::make_unique<GatedRamp>(30000);
    GatedRamp& inner = *ramp;
    inner.open(3000);
    bass::DecodeAhead ahead(std::move(ramp), 44100, 1.0);
    ahead.setLossless(true);
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        inner.open(1 << 30);
    });
    int got = 0;
    const auto whole = readLeft(ahead, 8000, &got);
    later.join();
    ASSERT_EQ(got, 8000);
    for (int i = 0; i < 8000; ++i) ASSERT_EQ(whole[std::size_t(i)], i + 1) << "frame " << i;
    EXPECT_EQ(ahead.starvedFrames(), 0);
}

}  // namespace
