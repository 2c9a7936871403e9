// The audio stand-in's front and mixer, the same on every backend: handles,
// error texts, stream state, DSP procedures, the mixing of blocks (offline
// on a thread of its own, or for a device) and positions. A backend supplies
// only what differs, behind Backend: the MP3 decoder and the sound device.
//
//   Mixer mixer(backend);            // the BASS_* calls use platformBackend()
//   mixer.init(44100, &why);         // device or offline, as bass::offlineOutput()
//   HSTREAM h = mixer.createStream(data, size, &why);
//   mixer.setDsp(h, proc, 0); mixer.start(); mixer.play(h, &why); ...
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/bass.h"

namespace bass {

// One MP3 image decoded to 16-bit stereo at the output rate.
class Decoder {
public:
    virtual ~Decoder() = default;
    // Fills up to `bytes` (whole sample frames); fewer means the stream ended.
    virtual int read(unsigned char* to, int bytes) = 0;
    // Back to sample 0; on failure `why` may say more.
    virtual bool rewind(std::string* why) = 0;
    // Passes over `frames` sample frames; false when it cannot.
    virtual bool skip(std::int64_t frames) = 0;
};

// An open sound device. It asks Mixer::mixDeviceBlock for every block it
// plays, from a thread of its own (or, in the browser, from the page's
// timer between the program's turns), once it is started.
class Device {
public:
    virtual ~Device() = default;
    virtual int blockBytes() const = 0;
    // The buffer it was opened with, and the sample frames from a block's
    // mixing until it begins to be heard.
    virtual double bufferSeconds() const = 0;
    virtual std::int64_t latencyFrames() const = 0;
    // True when the device's clock may wander from the system tick, so the
    // mixer keeps its streams on the wall clock and shows hooked streams
    // their sound in pieces over real time (see the mixer).
    virtual bool followsWallClock() const = 0;
    virtual void start() = 0;
    virtual void pause() = 0;
    // After it returns no mixDeviceBlock call runs or follows.
    virtual void close() = 0;
    // A stream was just played from the top: the next block mixed for it
    // begins with its sample 0. A device that places its output on the
    // clock at that moment (the page's) does it here, and may mix blocks
    // before it returns.
    virtual void streamPlayed() {}
};

class Mixer;

class Backend {
public:
    virtual ~Backend() = default;
    virtual bool prepareDecoding(std::string* /*why*/) { return true; }
    // False where no thread can run the offline output (the browser).
    virtual bool runsOffline() const { return true; }
    // How far a device stream is decoded ahead of its output, on a thread
    // of its own (platform/mixer/decodeahead.h); 0 decodes in the callback.
    virtual double decodeAheadSeconds() const { return runsOffline() ? 2.0 : 0.0; }
    virtual std::unique_ptr<Decoder> openDecoder(const void* data, std::size_t size, int rate, std::string* why) = 0;
    // A device for `rate` Hz 16-bit stereo, paused, fed by `mixer`.
    virtual std::unique_ptr<Device> openDevice(Mixer& mixer, int rate, std::string* why) = 0;
};

// The backend the BASS_* calls use; each platform defines it.
Backend& platformBackend();

// A backend made of a decoder type and a device type, each with
//   bool open(...the arguments of openDecoder or openDevice...);
template <class DecoderType, class DeviceType>
class BackendOf : public Backend {
public:
    std::unique_ptr<Decoder> openDecoder(const void* data, std::size_t size, int rate, std::string* why) override {
        return openNew<DecoderType>(data, size, rate, why);
    }
    std::unique_ptr<Device> openDevice(Mixer& mixer, int rate, std::string* why) override {
        return openNew<DeviceType>(mixer, rate, why);
    }

private:
    template <class T, class... Args>
    static std::unique_ptr<T> openNew(Args&&... args) {
        auto made = std::make_unique<T>();
        if (!made->open(std::forward<Args>(args)...)) return nullptr;
        return made;
    }
};

class Mixer {
public:
    explicit Mixer(Backend& backend);
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Each returns 0/false with the reason in `why` where the call can fail.
    bool init(int device, BASS_DWORD freq, std::string* why);
    HSTREAM createStream(const void* data, std::size_t size, std::string* why);
    void start();
    bool play(HSTREAM handle, std::string* why);
    void stop();
    void freeStream(HSTREAM handle);
    void freeAll();
    HDSP setDsp(BASS_DWORD handle, DSPPROC* proc, BASS_DWORD user);
    bool isActive(BASS_DWORD handle) const;

    bool initialised() const { return isInitialised; }
    std::uint64_t decodedBytes(HSTREAM handle) const;
    // Seconds of the stream being heard now (see bass::heardSeconds).
    double heardSeconds(HSTREAM handle);
    double bufferSeconds() const;
    double latencySeconds() const;
    void setClock(std::int64_t (*clock)());

    // For the device: the next block of output, `bytes` long. False when
    // no stream plays any more.
    bool mixDeviceBlock(unsigned char* out, int bytes);

private:
    struct Stream;
    class ApiLock;

    Stream* findStream(BASS_DWORD handle) const;
    bool paced(const Stream& s) const;
    void fillPending(Stream& s, int upTo);
    void mixPaced(Stream& s, unsigned char* out, int bytes);
    void mixBlock(unsigned char* out, int bytes);
    void skipFrames(Stream& s, std::int64_t frames);
    std::int64_t framesIn(std::int64_t ns) const;
    std::int64_t deviceNow() const;  // the clock a device stream keeps to
    void keepOnWallClock(Stream& s, std::int64_t now);
    bool anyPlaying() const;
    void runOffline();
    void pacePieces();
    void closeOutput();

    Backend& backend;
    // Guards the mixer state against the API. The mixing thread holds it for
    // one block at a time; the API never calls into the device while holding
    // it (a device may hold its own lock around mixDeviceBlock). DSP
    // procedures run under it, so that they see every block in order and a
    // stream is never freed under them: a procedure must not call the API,
    // and whoever holds a lock a procedure takes must not call the API that
    // locks (isActive and decodedBytes do not: the capture waits on them).
    std::mutex lock;
    bool isInitialised = false;
    bool offline = false;
    int rate = 44100;
    int blockBytes = 0;
    std::unique_ptr<Device> device;
    bool clocked = false;  // the device follows the wall clock
    std::int64_t latencyFrames = 0;
    std::int64_t (*clock)() = nullptr;  // null: the steady clock

    std::vector<std::unique_ptr<Stream>> streams;  // changed only under lock
    HSTREAM nextStream = 1;
    HDSP nextDsp = 1;

    // Offline output.
    std::thread offlineThread;
    std::condition_variable wake;
    bool running = false;  // between start and stop
    bool quitting = false;
    std::vector<unsigned char> offlineBlock;
    std::atomic<int> apiWaiting{0};

    // A clocked device: the thread that shows hooked streams their sound in
    // pieces between callbacks.
    std::thread pacer;
    std::condition_variable pacerWake;
    std::chrono::steady_clock::time_point lastCallback;
};

}  // namespace bass
