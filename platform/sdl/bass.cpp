#include "platform/bass.h"

#include <SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/bassoutput.h"

namespace {

constexpr int channels = 2;
constexpr int bytesPerFrame = channels * 2;
constexpr int maxDspPerStream = 16;

// The MP3 image is read straight from the caller's memory; mpg123 pulls
// from it through these callbacks, so the mixer never waits on a file.
struct MemoryReader {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
};

ssize_t readMemory(void* handle, void* buffer, std::size_t count) {
    auto* reader = static_cast<MemoryReader*>(handle);
    const std::size_t n = std::min(count, reader->size - reader->pos);
    std::memcpy(buffer, reader->data + reader->pos, n);
    reader->pos += n;
    return ssize_t(n);
}

off_t seekMemory(void* handle, off_t offset, int whence) {
    auto* reader = static_cast<MemoryReader*>(handle);
    off_t base = 0;
    if (whence == SEEK_CUR) base = off_t(reader->pos);
    else if (whence == SEEK_END) base = off_t(reader->size);
    else if (whence != SEEK_SET) return -1;
    const off_t target = base + offset;
    if (target < 0 || target > off_t(reader->size)) return -1;
    reader->pos = std::size_t(target);
    return target;
}

struct Dsp {
    DSPPROC* proc;
    BASS_DWORD user;
    HDSP handle;
};

struct Stream {
    HSTREAM handle = 0;
    mpg123_handle* decoder = nullptr;
    MemoryReader reader;
    Dsp dsps[maxDspPerStream];
    int dspCount = 0;
    std::atomic<bool> playing{false};
    std::atomic<std::uint64_t> decoded{0};  // bytes played or skipped since StreamPlay
    std::vector<unsigned char> scratch;     // one block, decoded before mixing

    // A stream with DSP procedures on a device: the next block for the
    // output, shown to them piece by piece (see pacePieces).
    std::vector<unsigned char> pending;
    int pendingBytes = 0;
    bool pendingEnded = false;  // the stream's last sound is in it
    bool pacing = false;        // from the first callback after BASS_StreamPlay

    // Keeping pace with the wall clock on a device (see keepOnWallClock).
    std::int64_t playNs = 0;  // device clock at BASS_StreamPlay
    bool clockStarted = false;
    std::int64_t clockStartNs = 0;
    std::int64_t baselineFrames = 0;
    int driftStreak = 0;  // callbacks in a row beyond the limit; sign = direction
    int holdBlocks = 0;   // blocks of silence still to play instead of the stream

    ~Stream() {
        if (decoder) mpg123_delete(decoder);
    }
};

struct Library {
    // Guards the mixer state against the API. The mixing thread holds it for
    // one block at a time; the API never calls into SDL while holding it (the
    // device's own lock is taken around the callback, which takes this one).
    std::mutex lock;
    bool initialised = false;
    bool offline = false;
    int rate = 44100;
    SDL_AudioDeviceID device = 0;
    double bufferSeconds = 0.0;
    std::int64_t latencyFrames = 0;  // from a block's callback until it is heard
    int blockBytes = bass::blockFrames * bytesPerFrame;

    std::vector<std::unique_ptr<Stream>> streams;  // changed only under lock
    HSTREAM nextStream = 1;
    HDSP nextDsp = 1;

    // Offline output.
    std::thread mixer;
    std::condition_variable wake;
    bool running = false;  // between BASS_Start and BASS_Stop
    bool quitting = false;
    std::vector<unsigned char> offlineBlock;
    std::atomic<int> apiWaiting{0};

    // Device output: the thread that shows hooked streams their sound in
    // pieces between callbacks.
    std::thread pacer;
    std::condition_variable pacerWake;
    std::chrono::steady_clock::time_point lastCallback;
};

Library& library() {
    static Library* instance = new Library;  // lives to the end of the process
    return *instance;
}

// The API's hold on the mixer state. The offline mixer takes the lock back
// right after each block, and a plain mutex would let it win every time; it
// steps aside while an API call is waiting.
class ApiLock {
public:
    explicit ApiLock(Library& lib) : lib(lib) {
        lib.apiWaiting.fetch_add(1);
        lib.lock.lock();
        lib.apiWaiting.fetch_sub(1);
        lib.apiWaiting.notify_all();
    }
    ~ApiLock() { lib.lock.unlock(); }
    ApiLock(const ApiLock&) = delete;
    ApiLock& operator=(const ApiLock&) = delete;

private:
    Library& lib;
};

// Shared by every backend (platform/bassoutput.cpp).
std::string& errorText = bass::lastErrorText();
bool allowed(bass::Call call) { return bass::callAllowed(call); }

Stream* findStream(Library& lib, BASS_DWORD handle) {
    for (auto& s : lib.streams)
        if (s->handle == handle) return s.get();
    return nullptr;
}

// Decodes up to `bytes` into `to`; fewer means the stream has ended.
int decodeInto(Stream& s, unsigned char* to, int bytes) {
    int filled = 0;
    while (filled < bytes) {
        std::size_t done = 0;
        const int r = mpg123_read(s.decoder, to + filled, std::size_t(bytes - filled), &done);
        filled += int(done);
        if (r == MPG123_NEW_FORMAT || (r == MPG123_OK && done > 0)) continue;
        if (r != MPG123_OK || done == 0) break;  // done, or an error: the stream ends here
    }
    return filled - filled % bytesPerFrame;
}

void addSaturated(std::int16_t* out, const std::int16_t* in, int samples) {
    for (int i = 0; i < samples; ++i) {
        const int v = int(out[i]) + int(in[i]);
        out[i] = std::int16_t(std::clamp(v, -32768, 32767));
    }
}

int decodeBlock(Stream& s, int bytes) { return decodeInto(s, s.scratch.data(), bytes); }

void runDsps(Stream& s, unsigned char* data, int bytes) {
    for (int d = 0; d < s.dspCount; ++d) s.dsps[d].proc(s.dsps[d].handle, s.handle, data, BASS_DWORD(bytes), s.dsps[d].user);
}

// Real-time capture waits, frame by frame, for fresh sound from the DSP
// procedures; fed whole 1024-frame blocks it would wait for two of them for
// every frame of 1102 and run at half speed. So on a device a stream with DSP
// procedures shows them its sound in small pieces, spread by the pacer thread
// over the time of the block before the one the device is playing; each
// callback completes its block (the pieces the pacer has not reached yet)
// and plays it.
constexpr int pieceBytes = bass::captureFrames * bytesPerFrame;

bool paced(const Library& lib, const Stream& s) { return !lib.offline && s.dspCount > 0; }

// Shows the stream pieces of its pending block up to `upTo` bytes.
void fillPending(Library& lib, Stream& s, int upTo) {
    if (int(s.pending.size()) != lib.blockBytes) {
        s.pending.assign(std::size_t(lib.blockBytes), 0);
        s.pendingBytes = 0;
    }
    upTo = std::min(upTo, lib.blockBytes);
    while (!s.pendingEnded && s.pendingBytes < upTo) {
        const int want = std::min(pieceBytes, upTo - s.pendingBytes);
        unsigned char* piece = s.pending.data() + s.pendingBytes;
        const int got = decodeInto(s, piece, want);
        if (got > 0) runDsps(s, piece, got);
        s.pendingBytes += got;
        if (got < want) s.pendingEnded = true;
    }
}

void mixPaced(Library& lib, Stream& s, unsigned char* out, int bytes) {
    fillPending(lib, s, bytes);
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
// procedures and added in. Called with the library lock held.
void mixBlock(Library& lib, unsigned char* out, int bytes) {
    std::memset(out, 0, std::size_t(bytes));
    for (auto& sp : lib.streams) {
        Stream& s = *sp;
        if (!s.playing.load(std::memory_order_relaxed)) continue;
        if (s.holdBlocks > 0) {
            --s.holdBlocks;
            continue;
        }
        if (paced(lib, s)) {
            mixPaced(lib, s, out, bytes);
            continue;
        }
        int offset = 0;
        while (offset < bytes) {
            const int want = std::min(bytes - offset, int(s.scratch.size()));
            const int got = decodeBlock(s, want);
            if (got > 0) {
                runDsps(s, s.scratch.data(), got);
                addSaturated(reinterpret_cast<std::int16_t*>(out + offset),
                             reinterpret_cast<const std::int16_t*>(s.scratch.data()), got / 2);
                offset += got;
                s.decoded.fetch_add(std::uint64_t(got), std::memory_order_relaxed);
            }
            if (got < want) {
                // Only now, after its last block went through the DSPs.
                s.playing.store(false, std::memory_order_release);
                break;
            }
        }
    }
}

std::int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t (*deviceClock)() = steadyNanoseconds;

// The picture is timed by the system tick, so a stream on a device must not
// wander from it. SDL's dummy and disk outputs pace themselves with sleeps
// that run a little fast when idle and fall behind for good when the machine
// is busy, and a real device that underruns loses the time it starved.
//
// At its first callback a stream starts as far in as the clock already is
// (the time since BASS_StreamPlay plus the output's latency), so what is
// heard lines up with the moment it was asked to play; the few milliseconds
// skipped are the clip's very start. At every later callback its position is compared with the time since then; the offset of the first
// half second (how much the device buffers ahead) is learned as the
// baseline, and a drift from it beyond the limit for several callbacks in a
// row is put right: skipped forward when behind, held back by whole blocks of
// silence when ahead. A stream with DSP procedures is never moved: they must
// see every sample, in order.
constexpr std::int64_t driftLimitFrames = bass::blockFrames / 2;  // 11.6 ms: under a frame at 60 Hz
constexpr int driftPatience = 4;

void skipFrames(Stream& s, std::int64_t frames) {
    if (mpg123_seek(s.decoder, off_t(frames), SEEK_CUR) >= 0)
        s.decoded.fetch_add(std::uint64_t(frames) * bytesPerFrame, std::memory_order_relaxed);
}

void keepOnWallClock(Library& lib, Stream& s, std::int64_t now) {
    if (s.dspCount > 0 || s.holdBlocks > 0) return;
    if (!s.clockStarted) {
        const std::int64_t bufferFrames = lib.blockBytes / bytesPerFrame;
        const std::int64_t late = (now - s.playNs) * lib.rate / 1000000000;
        // Not after a paused output: then it starts from the top.
        if (late >= 0 && late <= 2 * bufferFrames) skipFrames(s, late + lib.latencyFrames);
    }
    const std::int64_t position = std::int64_t(s.decoded.load(std::memory_order_relaxed) / bytesPerFrame);
    if (!s.clockStarted) {
        s.clockStarted = true;
        s.clockStartNs = now - position * 1000000000 / lib.rate;
        s.baselineFrames = 0;
        s.driftStreak = 0;
        return;
    }
    const std::int64_t elapsed = (now - s.clockStartNs) * lib.rate / 1000000000;
    const std::int64_t offset = position - elapsed;  // positive: ahead of the clock
    if (elapsed < lib.rate / 2) {
        s.baselineFrames = std::max(s.baselineFrames, offset);
        return;
    }
    const std::int64_t drift = offset - s.baselineFrames;
    if (drift < -driftLimitFrames) s.driftStreak = std::min(s.driftStreak, 0) - 1;
    else if (drift > driftLimitFrames) s.driftStreak = std::max(s.driftStreak, 0) + 1;
    else s.driftStreak = 0;
    if (s.driftStreak <= -driftPatience) {
        skipFrames(s, -drift);
        s.driftStreak = 0;
    } else if (s.driftStreak >= driftPatience) {
        const std::int64_t block = lib.blockBytes / bytesPerFrame;
        s.holdBlocks = int(std::max<std::int64_t>(1, (drift + block / 2) / block));
        s.driftStreak = 0;
    }
}

void deviceCallback(void* user, Uint8* out, int len) {
    auto& lib = *static_cast<Library*>(user);
    const std::int64_t now = deviceClock();
    std::lock_guard<std::mutex> hold(lib.lock);
    for (auto& s : lib.streams)
        if (s->playing.load(std::memory_order_relaxed)) keepOnWallClock(lib, *s, now);
    mixBlock(lib, out, len);
    lib.lastCallback = std::chrono::steady_clock::now();
    lib.pacerWake.notify_all();
}

// Between two callbacks: piece k of a hooked stream's next block is due k
// pieces' time after the last callback.
void pacePieces(Library* lib) {
    using Clock = std::chrono::steady_clock;
    const auto pieceTime = std::chrono::nanoseconds(std::int64_t(1e9 * bass::captureFrames / lib->rate));
    std::unique_lock<std::mutex> hold(lib->lock);
    while (!lib->quitting) {
        Clock::time_point next = Clock::time_point::max();
        for (auto& sp : lib->streams) {
            Stream& s = *sp;
            if (!s.playing.load(std::memory_order_relaxed) || !paced(*lib, s) || !s.pacing || s.pendingEnded) continue;
            const int pieces = lib->blockBytes / pieceBytes;
            const int due = int(std::min<std::int64_t>((Clock::now() - lib->lastCallback) / pieceTime + 1, pieces));
            fillPending(*lib, s, due * pieceBytes);
            if (s.pendingBytes < lib->blockBytes) next = std::min(next, lib->lastCallback + due * pieceTime);
        }
        if (next == Clock::time_point::max())
            lib->pacerWake.wait(hold);
        else
            lib->pacerWake.wait_until(hold, next);
    }
}

bool anyPlaying(const Library& lib) {
    for (auto& s : lib.streams)
        if (s->playing.load(std::memory_order_relaxed)) return true;
    return false;
}

// The offline output: block after block, as fast as the decoder goes, for
// as long as the output runs and something plays.
void offlineMixer(Library* lib) {
    std::unique_lock<std::mutex> hold(lib->lock);
    for (;;) {
        lib->wake.wait(hold, [lib] { return lib->quitting || (lib->running && anyPlaying(*lib)); });
        if (lib->quitting) return;
        mixBlock(*lib, lib->offlineBlock.data(), lib->blockBytes);
        hold.unlock();
        for (int waiting; (waiting = lib->apiWaiting.load()) > 0;) lib->apiWaiting.wait(waiting);
        hold.lock();
    }
}

bool openDevice(Library& lib, int freq) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        errorText = std::string("Couldn't initialise audio: ") + SDL_GetError();
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = freq;
    want.format = AUDIO_S16SYS;
    want.channels = channels;
    want.samples = bass::blockFrames;
    want.callback = deviceCallback;
    want.userdata = &lib;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts whatever the hardware wants, so the
    // callback always mixes 16-bit stereo at the asked rate.
    lib.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (lib.device == 0) {
        errorText = std::string("Couldn't open audio device (driver ") +
                    (SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "none") + "): " + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    lib.blockBytes = int(have.samples) * bytesPerFrame;
    lib.bufferSeconds = double(have.samples) / double(have.freq);
    // A sound card plays the block it is given after the one it is playing;
    // SDL's dummy and disk outputs take it at once. (A real device may buffer
    // more; SDL does not say, so one buffer is the estimate.)
    const char* driver = SDL_GetCurrentAudioDriver();
    const bool immediate = driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0);
    lib.latencyFrames = immediate ? 0 : std::int64_t(have.samples);
    return true;
}

void closeOutput(Library& lib) {
    if (lib.offline) {
        {
            ApiLock hold(lib);
            lib.quitting = true;
        }
        lib.wake.notify_all();
        if (lib.mixer.joinable()) lib.mixer.join();
    } else if (lib.device != 0) {
        SDL_CloseAudioDevice(lib.device);  // waits for a running callback
        lib.device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        {
            ApiLock hold(lib);
            lib.quitting = true;
        }
        lib.pacerWake.notify_all();
        if (lib.pacer.joinable()) lib.pacer.join();
    }
}

}  // namespace

BASS_BOOL BASS_Init(int device, BASS_DWORD freq, BASS_DWORD /*flags*/, void* /*win*/) {
    if (!allowed(bass::Call::Init)) return 0;
    Library& lib = library();
    if (lib.initialised) {
        errorText = "BASS_Init: already initialised";
        return 0;
    }
    if (device != -1 && device != 1) {
        errorText = "BASS_Init: no such device " + std::to_string(device);
        return 0;
    }
    if (freq == 0) freq = 44100;
    if (freq < 8000 || freq > 192000) {
        errorText = "BASS_Init: unsupported rate " + std::to_string(freq);
        return 0;
    }
    if (mpg123_init() != MPG123_OK) {  // a no-op since 1.27, kept for older ones
        errorText = "BASS_Init: the MP3 decoder failed to initialise";
        return 0;
    }
    lib.rate = int(freq);
    lib.offline = bass::offlineOutput();
    lib.running = false;
    lib.quitting = false;
    lib.bufferSeconds = 0.0;
    lib.latencyFrames = 0;
    lib.blockBytes = bass::blockFrames * bytesPerFrame;
    if (lib.offline) {
        lib.offlineBlock.assign(std::size_t(lib.blockBytes), 0);
        lib.mixer = std::thread(offlineMixer, &lib);
    } else if (!openDevice(lib, int(freq))) {
        return 0;
    } else {
        lib.pacer = std::thread(pacePieces, &lib);
    }
    lib.initialised = true;
    return 1;
}

HSTREAM BASS_StreamCreateFile(BASS_BOOL mem, const void* file, BASS_DWORD offset, BASS_DWORD length,
                              BASS_DWORD /*flags*/) {
    if (!allowed(bass::Call::StreamCreateFile)) return 0;
    Library& lib = library();
    if (!lib.initialised) {
        errorText = "BASS_StreamCreateFile: not initialised";
        return 0;
    }
    if (!mem) {
        errorText = "BASS_StreamCreateFile: only memory images are supported";
        return 0;
    }
    // A clip missing from the pack arrives as null with size -1.
    if (file == nullptr || length == 0 || length == BASS_DWORD(-1)) {
        errorText = "BASS_StreamCreateFile: no data";
        return 0;
    }

    auto s = std::make_unique<Stream>();
    s->reader.data = static_cast<const unsigned char*>(file) + offset;
    s->reader.size = length;
    int err = MPG123_OK;
    s->decoder = mpg123_new(nullptr, &err);
    if (!s->decoder) {
        errorText = std::string("BASS_StreamCreateFile: ") + mpg123_plain_strerror(err);
        return 0;
    }
    mpg123_handle* mh = s->decoder;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    // Whatever the clip's rate and channels, decode to the output format.
    mpg123_format_none(mh);
    mpg123_format(mh, lib.rate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    long rate = 0;
    int ch = 0, enc = 0;
    if (mpg123_replace_reader_handle(mh, readMemory, seekMemory, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh, &s->reader) != MPG123_OK || mpg123_getformat(mh, &rate, &ch, &enc) != MPG123_OK) {
        errorText = std::string("BASS_StreamCreateFile: not an MP3 stream (") + mpg123_strerror(mh) + ")";
        return 0;
    }
    if (rate != lib.rate || ch != channels || enc != MPG123_ENC_SIGNED_16) {
        errorText = "BASS_StreamCreateFile: the decoder cannot convert this stream to the output format";
        return 0;
    }
    // Decodable means at least one frame of sound comes out.
    unsigned char probe[bytesPerFrame * 64];
    std::size_t done = 0;
    mpg123_read(mh, probe, sizeof probe, &done);
    if (done == 0 || mpg123_seek(mh, 0, SEEK_SET) < 0) {
        errorText = "BASS_StreamCreateFile: the MP3 stream holds no sound";
        return 0;
    }
    s->scratch.assign(std::size_t(lib.blockBytes), 0);

    ApiLock hold(lib);
    s->handle = lib.nextStream++;
    if (lib.nextStream == 0) lib.nextStream = 1;
    const HSTREAM handle = s->handle;
    lib.streams.push_back(std::move(s));
    return handle;
}

BASS_BOOL BASS_Start() {
    if (!allowed(bass::Call::Start)) return 0;
    Library& lib = library();
    if (!lib.initialised) return 0;
    if (lib.offline) {
        {
            ApiLock hold(lib);
            lib.running = true;
        }
        lib.wake.notify_all();
    } else {
        {
            // After a pause the music resumes where it stopped; the clock
            // is taken up afresh at the next callback.
            ApiLock hold(lib);
            for (auto& s : lib.streams) s->clockStarted = false;
        }
        SDL_PauseAudioDevice(lib.device, 0);
    }
    return 1;
}

BASS_BOOL BASS_StreamPlay(HSTREAM handle, BASS_BOOL /*flush*/, BASS_DWORD /*flags*/) {
    if (!allowed(bass::Call::StreamPlay)) return 0;
    Library& lib = library();
    {
        ApiLock hold(lib);
        Stream* s = lib.initialised ? findStream(lib, handle) : nullptr;
        if (!s) {
            errorText = "BASS_StreamPlay: no such stream";
            return 0;
        }
        if (mpg123_seek(s->decoder, 0, SEEK_SET) < 0) {
            errorText = std::string("BASS_StreamPlay: cannot rewind (") + mpg123_strerror(s->decoder) + ")";
            return 0;
        }
        s->decoded.store(0, std::memory_order_relaxed);
        s->clockStarted = false;
        s->playNs = deviceClock();
        s->holdBlocks = 0;
        s->pendingBytes = 0;
        s->pendingEnded = false;
        s->pacing = false;
        s->playing.store(true, std::memory_order_release);
    }
    lib.wake.notify_all();
    return 1;
}

BASS_BOOL BASS_Stop() {
    if (!allowed(bass::Call::Stop)) return 0;
    Library& lib = library();
    if (!lib.initialised) return 0;
    if (lib.offline) {
        ApiLock hold(lib);
        lib.running = false;
    } else {
        SDL_PauseAudioDevice(lib.device, 1);
    }
    return 1;
}

void BASS_StreamFree(HSTREAM handle) {
    if (!allowed(bass::Call::StreamFree)) return;
    Library& lib = library();
    std::unique_ptr<Stream> gone;
    {
        ApiLock hold(lib);
        auto it = std::find_if(lib.streams.begin(), lib.streams.end(),
                               [handle](const auto& s) { return s->handle == handle; });
        if (it == lib.streams.end()) return;
        gone = std::move(*it);
        lib.streams.erase(it);
    }
    // Released outside the lock; the mixer no longer sees it.
}

void BASS_Free() {
    if (!allowed(bass::Call::Free)) return;
    Library& lib = library();
    if (!lib.initialised) return;
    closeOutput(lib);  // the mixing thread is gone after this
    lib.streams.clear();
    lib.initialised = false;
}

HDSP BASS_ChannelSetDSP(BASS_DWORD handle, DSPPROC* proc, BASS_DWORD user) {
    if (!allowed(bass::Call::ChannelSetDSP)) return 0;
    Library& lib = library();
    ApiLock hold(lib);
    Stream* s = lib.initialised ? findStream(lib, handle) : nullptr;
    if (!s || !proc || s->dspCount == maxDspPerStream) return 0;
    const HDSP dsp = lib.nextDsp++;
    s->dsps[s->dspCount++] = Dsp{proc, user, dsp};
    return dsp;
}

BASS_DWORD BASS_ChannelIsActive(BASS_DWORD handle) {
    if (!allowed(bass::Call::ChannelIsActive)) return 0;
    // No lock: the video writer spins on this while the mixer works, and the
    // stream table only changes on this (the caller's) thread.
    Library& lib = library();
    if (!lib.initialised) return 0;
    const Stream* s = findStream(lib, handle);
    return s && s->playing.load(std::memory_order_acquire) ? 1 : 0;
}

namespace bass {

double outputBufferSeconds() {
    const Library& lib = library();
    return lib.initialised ? lib.bufferSeconds : 0.0;
}

double outputLatencySeconds() {
    const Library& lib = library();
    return lib.initialised ? double(lib.latencyFrames) / lib.rate : 0.0;
}

std::uint64_t decodedBytes(HSTREAM handle) {
    Library& lib = library();
    const Stream* s = lib.initialised ? findStream(lib, handle) : nullptr;
    return s ? s->decoded.load(std::memory_order_relaxed) : 0;
}

void setDeviceClock(std::int64_t (*clock)()) { deviceClock = clock ? clock : steadyNanoseconds; }
}  // namespace bass
