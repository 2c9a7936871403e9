// A decoder that runs a little ahead of the output, on a thread of its own,
// into a bounded ring: the device's callback only copies, so a decoder slowed
// by a busy machine (or by damage it must search past) never makes the
// callback late, and no more than a few seconds of sound are ever held.
//
//   auto ahead = std::make_unique<DecodeAhead>(std::move(decoder), rate);
//   ahead->read(block, bytes);   // copies what is decoded; see below
//
// The ring is filled from the moment it is made, so the first blocks after
// a play are ready at once. What a read finds missing depends on the
// stream: a lossless one (its DSP procedures must see every sample) waits
// for it; any other gets silence in its place, and as many frames of the
// clip are passed over once they come, so that the position the mixer
// counts is still the clip's.
//
// One reader: read, skip and rewind must not run at the same time as each
// other (the mixer calls them under its lock). The reader never takes a lock
// the decoding thread holds, except when a lossless read waits: a thread
// of high priority must not wait for one of normal priority that the
// machine's load has put aside.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/mixer/bassmixer.h"

namespace bass {

class DecodeAhead : public Decoder {
public:
    DecodeAhead(std::unique_ptr<Decoder> inner, int rate, double seconds = 2.0);
    ~DecodeAhead() override;
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    int read(unsigned char* to, int bytes) override;
    // Back to the clip's start, then waits for its first chunk.
    bool rewind(std::string* why) override;
    bool skip(std::int64_t frames) override;

    void setLossless(bool wait);
    // Sample frames a read had to replace with silence since the last rewind.
    std::int64_t starvedFrames() const { return starved.load(std::memory_order_relaxed); }

private:
    void run();
    bool decodeChunk();  // false when the thread should wait
    std::size_t available() const;
    void wakeDecoder();

    std::unique_ptr<Decoder> inner;
    std::vector<unsigned char> ring;
    std::vector<unsigned char> chunk;  // what the thread decodes at a time

    // Byte counts since the last rewind: the thread adds to `written`, the
    // reader to `taken`; the ring holds the difference.
    std::atomic<std::uint64_t> written{0}, taken{0};
    std::atomic<bool> ended{false};         // the inner decoder gave its last sound
    std::atomic<std::int64_t> owedFrames{0};  // to pass over: played as silence or skipped
    std::atomic<std::int64_t> starved{0};
    std::atomic<bool> lossless{false};
    std::atomic<bool> untouched{true};  // nothing read or skipped since the ring began

    std::mutex decoding;  // the inner decoder, and what the thread adds to the ring
    std::mutex waiting;   // only for the condition variable
    std::condition_variable changed;
    std::atomic<bool> quitting{false};
    std::thread worker;
};

}  // namespace bass
