// A thread that does one part of a job while the caller does the other:
//
//   SideThread side;
//   side.start([&] { firstHalf(); });
//   secondHalf();
//   side.wait();   // both halves done
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class SideThread {
public:
    SideThread();
    ~SideThread();
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;

    void start(std::function<void()> work);
    void wait();

private:
    void run();

    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> job;  // set while there is work
    bool quit = false;
    std::thread thread;  // last: it starts with everything above ready
};
