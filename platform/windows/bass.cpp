// The audio library on Windows: MP3 images decoded by the system's ACM codec
// (platform/windows/mp3decoder.h), mixed on a thread of our own into waveOut
// buffers, or, with the offline output, mixed as fast as they decode with no
// device at all.
#include "platform/bass.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/bassoutput.h"
#include "platform/windows/mp3decoder.h"

namespace {

constexpr int channels = 2;
constexpr int bytesPerFrame = channels * 2;
constexpr int maxDspPerStream = 16;
// Blocks queued on the device: enough to ride out a busy moment of the
// renderer, few enough that the music is not late.
constexpr int deviceBlocks = 4;

struct Dsp {
    DSPPROC* proc;
    BASS_DWORD user;
    HDSP handle;
};

struct Stream {
    HSTREAM handle = 0;
    Mp3Decoder decoder;
    Dsp dsps[maxDspPerStream];
    int dspCount = 0;
    std::atomic<bool> playing{false};
    std::atomic<std::uint64_t> decoded{0};  // bytes through the DSPs since StreamPlay
    std::vector<std::int16_t> scratch;
};

struct Library {
    // Guards the streams against the API; the mixing thread holds it for one
    // block at a time.
    std::mutex lock;
    std::condition_variable wake;
    bool initialised = false;
    bool offline = false;
    int rate = 44100;
    int blockBytes = bass::blockFrames * bytesPerFrame;
    bool running = false;  // between BASS_Start and BASS_Stop
    bool quitting = false;
    std::thread mixer;

    HWAVEOUT device = nullptr;
    HANDLE deviceEvent = nullptr;
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<WAVEHDR> headers;

    std::vector<std::unique_ptr<Stream>> streams;
    HSTREAM nextStream = 1;
    HDSP nextDsp = 1;
    std::vector<std::uint8_t> offlineBlock;
};

Library& library() {
    static Library* instance = new Library;  // lives to the end of the process
    return *instance;
}

// Shared by every backend (platform/bassoutput.cpp).
std::string& errorText = bass::lastErrorText();
bool allowed(bass::Call call) { return bass::callAllowed(call); }

Stream* findStream(Library& lib, BASS_DWORD handle) {
    for (auto& s : lib.streams)
        if (s->handle == handle) return s.get();
    return nullptr;
}

void addSaturated(std::int16_t* out, const std::int16_t* in, int samples) {
    for (int i = 0; i < samples; ++i) out[i] = std::int16_t(std::clamp(int(out[i]) + int(in[i]), -32768, 32767));
}

// One block of output: every playing stream is decoded, shown to its DSP
// procedures and added in. Called with the lock held.
void mixBlock(Library& lib, std::uint8_t* out, int bytes) {
    std::memset(out, 0, std::size_t(bytes));
    const int frames = bytes / bytesPerFrame;
    for (auto& sp : lib.streams) {
        Stream& s = *sp;
        if (!s.playing.load(std::memory_order_relaxed)) continue;
        s.scratch.resize(std::size_t(frames) * channels);
        const int got = s.decoder.read(s.scratch.data(), frames);
        if (got > 0) {
            const BASS_DWORD length = BASS_DWORD(got * bytesPerFrame);
            for (int d = 0; d < s.dspCount; ++d)
                s.dsps[d].proc(s.dsps[d].handle, s.handle, s.scratch.data(), length, s.dsps[d].user);
            addSaturated(reinterpret_cast<std::int16_t*>(out), s.scratch.data(), got * channels);
            s.decoded.fetch_add(length, std::memory_order_relaxed);
        }
        // Only now, after its last block went through the DSPs.
        if (got < frames) s.playing.store(false, std::memory_order_release);
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
        // Let a waiting API call in between blocks.
        hold.unlock();
        std::this_thread::yield();
        hold.lock();
    }
}

// The device output: every buffer the device has finished with is mixed
// again and queued; the device's event says when one comes back.
void deviceMixer(Library* lib) {
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(lib->lock);
            if (lib->quitting) return;
            for (std::size_t i = 0; i < lib->headers.size(); ++i) {
                WAVEHDR& h = lib->headers[i];
                if (h.dwFlags & WHDR_INQUEUE) continue;
                mixBlock(*lib, lib->blocks[i].data(), lib->blockBytes);
                waveOutWrite(lib->device, &h, sizeof h);
            }
        }
        WaitForSingleObject(lib->deviceEvent, 100);
    }
}

bool openDevice(Library& lib) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = DWORD(lib.rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = bytesPerFrame;
    format.nAvgBytesPerSec = DWORD(lib.rate * bytesPerFrame);
    lib.deviceEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const MMRESULT result = waveOutOpen(&lib.device, WAVE_MAPPER, &format, DWORD_PTR(lib.deviceEvent), 0,
                                        CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        char text[MAXERRORLENGTH] = "";
        waveOutGetErrorTextA(result, text, sizeof text);
        errorText = std::string("Couldn't open the audio output (waveOut error ") + std::to_string(result) + ": " +
                    text + ")";
        CloseHandle(lib.deviceEvent);
        lib.deviceEvent = nullptr;
        lib.device = nullptr;
        return false;
    }
    // Paused until BASS_Start, as the library does.
    waveOutPause(lib.device);
    lib.blocks.assign(deviceBlocks, std::vector<std::uint8_t>(std::size_t(lib.blockBytes), 0));
    lib.headers.assign(deviceBlocks, WAVEHDR{});
    for (int i = 0; i < deviceBlocks; ++i) {
        WAVEHDR& h = lib.headers[std::size_t(i)];
        h.lpData = reinterpret_cast<LPSTR>(lib.blocks[std::size_t(i)].data());
        h.dwBufferLength = DWORD(lib.blockBytes);
        waveOutPrepareHeader(lib.device, &h, sizeof h);
    }
    return true;
}

void closeOutput(Library& lib) {
    {
        std::lock_guard<std::mutex> hold(lib.lock);
        lib.quitting = true;
    }
    lib.wake.notify_all();
    if (lib.deviceEvent) SetEvent(lib.deviceEvent);
    if (lib.mixer.joinable()) lib.mixer.join();
    if (lib.device) {
        waveOutReset(lib.device);  // hands every queued buffer back
        for (WAVEHDR& h : lib.headers) waveOutUnprepareHeader(lib.device, &h, sizeof h);
        waveOutClose(lib.device);
        lib.device = nullptr;
    }
    if (lib.deviceEvent) CloseHandle(lib.deviceEvent);
    lib.deviceEvent = nullptr;
    lib.headers.clear();
    lib.blocks.clear();
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
    lib.rate = int(freq);
    lib.offline = bass::offlineOutput();
    lib.running = false;
    lib.quitting = false;
    lib.blockBytes = bass::blockFrames * bytesPerFrame;
    if (lib.offline) {
        lib.offlineBlock.assign(std::size_t(lib.blockBytes), 0);
        lib.mixer = std::thread(offlineMixer, &lib);
    } else {
        if (!openDevice(lib)) return 0;
        lib.mixer = std::thread(deviceMixer, &lib);
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
    std::string why;
    if (!s->decoder.open(static_cast<const std::uint8_t*>(file) + offset, length, lib.rate, &why)) {
        errorText = "BASS_StreamCreateFile: " + why;
        return 0;
    }
    std::lock_guard<std::mutex> hold(lib.lock);
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
    {
        std::lock_guard<std::mutex> hold(lib.lock);
        lib.running = true;
    }
    if (lib.device) waveOutRestart(lib.device);
    lib.wake.notify_all();
    return 1;
}

BASS_BOOL BASS_StreamPlay(HSTREAM handle, BASS_BOOL /*flush*/, BASS_DWORD /*flags*/) {
    if (!allowed(bass::Call::StreamPlay)) return 0;
    Library& lib = library();
    {
        std::lock_guard<std::mutex> hold(lib.lock);
        Stream* s = lib.initialised ? findStream(lib, handle) : nullptr;
        if (!s) {
            errorText = "BASS_StreamPlay: no such stream";
            return 0;
        }
        if (!s->decoder.rewind()) {
            errorText = "BASS_StreamPlay: cannot rewind";
            return 0;
        }
        s->decoded.store(0, std::memory_order_relaxed);
        s->playing.store(true, std::memory_order_release);
    }
    lib.wake.notify_all();
    return 1;
}

BASS_BOOL BASS_Stop() {
    if (!allowed(bass::Call::Stop)) return 0;
    Library& lib = library();
    if (!lib.initialised) return 0;
    {
        std::lock_guard<std::mutex> hold(lib.lock);
        lib.running = false;
    }
    if (lib.device) waveOutPause(lib.device);
    return 1;
}

void BASS_StreamFree(HSTREAM handle) {
    if (!allowed(bass::Call::StreamFree)) return;
    Library& lib = library();
    std::unique_ptr<Stream> gone;
    {
        std::lock_guard<std::mutex> hold(lib.lock);
        auto it = std::find_if(lib.streams.begin(), lib.streams.end(),
                               [handle](const auto& s) { return s->handle == handle; });
        if (it == lib.streams.end()) return;
        gone = std::move(*it);
        lib.streams.erase(it);
    }
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
    std::lock_guard<std::mutex> hold(lib.lock);
    Stream* s = lib.initialised ? findStream(lib, handle) : nullptr;
    if (!s || !proc || s->dspCount == maxDspPerStream) return 0;
    const HDSP dsp = lib.nextDsp++;
    s->dsps[s->dspCount++] = Dsp{proc, user, dsp};
    return dsp;
}

BASS_DWORD BASS_ChannelIsActive(BASS_DWORD handle) {
    if (!allowed(bass::Call::ChannelIsActive)) return 0;
    // No lock: the video writer polls this while the mixer works, and the
    // stream table only changes on the caller's thread.
    Library& lib = library();
    if (!lib.initialised) return 0;
    const Stream* s = findStream(lib, handle);
    return s && s->playing.load(std::memory_order_acquire) ? 1 : 0;
}

namespace bass {

double outputBufferSeconds() {
    const Library& lib = library();
    if (!lib.initialised || lib.offline) return 0.0;
    return double(deviceBlocks) * lib.blockBytes / bytesPerFrame / lib.rate;
}

double outputLatencySeconds() {
    // A block is heard once the ones queued before it have played.
    const Library& lib = library();
    if (!lib.initialised || lib.offline) return 0.0;
    return double(deviceBlocks - 1) * lib.blockBytes / bytesPerFrame / lib.rate;
}

std::uint64_t decodedBytes(HSTREAM handle) {
    Library& lib = library();
    const Stream* s = lib.initialised ? findStream(lib, handle) : nullptr;
    return s ? s->decoded.load(std::memory_order_relaxed) : 0;
}
}  // namespace bass
