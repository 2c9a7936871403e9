// Frames coded on several threads come back in the order they went in,
// whatever order the threads finish them in, and each packet stays intact
// until it is released.
#include "codecs/coderpool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// "Codes" a frame as its first byte repeated, slowly for some frames, so
// that later frames finish first.
class SlowCoder : public FrameCoder {
public:
    explicit SlowCoder(std::atomic<int>* made) { ++*made; }
    std::span<const std::uint8_t> encode(const std::uint8_t* dib, bool bottomUp, bool) override {
        if (dib[0] % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
        packet.assign(16, std::uint8_t(dib[0] + (bottomUp ? 1 : 0)));
        return packet;
    }

private:
    std::vector<std::uint8_t> packet;
};

TEST(CoderPool, PacketsComeBackInOrderAndIntact) {
    std::atomic<int> made{0};
    CoderPool pool([&] { return std::make_unique<SlowCoder>(&made); }, 64, true, 3);
    EXPECT_EQ(5, made.load()) << "a coder for each thread and two more slots";
    std::vector<int> written;
    const auto writeDone = [&](bool all) {
        while (const auto packet = pool.oldest(all || pool.full())) {
            for (std::uint8_t byte : *packet) ASSERT_EQ((*packet)[0], byte) << "packet overwritten before release";
            written.push_back((*packet)[0] - 1);
            pool.release();
        }
    };
    std::vector<std::uint8_t> frame(64);
    for (int n = 0; n < 60; ++n) {
        writeDone(false);
        ASSERT_FALSE(pool.full());
        frame.assign(64, std::uint8_t(n));
        ASSERT_TRUE(pool.submit(frame));
        ASSERT_EQ(64u, frame.size()) << "a spare of the frame's size left in its place";
    }
    writeDone(true);
    ASSERT_EQ(60u, written.size());
    for (int n = 0; n < 60; ++n) EXPECT_EQ(n, written[n]);
    EXPECT_FALSE(pool.oldest(true)) << "nothing left in the pool";
}

TEST(CoderPool, AFullPoolRefusesAFrameAndClosesWithFramesInIt) {
    std::atomic<int> made{0};
    auto pool = std::make_unique<CoderPool>([&] { return std::make_unique<SlowCoder>(&made); }, 8, false, 1);
    std::vector<std::uint8_t> frame;
    int accepted = 0;
    while (!pool->full()) {
        frame.assign(8, 3);
        accepted += pool->submit(frame);
    }
    EXPECT_EQ(3, accepted);
    frame.assign(8, 7);
    EXPECT_FALSE(pool->submit(frame));
    EXPECT_EQ(std::vector<std::uint8_t>(8, 7), frame) << "a refused frame stays with the caller";
    ASSERT_TRUE(pool->oldest(true));
    EXPECT_EQ(3, (*pool->oldest(true))[0]) << "the frame as coded, top-down as handed in";
    pool.reset();  // with two frames queued: must not hang
}

}  // namespace
