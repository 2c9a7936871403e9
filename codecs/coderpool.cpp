#include "codecs/coderpool.h"

#include <algorithm>

CoderPool::CoderPool(const MakeCoder& make, std::size_t frameBytes, bool bottomUp, int threadCount)
    : bottomUp(bottomUp) {
    threadCount = std::max(1, threadCount);
    // One frame more than there are threads waits coded, and one more is
    // being copied in, so no thread waits for the caller.
    slots.resize(std::size_t(threadCount) + 2);
    for (Slot& slot : slots) {
        slot.dib.resize(frameBytes);
        slot.coder = make();
    }
    for (int i = 0; i < threadCount; ++i) threads.emplace_back([this] { run(); });
}

CoderPool::~CoderPool() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        queue.clear();
    }
    changed.notify_all();
    for (std::thread& thread : threads) thread.join();
}

bool CoderPool::submit(std::vector<std::uint8_t>& frame) {
    if (full()) return false;
    Slot& slot = slots[submitted % slots.size()];
    slot.dib.swap(frame);
    std::lock_guard<std::mutex> lock(mutex);
    slot.state = State::Queued;
    queue.push_back(&slot);
    ++submitted;
    changed.notify_all();
    return true;
}

std::optional<std::span<const std::uint8_t>> CoderPool::oldest(bool wait) {
    if (released == submitted) return std::nullopt;
    Slot& slot = slots[released % slots.size()];
    std::unique_lock<std::mutex> lock(mutex);
    if (wait) changed.wait(lock, [&] { return slot.state == State::Done; });
    if (slot.state != State::Done) return std::nullopt;
    return slot.packet;
}

void CoderPool::release() {
    std::lock_guard<std::mutex> lock(mutex);
    slots[released % slots.size()].state = State::Free;
    ++released;
    changed.notify_all();
}

void CoderPool::run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [&] { return stopping || !queue.empty(); });
        if (stopping) return;
        Slot& slot = *queue.front();
        queue.pop_front();
        slot.state = State::Coding;
        lock.unlock();
        const std::span<const std::uint8_t> packet = slot.coder->encode(slot.dib.data(), bottomUp, false);
        lock.lock();
        slot.packet = packet;
        slot.state = State::Done;
        changed.notify_all();
    }
}
