#include "platform/mixer/decodeahead.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

namespace bass {

namespace {

constexpr std::size_t bytesPerFrame = 4;
constexpr std::size_t chunkFrames = 4096;
// A wake-up the thread missed costs at most this; the ring holds seconds.
constexpr auto pollInterval = std::chrono::milliseconds(10);

}  // namespace

DecodeAhead::DecodeAhead(std::unique_ptr<Decoder> decoder, int rate, double seconds)
    : inner(std::move(decoder)),
      ring(std::max(std::size_t(rate * seconds), 2 * chunkFrames) * bytesPerFrame),
      chunk(chunkFrames * bytesPerFrame) {
    worker = std::thread(&DecodeAhead::run, this);
}

DecodeAhead::~DecodeAhead() {
    quitting = true;
    wakeDecoder();
    worker.join();
}

std::size_t DecodeAhead::available() const {
    return std::size_t(written.load(std::memory_order_acquire) - taken.load(std::memory_order_relaxed));
}

// Without the lock, so the reader never waits for the thread: a wake-up
// that comes between the thread's check and its sleep is missed, and the
// poll interval makes up for it.
void DecodeAhead::wakeDecoder() { changed.notify_all(); }

void DecodeAhead::run() {
    while (!quitting) {
        if (decodeChunk()) continue;
        std::unique_lock<std::mutex> hold(waiting);
        changed.wait_for(hold, pollInterval);
    }
}

// One chunk into the ring, when there is room and more to decode. Frames
// owed to the clip are passed over at the decoder where it can, else
// decoded and dropped.
bool DecodeAhead::decodeChunk() {
    std::lock_guard<std::mutex> busy(decoding);
    if (ended.load(std::memory_order_relaxed)) return false;
    const std::uint64_t end = written.load(std::memory_order_relaxed);
    const std::size_t room = ring.size() - std::size_t(end - taken.load(std::memory_order_acquire));
    std::int64_t owe = owedFrames.exchange(0);
    const bool passedOver = owe > 0 && inner->skip(owe);
    if (passedOver) owe = 0;
    if (room < chunk.size()) {
        if (owe > 0) owedFrames.fetch_add(owe);
        return passedOver;
    }
    const int got = inner->read(chunk.data(), int(chunk.size()));
    // Silence the reader played while this chunk was decoded: it follows
    // what the ring held, so it comes off this chunk's start.
    owe += owedFrames.exchange(0);
    const std::size_t drop = std::min(std::size_t(owe) * bytesPerFrame, std::size_t(got));
    if (owe -= std::int64_t(drop / bytesPerFrame); owe > 0) owedFrames.fetch_add(owe);
    const std::size_t bytes = std::size_t(got) - drop;
    const std::size_t at = std::size_t(end % ring.size());
    const std::size_t first = std::min(bytes, ring.size() - at);
    std::memcpy(ring.data() + at, chunk.data() + drop, first);
    std::memcpy(ring.data(), chunk.data() + drop + first, bytes - first);
    written.store(end + bytes, std::memory_order_release);
    if (std::size_t(got) < chunk.size()) ended.store(true, std::memory_order_release);
    if (lossless.load(std::memory_order_relaxed) || bytes > 0) {
        std::lock_guard<std::mutex> hold(waiting);
        changed.notify_all();
    }
    return true;
}

int DecodeAhead::read(unsigned char* to, int bytes) {
    const std::size_t want = std::size_t(bytes) / bytesPerFrame * bytesPerFrame;
    untouched.store(false, std::memory_order_relaxed);
    std::size_t given = 0;
    for (;;) {
        // `ended` before the count: the last chunk is in the ring once it is set.
        const bool last = ended.load(std::memory_order_acquire);
        const std::uint64_t from = taken.load(std::memory_order_relaxed);
        const std::size_t n = std::min(available(), want - given);
        const std::size_t at = std::size_t(from % ring.size());
        const std::size_t first = std::min(n, ring.size() - at);
        std::memcpy(to + given, ring.data() + at, first);
        std::memcpy(to + given + first, ring.data(), n - first);
        taken.store(from + n, std::memory_order_release);
        given += n;
        if (n > 0) wakeDecoder();
        if (given == want || last || quitting) break;
        if (!lossless.load(std::memory_order_relaxed)) {
            // The decoder fell behind: silence now, and the clip moves on
            // as if it had been heard.
            std::memset(to + given, 0, want - given);
            const auto missing = std::int64_t((want - given) / bytesPerFrame);
            owedFrames.fetch_add(missing);
            starved.fetch_add(missing, std::memory_order_relaxed);
            wakeDecoder();
            return int(want);
        }
        std::unique_lock<std::mutex> hold(waiting);
        changed.wait_for(hold, pollInterval, [this] { return available() > 0 || ended.load() || quitting.load(); });
    }
    return int(given);
}

bool DecodeAhead::skip(std::int64_t frames) {
    if (frames <= 0) return true;
    untouched.store(false, std::memory_order_relaxed);
    const std::size_t inRing = std::min(available(), std::size_t(frames) * bytesPerFrame);
    taken.fetch_add(inRing, std::memory_order_release);
    if (const std::int64_t beyond = frames - std::int64_t(inRing / bytesPerFrame); beyond > 0)
        owedFrames.fetch_add(beyond);
    wakeDecoder();
    return true;
}

// A play begins here: it waits for the first chunk, so that the clip's
// start is never lost to a decoder that has only just begun.
bool DecodeAhead::rewind(std::string* why) {
    if (!untouched.load(std::memory_order_relaxed)) {
        // What the ring holds is not the clip from its start.
        std::lock_guard<std::mutex> busy(decoding);
        const bool ok = inner->rewind(why);
        written.store(0, std::memory_order_relaxed);
        taken.store(0, std::memory_order_relaxed);
        owedFrames.store(0);
        starved.store(0);
        ended.store(!ok);
        untouched.store(ok);
        if (!ok) return false;
    }
    wakeDecoder();
    std::unique_lock<std::mutex> hold(waiting);
    changed.wait(hold, [this] { return available() >= chunk.size() || ended.load() || quitting.load(); });
    return true;
}

void DecodeAhead::setLossless(bool wait) {
    lossless = wait;
    wakeDecoder();
}

}  // namespace bass
