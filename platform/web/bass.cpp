// The audio-library subset over Web Audio. The browser decodes the MP3 image
// into 16-bit stereo held here (trimmed to the clip by its LAME tag where
// the browser did not, so that sample 0 is the clip's first sample); the page's audio output pulls blocks of blockFrames
// through qvoAudioMix, which runs the DSP procedures on every block in order
// before the block is heard. The page places the first block so that sample
// 0 is heard at the moment of BASS_StreamPlay, on the same clock as
// GetTickCount; blocks it must pass over to stay there still go through the
// DSP procedures.
#include "platform/bassoutput.h"

#include "platform/web/browser.h"
#include "platform/mp3info.h"

#include <emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Dsp {
    DSPPROC* proc;
    BASS_DWORD user;
    HDSP handle;
};

struct Stream {
    HSTREAM handle = 0;
    std::int16_t* pcm = nullptr;  // interleaved stereo, malloc'ed by the page
    std::int64_t frames = 0;
    std::int64_t position = 0;  // next frame to mix
    bool playing = false;
    std::vector<Dsp> dsps;

    ~Stream() { std::free(pcm); }
};

struct Library {
    bool initialised = false;
    bool outputStarted = false;
    std::vector<std::unique_ptr<Stream>> streams;
    HSTREAM nextHandle = 1;
    HDSP nextDsp = 1;
};

Library& library() {
    static Library lib;
    return lib;
}

Stream* findStream(BASS_DWORD handle) {
    for (auto& s : library().streams)
        if (s->handle == handle) return s.get();
    return nullptr;
}

bool anyPlaying() {
    for (auto& s : library().streams)
        if (s->playing) return true;
    return false;
}

void addSaturated(std::int16_t* out, const std::int16_t* in, int samples) {
    for (int i = 0; i < samples; ++i) out[i] = std::int16_t(std::clamp(out[i] + in[i], -32768, 32767));
}

// A decoder that ignores the LAME tag returns the encoder's delay and its
// own before the clip and the padding after it; a decode longer than the tag
// says is cut to the clip. (Chromium honours the tag: nothing to cut.)
void trimToClip(std::int16_t* pcm, int& frames, const unsigned char* image, std::size_t bytes) {
    mp3::Info info;
    if (!mp3::readInfo(image, bytes, info) || info.sampleFrames < 0 || frames <= info.sampleFrames) return;
    const std::int64_t delay = info.encoderDelay + mp3::decoderDelay;
    const std::int64_t skip = frames >= delay + info.sampleFrames ? delay : 0;
    std::memmove(pcm, pcm + skip * 2, std::size_t(info.sampleFrames) * 4);
    frames = int(info.sampleFrames);
}

}  // namespace

// The page's audio output asks for the next `frames` sample frames (at most
// blockFrames) of every playing stream, mixed, into `out`.
extern "C" EMSCRIPTEN_KEEPALIVE void qvoAudioMix(std::int16_t* out, int frames) {
    static std::vector<std::int16_t> block;
    std::memset(out, 0, std::size_t(frames) * 4);
    for (auto& s : library().streams) {
        if (!s->playing) continue;
        block.assign(std::size_t(frames) * 2, 0);
        const std::int64_t available = std::clamp<std::int64_t>(s->frames - s->position, 0, frames);
        std::memcpy(block.data(), s->pcm + s->position * 2, std::size_t(available) * 4);
        for (const Dsp& d : s->dsps) d.proc(d.handle, s->handle, block.data(), BASS_DWORD(frames) * 4, d.user);
        addSaturated(out, block.data(), frames * 2);
        s->position += frames;
        if (s->position >= s->frames) s->playing = false;
    }
    if (library().outputStarted && !anyPlaying()) {
        qvo_audio_stop();
        library().outputStarted = false;
    }
}

BASS_BOOL BASS_Init(int device, BASS_DWORD freq, BASS_DWORD, void*) {
    if (!bass::callAllowed(bass::Call::Init)) return 0;
    Library& lib = library();
    if (lib.initialised) {
        bass::lastErrorText() = "BASS_Init: already initialised";
        return 0;
    }
    if (device != -1 && device != 1) {
        bass::lastErrorText() = "BASS_Init: no such device " + std::to_string(device);
        return 0;
    }
    if (bass::offlineOutput()) {
        bass::lastErrorText() = "BASS_Init: the browser plays sound only in real time";
        return 0;
    }
    if (!qvo_audio_open(int(freq))) {
        bass::lastErrorText() = "BASS_Init: the page has no running audio context";
        return 0;
    }
    lib.initialised = true;
    bass::lastErrorText().clear();
    return 1;
}

HSTREAM BASS_StreamCreateFile(BASS_BOOL mem, const void* file, BASS_DWORD offset, BASS_DWORD length, BASS_DWORD) {
    if (!bass::callAllowed(bass::Call::StreamCreateFile)) return 0;
    Library& lib = library();
    if (!lib.initialised) {
        bass::lastErrorText() = "BASS_StreamCreateFile: not initialised";
        return 0;
    }
    if (!mem || !file || length == 0) {
        bass::lastErrorText() = "BASS_StreamCreateFile: only memory images are supported";
        return 0;
    }
    int frames = 0;
    std::int16_t* pcm = qvo_audio_decode(static_cast<const char*>(file) + offset, int(length), &frames);
    if (!pcm || frames <= 0) {
        std::free(pcm);
        bass::lastErrorText() = "BASS_StreamCreateFile: the browser could not decode the MP3 image";
        return 0;
    }
    trimToClip(pcm, frames, static_cast<const unsigned char*>(file) + offset, length);
    auto s = std::make_unique<Stream>();
    s->handle = lib.nextHandle++;
    s->pcm = pcm;
    s->frames = frames;
    lib.streams.push_back(std::move(s));
    return lib.streams.back()->handle;
}

BASS_BOOL BASS_Start() { return library().initialised ? 1 : 0; }

BASS_BOOL BASS_StreamPlay(HSTREAM handle, BASS_BOOL, BASS_DWORD) {
    if (!bass::callAllowed(bass::Call::StreamPlay)) return 0;
    Stream* s = library().initialised ? findStream(handle) : nullptr;
    if (!s) {
        bass::lastErrorText() = "BASS_StreamPlay: no such stream";
        return 0;
    }
    s->position = 0;
    s->playing = true;
    // The page places the output on the clock as of this call.
    if (!library().outputStarted) qvo_audio_play();
    library().outputStarted = true;
    return 1;
}

BASS_BOOL BASS_Stop() {
    Library& lib = library();
    if (!lib.initialised) return 0;
    if (lib.outputStarted) qvo_audio_stop();
    lib.outputStarted = false;
    return 1;
}

void BASS_StreamFree(HSTREAM handle) {
    auto& streams = library().streams;
    streams.erase(std::remove_if(streams.begin(), streams.end(), [&](const auto& s) { return s->handle == handle; }),
                  streams.end());
}

void BASS_Free() {
    Library& lib = library();
    if (!lib.initialised) return;
    BASS_Stop();
    lib.streams.clear();
    lib.initialised = false;
}

HDSP BASS_ChannelSetDSP(BASS_DWORD handle, DSPPROC* proc, BASS_DWORD user) {
    Stream* s = library().initialised ? findStream(handle) : nullptr;
    if (!s || !proc) return 0;
    const HDSP dsp = library().nextDsp++;
    s->dsps.push_back(Dsp{proc, user, dsp});
    return dsp;
}

BASS_DWORD BASS_ChannelIsActive(BASS_DWORD handle) {
    const Stream* s = library().initialised ? findStream(handle) : nullptr;
    return s && s->playing ? 1 : 0;
}

namespace bass {

double outputBufferSeconds() { return 0.0; }
double outputLatencySeconds() { return 0.0; }

std::uint64_t decodedBytes(HSTREAM handle) {
    const Stream* s = findStream(handle);
    return s ? std::uint64_t(s->position) * 4 : 0;
}

}  // namespace bass

// A check of the DSP hook from the page: a procedure on the first stream
// that compares every block it is handed with the clip at the place the
// block should come from. qvoWatchedBlocks() counts the blocks seen,
// qvoMisplacedBlocks() those that were not the next part of the clip.
namespace {
int watched = 0;
int misplaced = 0;
std::int64_t expectedFrame = 0;
const Stream* watchedStream = nullptr;

void watchBlock(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    const std::int64_t frames = length / 4;
    const std::int64_t available = std::clamp<std::int64_t>(watchedStream->frames - expectedFrame, 0, frames);
    if (std::memcmp(buffer, watchedStream->pcm + expectedFrame * 2, std::size_t(available) * 4) != 0) ++misplaced;
    ++watched;
    expectedFrame += frames;
}
}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE int qvoWatchBlocks() {
    if (library().streams.empty()) return 0;
    watchedStream = library().streams.front().get();
    expectedFrame = watchedStream->position;
    return BASS_ChannelSetDSP(watchedStream->handle, watchBlock, 0) != 0;
}
extern "C" EMSCRIPTEN_KEEPALIVE int qvoWatchedBlocks() { return watched; }
extern "C" EMSCRIPTEN_KEEPALIVE int qvoMisplacedBlocks() { return misplaced; }
