#include "platform/mixer/bassmixer.h"

#include <algorithm>
#include <cstring>

#include "platform/bassoutput.h"
#include "platform/mixer/decodeahead.h"

namespace bass {

namespace {

constexpr int channels = 2;
constexpr int bytesPerFrame = channels * 2;
constexpr int maxDspPerStream = 16;

struct Dsp {
    DSPPROC* proc;
    BASS_DWORD user;
    HDSP handle;
};

void addSaturated(std::int16_t* out, const std::int16_t* in, int samples) {
    for (int i = 0; i < samples; ++i) out[i] = std::int16_t(std::clamp(int(out[i]) + int(in[i]), -32768, 32767));
}

std::int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

struct Mixer::Stream {
    HSTREAM handle = 0;
    std::unique_ptr<Decoder> decoder;
    DecodeAhead* ahead = nullptr;  // the decoder, when it decodes ahead
    Dsp dsps[maxDspPerStream];
    int dspCount = 0;
    std::atomic<bool> playing{false};
    std::atomic<std::uint64_t> decoded{0};  // bytes played or skipped since play
    std::vector<unsigned char> scratch;     // one block, decoded before mixing

    // A stream with DSP procedures on a clocked device: the next block for
    // the output, shown to them piece by piece (see pacePieces).
    std::vector<unsigned char> pending;
    int pendingBytes = 0;
    bool pendingEnded = false;  // the stream's last sound is in it
    bool pacing = false;        // from the first callback after play

    // Keeping pace with the wall clock on a device (see keepOnWallClock).
    std::int64_t playNs = 0;  // device clock at play
    bool freshPlay = false;   // no callback since play
    bool clockStarted = false;
    std::int64_t clockStartNs = 0;  // when the clip's sample 0 was (or would have been) heard
    int driftStreak = 0;            // callbacks in a row beyond the limit; sign = direction
    std::int64_t holdFrames = 0;    // silence still to play before the stream goes on

    // What is heard: the stream's sample `heardFrame` begins to be heard at
    // `heardNs` (device clock), and the block mixed holds `heardSpan` of them.
    // Written by the callback, read without the mixer's lock (see Heard).
    std::atomic<std::uint32_t> heardVersion{0};  // odd while being written
    std::atomic<std::int64_t> heardNs{0}, heardFrame{-1}, heardSpan{0};

    void runDsps(unsigned char* data, int bytes) {
        for (int d = 0; d < dspCount; ++d) dsps[d].proc(dsps[d].handle, handle, data, BASS_DWORD(bytes), dsps[d].user);
    }
};

// The API's hold on the mixer state. The offline mixer takes the lock back
// right after each block, and a plain mutex would let it win every time; it
// steps aside while an API call is waiting.
class Mixer::ApiLock {
public:
    explicit ApiLock(Mixer& mixer) : mixer(mixer) {
        mixer.apiWaiting.fetch_add(1);
        mixer.lock.lock();
        mixer.apiWaiting.fetch_sub(1);
        mixer.apiWaiting.notify_all();
    }
    ~ApiLock() { mixer.lock.unlock(); }
    ApiLock(const ApiLock&) = delete;
    ApiLock& operator=(const ApiLock&) = delete;

private:
    Mixer& mixer;
};

Mixer::Mixer(Backend& backend) : backend(backend) {}

Mixer::~Mixer() { freeAll(); }

Mixer::Stream* Mixer::findStream(BASS_DWORD handle) const {
    for (auto& s : streams)
        if (s->handle == handle) return s.get();
    return nullptr;
}

// Real-time capture waits, frame by frame, for fresh sound from the DSP
// procedures; fed whole 1024-frame blocks it would wait for two of them for
// every frame of 1102 and run at half speed. So on a clocked device a stream
// with DSP procedures shows them its sound in small pieces, spread by the
// pacer thread over the time of the block before the one the device is
// playing; each callback completes its block (the pieces the pacer has not
// reached yet) and plays it.
constexpr int pieceBytes = captureFrames * bytesPerFrame;

bool Mixer::paced(const Stream& s) const { return !offline && clocked && s.dspCount > 0; }

// Shows the stream pieces of its pending block up to `upTo` bytes.
void Mixer::fillPending(Stream& s, int upTo) {
    if (int(s.pending.size()) != blockBytes) {
        s.pending.assign(std::size_t(blockBytes), 0);
        s.pendingBytes = 0;
    }
    upTo = std::min(upTo, blockBytes);
    while (!s.pendingEnded && s.pendingBytes < upTo) {
        const int want = std::min(pieceBytes, upTo - s.pendingBytes);
        unsigned char* piece = s.pending.data() + s.pendingBytes;
        const int got = s.decoder->read(piece, want);
        if (got > 0) s.runDsps(piece, got);
        s.pendingBytes += got;
        if (got < want) s.pendingEnded = true;
    }
}

void Mixer::mixPaced(Stream& s, unsigned char* out, int bytes) {
    fillPending(s, bytes);
    const int n = std::min(bytes, s.pendingBytes);
    addSaturated(reinterpret_cast<std::int16_t*>(out), reinterpret_cast<const std::int16_t*>(s.pending.data()), n / 2);
    s.decoded.fetch_add(std::uint64_t(n), std::memory_order_relaxed);
    s.pendingBytes = 0;
    s.pacing = true;
    if (s.pendingEnded) {
        s.pendingEnded = false;
        s.playing.store(false, std::memory_order_release);
    }
}

// One block of output: every playing stream is decoded, shown to its DSP
// procedures and added in. Called with the lock held.
void Mixer::mixBlock(unsigned char* out, int bytes) {
    std::memset(out, 0, std::size_t(bytes));
    for (auto& sp : streams) {
        Stream& s = *sp;
        if (!s.playing.load(std::memory_order_relaxed)) continue;
        if (paced(s)) {
            mixPaced(s, out, bytes);
            continue;
        }
        // Held back to keep time: silence first, the stream after it.
        const int held = int(std::min<std::int64_t>(s.holdFrames * bytesPerFrame, bytes));
        s.holdFrames -= held / bytesPerFrame;
        const int want = bytes - held;
        if (want == 0) continue;
        if (int(s.scratch.size()) < want) s.scratch.assign(std::size_t(bytes), 0);
        const int got = s.decoder->read(s.scratch.data(), want);
        if (got > 0) {
            s.runDsps(s.scratch.data(), got);
            addSaturated(reinterpret_cast<std::int16_t*>(out + held),
                         reinterpret_cast<const std::int16_t*>(s.scratch.data()), got / 2);
            s.decoded.fetch_add(std::uint64_t(got), std::memory_order_relaxed);
        }
        // Only now, after its last block went through the DSPs.
        if (got < want) s.playing.store(false, std::memory_order_release);
    }
}

// The picture is timed by the system tick, so a stream on a device that
// wanders from it must be kept in step. SDL's dummy and disk outputs pace
// themselves with sleeps that run a little fast when idle and fall behind
// for good when the machine is busy, and a real device that underruns loses
// the time it starved.
//
// At every callback the block about to be mixed is placed on the clock: it
// begins to be heard `latencyFrames` after the callback (as the device
// reports its buffer), and what is heard then should be the clip's sample
// for that moment since play. At the first callback the stream starts as
// far in as that (the few milliseconds skipped are the clip's very start);
// later, an offset beyond the limit for two callbacks in a row is put right
// by exactly its size: skipped forward when behind, silence inserted before
// the block when ahead. Two, so that one late callback alone moves nothing.
// A stream with DSP procedures is never moved: they must see every sample,
// in order.
constexpr std::int64_t driftLimitFrames = 44100 * 2 / 1000;  // 2 ms at 44.1 kHz
constexpr int driftPatience = 2;

void Mixer::skipFrames(Stream& s, std::int64_t frames) {
    if (s.decoder->skip(frames)) s.decoded.fetch_add(std::uint64_t(frames) * bytesPerFrame, std::memory_order_relaxed);
}

std::int64_t Mixer::framesIn(std::int64_t ns) const { return ns * rate / 1000000000; }

std::int64_t Mixer::deviceNow() const { return clock ? clock() : steadyNanoseconds(); }

void Mixer::keepOnWallClock(Stream& s, std::int64_t now) {
    if (s.dspCount > 0) {
        s.freshPlay = false;
        return;
    }
    const std::int64_t position = std::int64_t(s.decoded.load(std::memory_order_relaxed) / bytesPerFrame);
    if (!s.clockStarted) {
        s.clockStarted = true;
        s.driftStreak = 0;
        s.holdFrames = 0;
        // After a play it starts where the clock will be when this block is
        // heard, however late the callback; after a paused output it goes on
        // from where it stopped.
        if (s.freshPlay) {
            s.freshPlay = false;
            s.clockStartNs = s.playNs;
            skipFrames(s, std::max<std::int64_t>(0, framesIn(now - s.playNs)) + latencyFrames);
        } else {
            s.clockStartNs = now - (position - latencyFrames) * 1000000000 / rate;
        }
        return;
    }
    // What should begin to be heard when this block does, against what will.
    const std::int64_t due = framesIn(now - s.clockStartNs) + latencyFrames;
    const std::int64_t offset = position + s.holdFrames - due;  // > 0: ahead
    if (offset < -driftLimitFrames) s.driftStreak = std::min(s.driftStreak, 0) - 1;
    else if (offset > driftLimitFrames) s.driftStreak = std::max(s.driftStreak, 0) + 1;
    else s.driftStreak = 0;
    if (s.driftStreak <= -driftPatience) {
        skipFrames(s, -offset);
        s.driftStreak = 0;
    } else if (s.driftStreak >= driftPatience) {
        s.holdFrames += offset;
        s.driftStreak = 0;
    }
}

bool Mixer::mixDeviceBlock(unsigned char* out, int bytes) {
    const std::int64_t now = deviceNow();
    std::lock_guard<std::mutex> hold(lock);
    if (clocked)
        for (auto& s : streams)
            if (s->playing.load(std::memory_order_relaxed)) keepOnWallClock(*s, now);
    for (auto& s : streams) {
        const std::int64_t first = std::int64_t(s->decoded.load(std::memory_order_relaxed) / bytesPerFrame);
        // Release stores: none is seen before the odd version.
        s->heardVersion.fetch_add(1, std::memory_order_relaxed);
        s->heardFrame.store(first, std::memory_order_release);
        s->heardNs.store(now + (latencyFrames + std::min<std::int64_t>(s->holdFrames, bytes / bytesPerFrame)) *
                                   1000000000 / rate,
                         std::memory_order_release);
        s->heardSpan.store(0, std::memory_order_release);
    }
    mixBlock(out, bytes);
    bool pacing = false;
    for (auto& s : streams) {
        const auto last = std::int64_t(s->decoded.load(std::memory_order_relaxed) / bytesPerFrame);
        s->heardSpan.store(last - s->heardFrame.load(std::memory_order_relaxed), std::memory_order_release);
        s->heardVersion.fetch_add(1, std::memory_order_release);
        pacing = pacing || (s->pacing && s->playing.load(std::memory_order_relaxed));
    }
    // The pacer wakes only for a stream it paces: a thread of normal
    // priority that holds the lock when the machine's load puts it aside
    // would hold up the next callback.
    if (clocked) {
        lastCallback = std::chrono::steady_clock::now();
        if (pacing) pacerWake.notify_all();
    }
    return anyPlaying();
}

// Between two callbacks: piece k of a hooked stream's next block is due k
// pieces' time after the last callback.
void Mixer::pacePieces() {
    using Clock = std::chrono::steady_clock;
    const auto pieceTime = std::chrono::nanoseconds(std::int64_t(1e9 * captureFrames / rate));
    std::unique_lock<std::mutex> hold(lock);
    while (!quitting) {
        Clock::time_point next = Clock::time_point::max();
        for (auto& sp : streams) {
            Stream& s = *sp;
            if (!s.playing.load(std::memory_order_relaxed) || !paced(s) || !s.pacing || s.pendingEnded) continue;
            const int pieces = blockBytes / pieceBytes;
            const int due = int(std::min<std::int64_t>((Clock::now() - lastCallback) / pieceTime + 1, pieces));
            fillPending(s, due * pieceBytes);
            if (s.pendingBytes < blockBytes) next = std::min(next, lastCallback + due * pieceTime);
        }
        if (next == Clock::time_point::max())
            pacerWake.wait(hold);
        else
            pacerWake.wait_until(hold, next);
    }
}

bool Mixer::anyPlaying() const {
    for (auto& s : streams)
        if (s->playing.load(std::memory_order_relaxed)) return true;
    return false;
}

// The offline output: block after block, as fast as the decoder goes, for
// as long as the output runs and something plays.
void Mixer::runOffline() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        wake.wait(hold, [this] { return quitting || (running && anyPlaying()); });
        if (quitting) return;
        mixBlock(offlineBlock.data(), blockBytes);
        hold.unlock();
        for (int waiting; (waiting = apiWaiting.load()) > 0;) apiWaiting.wait(waiting);
        hold.lock();
    }
}

bool Mixer::init(int deviceNumber, BASS_DWORD freq, std::string* why) {
    if (isInitialised) {
        *why = "BASS_Init: already initialised";
        return false;
    }
    if (deviceNumber != -1 && deviceNumber != 1) {
        *why = "BASS_Init: no such device " + std::to_string(deviceNumber);
        return false;
    }
    if (freq == 0) freq = 44100;
    if (freq < 8000 || freq > 192000) {
        *why = "BASS_Init: unsupported rate " + std::to_string(freq);
        return false;
    }
    if (offlineOutput() && !backend.runsOffline()) {
        *why = "BASS_Init: sound plays only in real time here (no offline output)";
        return false;
    }
    if (!backend.prepareDecoding(why)) return false;
    rate = int(freq);
    offline = offlineOutput();
    running = false;
    quitting = false;
    clocked = false;
    latencyFrames = 0;
    blockBytes = blockFrames * bytesPerFrame;
    if (offline) {
        offlineBlock.assign(std::size_t(blockBytes), 0);
        offlineThread = std::thread(&Mixer::runOffline, this);
    } else {
        std::unique_ptr<Device> opened = backend.openDevice(*this, rate, why);
        if (!opened) return false;
        {
            ApiLock hold(*this);
            blockBytes = opened->blockBytes();
            latencyFrames = opened->latencyFrames();
            clocked = opened->followsWallClock();
            device = std::move(opened);
        }
        if (clocked) pacer = std::thread(&Mixer::pacePieces, this);
    }
    isInitialised = true;
    return true;
}

HSTREAM Mixer::createStream(const void* data, std::size_t size, std::string* why) {
    if (!isInitialised) {
        *why = "BASS_StreamCreateFile: not initialised";
        return 0;
    }
    auto s = std::make_unique<Stream>();
    std::string detail;
    s->decoder = backend.openDecoder(data, size, rate, &detail);
    if (!s->decoder) {
        *why = "BASS_StreamCreateFile: " + detail;
        return 0;
    }
    // On a device the callback must never wait for the decoder; offline,
    // the mixing thread may as well decode itself.
    if (const double seconds = backend.decodeAheadSeconds(); !offline && seconds > 0) {
        auto ahead = std::make_unique<DecodeAhead>(std::move(s->decoder), rate, seconds);
        s->ahead = ahead.get();
        s->decoder = std::move(ahead);
    }
    s->scratch.assign(std::size_t(blockBytes), 0);
    ApiLock hold(*this);
    s->handle = nextStream++;
    if (nextStream == 0) nextStream = 1;
    const HSTREAM handle = s->handle;
    streams.push_back(std::move(s));
    return handle;
}

void Mixer::start() {
    {
        // After a pause the music resumes where it stopped; the clock is
        // taken up afresh at the next callback.
        ApiLock hold(*this);
        running = true;
        // A stream played while the output was paused starts with the output.
        std::int64_t now = -1;
        for (auto& s : streams) {
            s->clockStarted = false;
            if (!s->freshPlay) continue;
            if (now < 0) now = deviceNow();
            s->playNs = now;
        }
    }
    if (device) device->start();
    wake.notify_all();
}

bool Mixer::play(HSTREAM handle, std::string* why) {
    // The moment asked for is the stream's start, however long the decoder
    // takes to have its first sound ready; it gets that time outside the
    // lock, so the device goes on meanwhile. (The stream table changes only
    // on this thread; the mixer reads no stream that is not playing.)
    const std::int64_t askedNs = deviceNow();
    Stream* early = isInitialised ? findStream(handle) : nullptr;
    if (early && early->ahead && !early->playing.load(std::memory_order_acquire)) {
        std::string ignored;  // said again below
        early->ahead->rewind(&ignored);
    }
    {
        ApiLock hold(*this);
        Stream* s = isInitialised ? findStream(handle) : nullptr;
        if (!s) {
            *why = "BASS_StreamPlay: no such stream";
            return false;
        }
        std::string detail;
        if (!s->decoder->rewind(&detail)) {
            *why = "BASS_StreamPlay: cannot rewind" + (detail.empty() ? "" : " (" + detail + ")");
            return false;
        }
        s->decoded.store(0, std::memory_order_relaxed);
        s->clockStarted = false;
        s->freshPlay = true;
        s->playNs = askedNs;
        s->holdFrames = 0;
        s->heardFrame.store(-1, std::memory_order_relaxed);
        s->pendingBytes = 0;
        s->pendingEnded = false;
        s->pacing = false;
        s->playing.store(true, std::memory_order_release);
    }
    wake.notify_all();
    if (device) device->streamPlayed();
    return true;
}

void Mixer::stop() {
    {
        ApiLock hold(*this);
        running = false;
    }
    if (device) device->pause();
}

void Mixer::freeStream(HSTREAM handle) {
    std::unique_ptr<Stream> gone;
    {
        ApiLock hold(*this);
        auto it = std::find_if(streams.begin(), streams.end(), [handle](const auto& s) { return s->handle == handle; });
        if (it == streams.end()) return;
        gone = std::move(*it);
        streams.erase(it);
    }
    // Released outside the lock; the mixer no longer sees it.
}

void Mixer::closeOutput() {
    if (device) device->close();  // no block is mixed for it after this
    {
        ApiLock hold(*this);
        quitting = true;
    }
    wake.notify_all();
    pacerWake.notify_all();
    if (offlineThread.joinable()) offlineThread.join();
    if (pacer.joinable()) pacer.join();
    device.reset();
}

void Mixer::freeAll() {
    if (!isInitialised) return;
    closeOutput();  // the mixing threads are gone after this
    streams.clear();
    isInitialised = false;
}

HDSP Mixer::setDsp(BASS_DWORD handle, DSPPROC* proc, BASS_DWORD user) {
    ApiLock hold(*this);
    Stream* s = isInitialised ? findStream(handle) : nullptr;
    if (!s || !proc || s->dspCount == maxDspPerStream) return 0;
    const HDSP dsp = nextDsp++;
    if (s->ahead) s->ahead->setLossless(true);
    s->dsps[s->dspCount++] = Dsp{proc, user, dsp};
    return dsp;
}

bool Mixer::isActive(BASS_DWORD handle) const {
    // No lock: the video writer spins on this while the mixer works, and the
    // stream table only changes on this (the caller's) thread.
    if (!isInitialised) return false;
    const Stream* s = findStream(handle);
    return s && s->playing.load(std::memory_order_acquire);
}

std::uint64_t Mixer::decodedBytes(HSTREAM handle) const {
    const Stream* s = isInitialised ? findStream(handle) : nullptr;
    return s ? s->decoded.load(std::memory_order_relaxed) : 0;
}

// Without the lock, so that asking never holds up the callback: a reading
// torn by a callback under way is taken again.
double Mixer::heardSeconds(HSTREAM handle) {
    const std::int64_t now = deviceNow();
    Stream* s = isInitialised ? findStream(handle) : nullptr;
    if (!s) return 0.0;
    std::int64_t ns = 0, frame = -1, span = 0;
    for (;;) {
        const std::uint32_t before = s->heardVersion.load(std::memory_order_acquire);
        // Acquire loads: the second look at the version comes after them.
        ns = s->heardNs.load(std::memory_order_acquire);
        frame = s->heardFrame.load(std::memory_order_acquire);
        span = s->heardSpan.load(std::memory_order_acquire);
        if (before % 2 == 0 && s->heardVersion.load(std::memory_order_relaxed) == before) break;
        std::this_thread::yield();
    }
    if (!device || frame < 0) return double(s->decoded.load(std::memory_order_relaxed)) / bytesPerFrame / rate;
    // Before the block's first sound the one before it is heard; past its
    // last, nothing new until the next callback.
    const std::int64_t since = std::clamp(framesIn(now - ns), -(latencyFrames + blockBytes / bytesPerFrame), span);
    return double(frame + since) / rate;
}

double Mixer::bufferSeconds() const { return isInitialised && device ? device->bufferSeconds() : 0.0; }

double Mixer::latencySeconds() const { return isInitialised ? double(latencyFrames) / rate : 0.0; }

void Mixer::setClock(std::int64_t (*deviceClock)()) { clock = deviceClock; }

}  // namespace bass
