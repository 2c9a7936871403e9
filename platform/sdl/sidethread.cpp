#include "platform/sdl/sidethread.h"

SideThread::SideThread() : thread([this] { run(); }) {}

SideThread::~SideThread() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        quit = true;
    }
    changed.notify_all();
    thread.join();
}

void SideThread::start(std::function<void()> work) {
    std::lock_guard<std::mutex> lock(mutex);
    job = std::move(work);
    changed.notify_all();
}

void SideThread::wait() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return !job; });
}

void SideThread::run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [&] { return quit || job; });
        if (quit) return;
        lock.unlock();
        job();
        lock.lock();
        job = nullptr;
        changed.notify_all();
    }
}
