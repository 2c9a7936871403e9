// Runs any encoder on a thread of its own, so the caller renders the next
// frame while the last one is encoded and written.
//
//   ThreadedEncoder threaded(std::make_unique<FfmpegEncoder>(path));
//   threaded.setVideo(format); threaded.start();   // on the caller's thread
//   threaded.writeFrame(i, dib);                   // copied and queued
//   threaded.drain(); threaded.failedStep();       // who failed, if anyone
//
// At most `depth` writes wait in the queue; a write past that waits for room.
// The first failure is kept with the step it came from, and from then on
// nothing more reaches the encoder: every later call returns that failure.
#pragma once

#include "platform/ffmpeg/aviencoder.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

enum class AviStep { None, Video, Audio, Completion };

class ThreadedEncoder : public AviEncoder {
public:
    explicit ThreadedEncoder(std::unique_ptr<AviEncoder> encoder, std::size_t depth = 6);
    ~ThreadedEncoder() override;  // drops what is still queued

    HRESULT setVideo(const AviVideoFormat& format) override;
    HRESULT setAudio(const WAVEFORMATEX& format) override;
    HRESULT start() override;
    HRESULT writeFrame(std::int64_t index, const std::uint8_t* dib) override;
    using AviEncoder::writeFrame;
    HRESULT writeAudio(std::int64_t first, std::int64_t count, const std::uint8_t* samples) override;
    HRESULT endVideo() override;  // queued, and waited for
    HRESULT finish() override;    // after the queue has drained

    // Waits until everything queued has been done.
    void drain();
    // Stops the thread at once, dropping the queue (at process exit).
    void abandon();
    HRESULT failure() const { return HRESULT(std::uint32_t(failed.load())); }
    AviStep failedStep() const { return AviStep(failed.load() >> 32); }

private:
    struct Job {
        AviStep step = AviStep::Video;
        bool endOfVideo = false;
        std::int64_t first = 0;
        std::int64_t count = 0;
        std::vector<std::uint8_t> data;
    };
    HRESULT enqueue(Job job, const std::uint8_t* data, std::size_t bytes);
    void run();
    void keep(HRESULT result, AviStep step);
    void stop(bool discard);

    std::unique_ptr<AviEncoder> encoder;
    const std::size_t depth;
    std::size_t frameBytes = 0;
    std::size_t blockAlign = 0;
    // The first failure and its step in one word, read together.
    std::atomic<std::uint64_t> failed{0};

    std::thread worker;
    std::mutex mutex;
    std::condition_variable wake;     // work for the thread
    std::condition_variable settled;  // room in the queue, or all done
    std::deque<Job> queue;
    std::vector<std::vector<std::uint8_t>> spare;
    bool busy = false;
    bool stopping = false;
};
