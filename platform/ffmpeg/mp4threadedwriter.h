// mp4::Writer on a thread of its own: the caller converts the next picture
// while the last ones are encoded and, with their sound, written, and the
// encoder's own threads never wait for the caller. The pictures are the
// writer's (Settings::pictures of them), filled in place: nothing is copied
// on the way to the encoder.
//
//   mp4::ThreadedWriter out(writer, settings.pictures);
//   int p = out.take();                 // a free picture; -1 after a failure
//   fill out.planes(p) / out.strides(p), then out.submit(p, pcm, n);
//   out.finish(why);                    // the queue written, then Writer::finish
//
// The first failure is kept: from then on nothing more reaches the writer,
// take() returns -1 and finish() returns that failure.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ffmpeg/mp4writer.h"

namespace mp4 {

class ThreadedWriter {
public:
    ThreadedWriter(Writer& writer, int pictures);
    ~ThreadedWriter();  // drops what is still queued; the file is left as it is
    ThreadedWriter(const ThreadedWriter&) = delete;
    ThreadedWriter& operator=(const ThreadedWriter&) = delete;

    // Waits until a picture is free.
    int take();
    std::uint8_t* const* planes(int picture) { return writer.planes(picture); }
    const int* strides(int picture) { return writer.strides(picture); }
    // The picture and the sound that plays with it (copied), queued.
    void submit(int picture, const std::int16_t* samples, int sampleFrames);
    bool finish(std::string& why);

    // Frames the writer has taken.
    std::int64_t framesDone() const { return done.load(); }

private:
    struct Job {
        int picture = 0;
        std::vector<std::int16_t> sound;
    };
    void run();
    void stop(bool dropQueue);

    Writer& writer;
    std::mutex mutex;
    std::condition_variable wake;   // work for the thread, or the end
    std::condition_variable freed;  // a picture is free again, or a failure
    std::deque<Job> queue;
    std::vector<int> spare;
    bool stopping = false;
    bool failed = false;
    std::string failure;
    std::atomic<std::int64_t> done{0};
    std::thread worker;
};

}  // namespace mp4
