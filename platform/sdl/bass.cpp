// The audio library's SDL backend: MP3 images decoded by libmpg123 and a
// device opened through SDL2 audio (the front and the mixer are shared:
// platform/mixer/bassmixer.h).
#include <SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/bassoutput.h"
#include "platform/mixer/bassmixer.h"
#include "platform/mp3info.h"

namespace {

constexpr int channels = 2;
constexpr int bytesPerFrame = channels * 2;

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

class Mpg123Decoder : public bass::Decoder {
public:
    ~Mpg123Decoder() override {
        if (handle) mpg123_delete(handle);
    }

    bool open(const void* data, std::size_t size, int rate, std::string* why) {
        reader.data = static_cast<const unsigned char*>(data);
        reader.size = size;
        int err = MPG123_OK;
        handle = mpg123_new(nullptr, &err);
        if (!handle) {
            *why = mpg123_plain_strerror(err);
            return false;
        }
        this->rate = rate;
        mp3::Info tags;
        if (mp3::readInfo(reader.data, size, tags) && tags.sampleRate == rate) taggedLength = tags.sampleFrames;
        mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
        // Damage in the clip is passed over, however long, instead of
        // ending the music there (the default gives up after 1 KB).
        mpg123_param(handle, MPG123_RESYNC_LIMIT, -1, 0.0);
        // Whatever the clip's rate and channels, decode to the output format.
        mpg123_format_none(handle);
        mpg123_format(handle, rate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
        long gotRate = 0;
        int ch = 0, enc = 0;
        if (mpg123_replace_reader_handle(handle, readMemory, seekMemory, nullptr) != MPG123_OK ||
            mpg123_open_handle(handle, &reader) != MPG123_OK ||
            mpg123_getformat(handle, &gotRate, &ch, &enc) != MPG123_OK) {
            *why = std::string("not an MP3 stream (") + mpg123_strerror(handle) + ")";
            return false;
        }
        if (gotRate != rate || ch != channels || enc != MPG123_ENC_SIGNED_16) {
            *why = "the decoder cannot convert this stream to the output format";
            return false;
        }
        // Decodable means at least one frame of sound comes out.
        unsigned char probe[bytesPerFrame * 64];
        std::size_t done = 0;
        mpg123_read(handle, probe, sizeof probe, &done);
        if (done == 0 || mpg123_seek(handle, 0, SEEK_SET) < 0) {
            *why = "the MP3 stream holds no sound";
            return false;
        }
        return restarted(0);
    }

    // Frame by frame, so that damage the decoder passes over can be named.
    int read(unsigned char* to, int bytes) override {
        int filled = 0;
        while (filled < bytes) {
            if (pendingBytes == 0 && !decodeFrame()) break;
            const std::size_t n = std::min(pendingBytes, std::size_t(bytes - filled));
            std::memcpy(to + filled, pending, n);
            pending += n;
            pendingBytes -= n;
            filled += int(n);
        }
        return filled - filled % bytesPerFrame;
    }

    bool rewind(std::string* why) override {
        if (mpg123_seek(handle, 0, SEEK_SET) >= 0) return restarted(0);
        *why = mpg123_strerror(handle);
        return false;
    }

    bool skip(std::int64_t frames) override {
        const off_t at = mpg123_seek(handle, off_t(frames), SEEK_CUR);
        return at >= 0 && restarted(at);
    }

private:
    bool restarted(off_t at) {
        pendingBytes = 0;
        framesOut = at;
        nextFrameAt = -1;
        endSaid = false;
        lostToDamage = 0;
        return true;
    }

    bool decodeFrame() {
        for (;;) {
            off_t number = 0;
            unsigned char* audio = nullptr;
            std::size_t bytes = 0;
            const int r = mpg123_decode_frame(handle, &number, &audio, &bytes);
            if (r == MPG123_NEW_FORMAT) continue;
            if (r != MPG123_OK) {
                sayEnd(r);
                return false;
            }
            noteSkippedInput();
            if (bytes == 0) continue;  // the decoder's delay, cut by gapless decoding
            pending = audio;
            pendingBytes = bytes;
            framesOut += off_t(bytes / bytesPerFrame);
            return true;
        }
    }

    // The decoder resynchronises past damage on its own; the bytes between
    // where a frame should have begun and where the next one did are the
    // damage, said once per place.
    void noteSkippedInput() {
        const off_t at = mpg123_framepos(handle);
        mpg123_frameinfo frame{};
        if (at < 0 || mpg123_info(handle, &frame) != MPG123_OK) return;
        if (nextFrameAt >= 0 && at > nextFrameAt) {
            const off_t skipped = at - nextFrameAt;
            std::fprintf(stderr, "Music: %lld damaged bytes skipped at %.2f s of the clip (byte %lld).\n",
                         static_cast<long long>(skipped), double(framesOut) / rate,
                         static_cast<long long>(nextFrameAt));
            // At most the frames those bytes held, and the one they cut.
            lostToDamage += (skipped / (frame.framesize + 4) + 1) * mpg123_spf(handle);
        }
        nextFrameAt = at + 4 + off_t(frame.framesize);
    }

    void sayEnd(int result) {
        if (endSaid) return;
        endSaid = true;
        // The decoder trusts what it finds in a file cut short; the tag
        // written with the clip still knows its whole length.
        const std::int64_t length = taggedLength;
        if (result != MPG123_DONE)
            std::fprintf(stderr, "Music: the decoder stopped at %.2f s of the clip: %s.\n", double(framesOut) / rate,
                         mpg123_strerror(handle));
        else if (length > 0 && framesOut + lostToDamage + rate / 10 < length)
            std::fprintf(stderr, "Music: the clip ends at %.2f s of its %.2f s: it is cut short; silence follows.\n",
                         double(framesOut) / rate, double(length) / rate);
    }

    mpg123_handle* handle = nullptr;
    MemoryReader reader;
    long rate = 44100;
    const unsigned char* pending = nullptr;  // decoded, not yet read
    std::size_t pendingBytes = 0;
    off_t framesOut = 0;     // sample frames read so far
    off_t nextFrameAt = -1;  // where the next frame begins if nothing is skipped
    bool endSaid = false;
    std::int64_t taggedLength = -1;  // sample frames, from the clip's LAME tag
    std::int64_t lostToDamage = 0;   // sample frames, at most
};

void deviceCallback(void* user, Uint8* out, int len) { static_cast<bass::Mixer*>(user)->mixDeviceBlock(out, len); }

class SdlDevice : public bass::Device {
public:
    bool open(bass::Mixer& mixer, int freq, std::string* why) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            *why = std::string("Couldn't initialise audio: ") + SDL_GetError();
            return false;
        }
        SDL_AudioSpec want{};
        want.freq = freq;
        want.format = AUDIO_S16SYS;
        want.channels = channels;
        want.samples = bass::blockFrames;
        want.callback = deviceCallback;
        want.userdata = &mixer;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts whatever the hardware wants, so the
        // callback always mixes 16-bit stereo at the asked rate.
        device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device == 0) {
            *why = std::string("Couldn't open audio device (driver ") +
                   (SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "none") + "): " + SDL_GetError();
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        samples = int(have.samples);
        seconds = double(have.samples) / double(have.freq);
        // A sound card plays the block it is given after the one it is playing;
        // SDL's dummy and disk outputs take it at once. (A real device may
        // buffer more; SDL does not say, so one buffer is the estimate.)
        const char* driver = SDL_GetCurrentAudioDriver();
        immediate = driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0);
        return true;
    }

    ~SdlDevice() override { close(); }

    int blockBytes() const override { return samples * bytesPerFrame; }
    double bufferSeconds() const override { return seconds; }
    std::int64_t latencyFrames() const override { return immediate ? 0 : samples; }
    bool followsWallClock() const override { return true; }
    void start() override { SDL_PauseAudioDevice(device, 0); }
    void pause() override { SDL_PauseAudioDevice(device, 1); }

    void close() override {
        if (device == 0) return;
        SDL_CloseAudioDevice(device);  // waits for a running callback
        device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

private:
    SDL_AudioDeviceID device = 0;
    int samples = 0;
    double seconds = 0.0;
    bool immediate = false;
};

class SdlBackend : public bass::BackendOf<Mpg123Decoder, SdlDevice> {
public:
    bool prepareDecoding(std::string* why) override {
        if (mpg123_init() == MPG123_OK) return true;  // a no-op since 1.27, kept for older ones
        *why = "BASS_Init: the MP3 decoder failed to initialise";
        return false;
    }
};

}  // namespace

bass::Backend& bass::platformBackend() {
    static SdlBackend backend;
    return backend;
}
