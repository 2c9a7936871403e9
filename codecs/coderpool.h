// Codes frames with FrameCoders on threads of its own, several frames at
// once, and hands the packets back in the order the frames came. No frame
// waits for another to be coded, so every core given stays busy while the
// caller renders.
//
//   CoderPool pool(make, frameBytes, bottomUp, 2);
//   while (auto packet = pool.oldest(pool.full())) {  // done ones, in order
//       write(*packet);
//       pool.release();
//   }
//   pool.submit(frame);                               // swapped for a spare
#pragma once

#include "codecs/framecoder.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

class CoderPool {
public:
    using MakeCoder = std::function<std::unique_ptr<FrameCoder>()>;
    CoderPool(const MakeCoder& make, std::size_t frameBytes, bool bottomUp, int threads);
    ~CoderPool();  // the frames being coded are finished, the rest dropped

    // Every slot holds a frame not yet released: release the oldest first.
    bool full() const { return submitted - released == slots.size(); }
    // The frame is taken, and a buffer of the same size left in its place.
    bool submit(std::vector<std::uint8_t>& frame);  // false, and nothing done, when full
    // The oldest frame not yet released: its packet once it is coded. With
    // wait, until it is; nothing when no frame is in the pool.
    std::optional<std::span<const std::uint8_t>> oldest(bool wait);
    void release();  // the oldest frame's packet has been written

private:
    enum class State { Free, Queued, Coding, Done };
    struct Slot {
        std::vector<std::uint8_t> dib;
        std::unique_ptr<FrameCoder> coder;
        std::span<const std::uint8_t> packet;  // the coder's, valid until it codes again
        State state = State::Free;
    };
    void run();

    const bool bottomUp;
    std::vector<Slot> slots;  // frame n goes to slot n % size
    std::size_t submitted = 0;
    std::size_t released = 0;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Slot*> queue;
    bool stopping = false;
    std::vector<std::thread> threads;
};
