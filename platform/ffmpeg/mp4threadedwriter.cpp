#include "platform/ffmpeg/mp4threadedwriter.h"

namespace mp4 {

ThreadedWriter::ThreadedWriter(Writer& writer, int pictures) : writer(writer) {
    for (int p = pictures - 1; p >= 0; --p) spare.push_back(p);
    worker = std::thread(&ThreadedWriter::run, this);
}

ThreadedWriter::~ThreadedWriter() { stop(true); }

int ThreadedWriter::take() {
    std::unique_lock<std::mutex> hold(mutex);
    freed.wait(hold, [this] { return failed || !spare.empty(); });
    if (failed) return -1;
    const int picture = spare.back();
    spare.pop_back();
    return picture;
}

void ThreadedWriter::submit(int picture, const std::int16_t* samples, int sampleFrames) {
    Job job{picture, std::vector<std::int16_t>(samples, samples + 2 * std::size_t(sampleFrames))};
    {
        std::lock_guard<std::mutex> hold(mutex);
        queue.push_back(std::move(job));
    }
    wake.notify_one();
}

bool ThreadedWriter::finish(std::string& why) {
    stop(false);
    if (failed) {
        why = failure;
        return false;
    }
    return writer.finish(why);
}

void ThreadedWriter::stop(bool dropQueue) {
    if (!worker.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(mutex);
        stopping = true;
        if (dropQueue) queue.clear();
    }
    wake.notify_all();
    worker.join();
}

void ThreadedWriter::run() {
    for (;;) {
        Job job;
        bool skip;
        {
            std::unique_lock<std::mutex> hold(mutex);
            wake.wait(hold, [this] { return stopping || !queue.empty(); });
            if (queue.empty()) return;
            job = std::move(queue.front());
            queue.pop_front();
            skip = failed;
        }
        // The sound first: the muxer interleaves by time, and this frame's
        // sound starts no later than the frame.
        std::string why;
        const bool written = skip || (writer.writeAudio(job.sound.data(), int(job.sound.size() / 2), why) &&
                                      writer.writeFrame(job.picture, why));
        {
            std::lock_guard<std::mutex> hold(mutex);
            if (!written) {
                failed = true;
                failure = why;
            }
            spare.push_back(job.picture);
        }
        if (written && !skip) ++done;
        freed.notify_all();
    }
}

}  // namespace mp4
