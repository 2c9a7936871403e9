// The audio library's web backend (the front and the mixer are shared:
// platform/mixer/bassmixer.h). The browser decodes the MP3 image into
// 16-bit stereo held here, trimmed to the clip by its LAME tag where the
// browser did not, so that sample 0 is the clip's first sample. The device
// is the page's audio output: it pulls the mixer's blocks through
// qvoAudioMix from the page's timer, a little ahead of the time they are
// heard, so the DSP procedures see every block in order before it is heard.
// There are no threads: no offline output, and no pacing of the mixer's own.
//
// The page places the output so that a stream's sample 0 is heard at the
// moment of BASS_StreamPlay, on the same clock as GetTickCount, and keeps it
// there itself; blocks it must pass over to stay there still go through the
// mixer and the DSP procedures.
#include "platform/bassoutput.h"
#include "platform/mixer/bassmixer.h"
#include "platform/mp3info.h"
#include "platform/web/browser.h"

#include <emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int bytesPerFrame = 4;

class PageDecoder;
std::vector<const PageDecoder*> openDecoders;  // for the page's check of the DSP hook

// A decoder that ignores the LAME tag returns the encoder's delay and its
// own before the clip and the padding after it; a decode longer than the tag
// says is cut to the clip. (Chromium honours the tag: nothing to cut.)
void trimToClip(std::int16_t* pcm, int& frames, const unsigned char* image, std::size_t bytes) {
    mp3::Info info;
    if (!mp3::readInfo(image, bytes, info) || info.sampleFrames < 0 || frames <= info.sampleFrames) return;
    const std::int64_t delay = info.encoderDelay + mp3::decoderDelay;
    const std::int64_t skip = frames >= delay + info.sampleFrames ? delay : 0;
    std::memmove(pcm, pcm + skip * 2, std::size_t(info.sampleFrames) * bytesPerFrame);
    frames = int(info.sampleFrames);
}

class PageDecoder : public bass::Decoder {
public:
    // Waits for the browser's decode.
    bool open(const void* data, std::size_t size, int /*rate*/, std::string* why) {
        int decoded = 0;
        pcm = qvo_audio_decode(data, int(size), &decoded);
        if (!pcm || decoded <= 0) {
            *why = "the browser could not decode the MP3 image";
            return false;
        }
        trimToClip(pcm, decoded, static_cast<const unsigned char*>(data), size);
        frames = decoded;
        openDecoders.push_back(this);
        return true;
    }
    ~PageDecoder() override {
        std::free(pcm);
        openDecoders.erase(std::remove(openDecoders.begin(), openDecoders.end(), this), openDecoders.end());
    }

    int read(unsigned char* to, int bytes) override {
        const std::int64_t n = std::clamp<std::int64_t>(frames - position, 0, bytes / bytesPerFrame);
        std::memcpy(to, pcm + position * 2, std::size_t(n) * bytesPerFrame);
        position += n;
        return int(n) * bytesPerFrame;
    }
    bool rewind(std::string*) override {
        position = 0;
        return true;
    }
    bool skip(std::int64_t n) override {
        position = std::min(frames, position + n);
        return true;
    }

    std::int16_t* pcm = nullptr;  // interleaved stereo, malloc'ed by the page
    std::int64_t frames = 0;
    std::int64_t position = 0;  // the next frame read
};

class PageDevice;
PageDevice* pageDevice = nullptr;  // the one qvoAudioMix feeds

class PageDevice : public bass::Device {
public:
    bool open(bass::Mixer& mixer, int rate, std::string* why) {
        if (!qvo_audio_open(rate)) {
            *why = "BASS_Init: the page has no running audio context";
            return false;
        }
        this->mixer = &mixer;
        pageDevice = this;
        return true;
    }
    ~PageDevice() override { close(); }

    int blockBytes() const override { return bass::blockFrames * bytesPerFrame; }
    double bufferSeconds() const override { return 0.0; }
    std::int64_t latencyFrames() const override { return 0; }
    bool followsWallClock() const override { return false; }  // the page keeps the output on the clock
    void start() override {}                                  // the output starts with a stream
    void pause() override { stopOutput(); }
    void close() override {
        stopOutput();
        if (pageDevice == this) pageDevice = nullptr;
    }
    void streamPlayed() override {
        if (outputOn) return;
        qvo_audio_play();  // places the output on the clock and mixes its first blocks
        outputOn = true;
    }

    void mix(std::int16_t* out, int frames) {
        if (!mixer->mixDeviceBlock(reinterpret_cast<unsigned char*>(out), frames * bytesPerFrame) && outputOn)
            stopOutput();
    }

private:
    void stopOutput() {
        if (!outputOn) return;
        qvo_audio_stop();
        outputOn = false;
    }

    bass::Mixer* mixer = nullptr;
    bool outputOn = false;
};

class PageBackend : public bass::BackendOf<PageDecoder, PageDevice> {
public:
    bool runsOffline() const override { return false; }
};

}  // namespace

bass::Backend& bass::platformBackend() {
    static PageBackend backend;
    return backend;
}

// The page's audio output asks for the next `frames` sample frames (at most
// blockFrames) of every playing stream, mixed, into `out`.
extern "C" EMSCRIPTEN_KEEPALIVE void qvoAudioMix(std::int16_t* out, int frames) {
    if (pageDevice) pageDevice->mix(out, frames);
    else std::memset(out, 0, std::size_t(frames) * bytesPerFrame);
}

// A check of the DSP hook from the page: a procedure on the stream that
// plays (the program's one) that compares every block it is handed with the
// clip at the place the block should come from. qvoWatchedBlocks() counts
// the blocks seen, qvoMisplacedBlocks() those that were not the next part
// of the clip.
namespace {
int watched = 0;
int misplaced = 0;
std::int64_t expectedFrame = 0;
const PageDecoder* watchedClip = nullptr;

void watchBlock(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    const std::int64_t frames = length / bytesPerFrame;
    const std::int64_t available = std::clamp<std::int64_t>(watchedClip->frames - expectedFrame, 0, frames);
    if (std::memcmp(buffer, watchedClip->pcm + expectedFrame * 2, std::size_t(available) * bytesPerFrame) != 0)
        ++misplaced;
    ++watched;
    expectedFrame += frames;
}
}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE int qvoWatchBlocks() {
    if (openDecoders.size() != 1) return 0;
    HSTREAM playing = 0;
    for (HSTREAM h = 1; h <= 64 && !playing; ++h)
        if (BASS_ChannelIsActive(h)) playing = h;
    if (!playing) return 0;
    watchedClip = openDecoders.front();
    expectedFrame = watchedClip->position;
    return BASS_ChannelSetDSP(playing, watchBlock, 0) != 0;
}
extern "C" EMSCRIPTEN_KEEPALIVE int qvoWatchedBlocks() { return watched; }
extern "C" EMSCRIPTEN_KEEPALIVE int qvoMisplacedBlocks() { return misplaced; }
