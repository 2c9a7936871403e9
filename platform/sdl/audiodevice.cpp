// The audio library's Linux backend: a device opened through SDL2 audio,
// MP3 images decoded by libmpg123 (platform/mpg123); the front and the mixer
// are shared (platform/mixer/bassmixer.h).
#include <SDL.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/bassoutput.h"
#include "platform/mixer/bassmixer.h"
#include "platform/mpg123/mp3decoder.h"

namespace {

constexpr int channels = 2;
constexpr int bytesPerFrame = channels * 2;

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
    bool prepareDecoding(std::string* why) override { return prepareMpg123(why); }
};

}  // namespace

bass::Backend& bass::platformBackend() {
    static SdlBackend backend;
    return backend;
}
