// The audio library's Windows backend: MP3 images decoded by the system's
// ACM codec (platform/windows/mp3decoder.h) and a waveOut device fed by a
// thread of our own (the front and the mixer are shared:
// platform/mixer/bassmixer.h).
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/bassoutput.h"
#include "platform/mixer/bassmixer.h"
#include "platform/windows/mp3decoder.h"

namespace {

constexpr int channels = 2;
constexpr int bytesPerFrame = channels * 2;
// Blocks queued on the device: enough to ride out a busy moment of the
// renderer, few enough that the music is not late.
constexpr int deviceBlocks = 4;
constexpr int deviceBlockBytes = bass::blockFrames * bytesPerFrame;

class AcmDecoder : public bass::Decoder {
public:
    bool open(const void* data, std::size_t size, int rate, std::string* why) {
        return decoder.open(data, size, rate, why);
    }
    int read(unsigned char* to, int bytes) override {
        return decoder.read(reinterpret_cast<std::int16_t*>(to), bytes / bytesPerFrame) * bytesPerFrame;
    }
    bool rewind(std::string* /*why*/) override { return decoder.rewind(); }
    // Only a device that follows the wall clock skips, and waveOut keeps the
    // sound card's own.
    bool skip(std::int64_t /*frames*/) override { return false; }

private:
    Mp3Decoder decoder;
};

// Every buffer the device has finished with is mixed again and queued; the
// device's event says when one comes back.
class WaveOutDevice : public bass::Device {
public:
    bool open(bass::Mixer& feed, int outputRate, std::string* why) {
        mixer = &feed;
        rate = outputRate;
        WAVEFORMATEX format = pcmStereo16(outputRate);
        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        const MMRESULT result =
            waveOutOpen(&device, WAVE_MAPPER, &format, DWORD_PTR(event), 0, CALLBACK_EVENT);
        if (result != MMSYSERR_NOERROR) {
            char text[MAXERRORLENGTH] = "";
            waveOutGetErrorTextA(result, text, sizeof text);
            *why = std::string("Couldn't open the audio output (waveOut error ") + std::to_string(result) + ": " +
                   text + ")";
            CloseHandle(event);
            event = nullptr;
            device = nullptr;
            return false;
        }
        // Paused until BASS_Start, as the library does.
        waveOutPause(device);
        blocks.assign(deviceBlocks, std::vector<std::uint8_t>(std::size_t(deviceBlockBytes), 0));
        headers.assign(deviceBlocks, WAVEHDR{});
        for (int i = 0; i < deviceBlocks; ++i) {
            WAVEHDR& h = headers[std::size_t(i)];
            h.lpData = reinterpret_cast<LPSTR>(blocks[std::size_t(i)].data());
            h.dwBufferLength = DWORD(deviceBlockBytes);
            waveOutPrepareHeader(device, &h, sizeof h);
        }
        feeder = std::thread(&WaveOutDevice::feed, this);
        return true;
    }

    ~WaveOutDevice() override { close(); }

    int blockBytes() const override { return deviceBlockBytes; }
    double bufferSeconds() const override { return double(deviceBlocks) * bass::blockFrames / rate; }
    // A block is heard once the ones queued before it have played.
    std::int64_t latencyFrames() const override { return std::int64_t(deviceBlocks - 1) * bass::blockFrames; }
    bool followsWallClock() const override { return false; }
    void start() override { waveOutRestart(device); }
    void pause() override { waveOutPause(device); }

    void close() override {
        quitting = true;
        if (event) SetEvent(event);
        if (feeder.joinable()) feeder.join();
        if (device) {
            waveOutReset(device);  // hands every queued buffer back
            for (WAVEHDR& h : headers) waveOutUnprepareHeader(device, &h, sizeof h);
            waveOutClose(device);
            device = nullptr;
        }
        if (event) CloseHandle(event);
        event = nullptr;
        headers.clear();
        blocks.clear();
    }

private:
    void feed() {
        while (!quitting) {
            for (std::size_t i = 0; i < headers.size(); ++i) {
                WAVEHDR& h = headers[i];
                if (h.dwFlags & WHDR_INQUEUE) continue;
                mixer->mixDeviceBlock(blocks[i].data(), deviceBlockBytes);
                waveOutWrite(device, &h, sizeof h);
            }
            WaitForSingleObject(event, 100);
        }
    }

    bass::Mixer* mixer = nullptr;
    int rate = 44100;
    HWAVEOUT device = nullptr;
    HANDLE event = nullptr;
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<WAVEHDR> headers;
    std::atomic<bool> quitting{false};
    std::thread feeder;
};

}  // namespace

bass::Backend& bass::platformBackend() {
    static bass::BackendOf<AcmDecoder, WaveOutDevice> backend;
    return backend;
}
