#include "platform/ffmpeg/threadedencoder.h"

ThreadedEncoder::ThreadedEncoder(std::unique_ptr<AviEncoder> encoder, std::size_t depth)
    : encoder(std::move(encoder)), depth(depth ? depth : 1) {}

ThreadedEncoder::~ThreadedEncoder() { stop(true); }

void ThreadedEncoder::keep(HRESULT result, AviStep step) {
    if (result == 0) return;
    std::uint64_t none = 0;
    failed.compare_exchange_strong(none, std::uint64_t(step) << 32 | std::uint32_t(result));
}

HRESULT ThreadedEncoder::setVideo(const AviVideoFormat& format) {
    frameBytes = format.frameBytes;
    return encoder->setVideo(format);
}

HRESULT ThreadedEncoder::setAudio(const WAVEFORMATEX& format) {
    blockAlign = format.nBlockAlign;
    return encoder->setAudio(format);
}

HRESULT ThreadedEncoder::start() {
    if (worker.joinable()) return failure();
    const HRESULT result = encoder->start();
    if (result == 0) worker = std::thread([this] { run(); });
    return result;
}

HRESULT ThreadedEncoder::enqueue(Job job, const std::uint8_t* data, std::size_t bytes) {
    if (failure() != 0 || !worker.joinable()) return failure() ? failure() : AVIERR_BADPARAM;
    std::unique_lock<std::mutex> lock(mutex);
    settled.wait(lock, [&] { return queue.size() < depth; });
    if (!spare.empty()) {
        job.data = std::move(spare.back());
        spare.pop_back();
    }
    job.data.assign(data, data + bytes);
    queue.push_back(std::move(job));
    wake.notify_one();
    return failure();
}

HRESULT ThreadedEncoder::writeFrame(std::int64_t index, const std::uint8_t* dib) {
    return enqueue(Job{AviStep::Video, false, index, 1, {}}, dib, frameBytes);
}

HRESULT ThreadedEncoder::writeAudio(std::int64_t first, std::int64_t count, const std::uint8_t* samples) {
    return enqueue(Job{AviStep::Audio, false, first, count, {}}, samples, std::size_t(count) * blockAlign);
}

HRESULT ThreadedEncoder::endVideo() {
    const HRESULT result = enqueue(Job{AviStep::Video, true, 0, 0, {}}, nullptr, 0);
    drain();
    return result ? result : failure();
}

HRESULT ThreadedEncoder::finish() {
    stop(false);
    if (failure() == 0) keep(encoder->finish(), AviStep::Completion);
    return failure();
}

void ThreadedEncoder::drain() {
    std::unique_lock<std::mutex> lock(mutex);
    settled.wait(lock, [&] { return (queue.empty() && !busy) || !worker.joinable(); });
}

void ThreadedEncoder::abandon() { stop(true); }

void ThreadedEncoder::stop(bool discard) {
    if (!worker.joinable()) return;
    if (!discard) drain();
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (discard) queue.clear();
        stopping = true;
    }
    wake.notify_all();
    worker.join();
}

void ThreadedEncoder::run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return stopping || !queue.empty(); });
        if (queue.empty()) break;
        Job job = std::move(queue.front());
        queue.pop_front();
        busy = true;
        settled.notify_all();  // room in the queue
        lock.unlock();
        if (failure() == 0) {
            if (job.endOfVideo)
                keep(encoder->endVideo(), AviStep::Video);
            else if (job.step == AviStep::Audio)
                keep(encoder->writeAudio(job.first, job.count, job.data.data()), AviStep::Audio);
            else
                keep(encoder->writeFrame(job.first, job.data), AviStep::Video);
        }
        lock.lock();
        busy = false;
        if (spare.size() < depth + 2 && !job.data.empty()) spare.push_back(std::move(job.data));
        settled.notify_all();
    }
}
