#include "demo/startupreport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "source/processstate.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#endif

namespace startup {

namespace {

using Clock = std::chrono::steady_clock;

struct Timings {
    bool on = std::getenv("QVO_TIMINGS") != nullptr;
    Clock::time_point begin = Clock::now();
    Clock::time_point lastMark = begin;
    std::string phases;
    Clock::time_point lastSample{};
    long peakAnonymousKb = -1;
};
PROCESS_STATE(Timings, timings);

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The memory only this process uses, in kB: "Anonymous:" of
// /proc/self/smaps_rollup, or Windows' private bytes; -1 where neither is.
long anonymousKb() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS_EX counters{};
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof counters))
        return -1;
    return long(counters.PrivateUsage / 1024);
#else
    std::FILE* f = std::fopen("/proc/self/smaps_rollup", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "Anonymous: %ld kB", &kb) == 1) break;
    std::fclose(f);
    return kb;
#endif
}

}  // namespace

bool enabled() { return timings.on; }

void begin() {
    timings.begin = timings.lastMark = Clock::now();
    timings.phases.clear();
}

double sinceBeginMs() { return msBetween(timings.begin, Clock::now()); }

void phaseDone(const char* name) {
    if (!timings.on) return;
    const Clock::time_point now = Clock::now();
    char text[96];
    std::snprintf(text, sizeof text, "%s%s %.1f ms", timings.phases.empty() ? "" : ", ", name,
                  msBetween(timings.lastMark, now));
    timings.phases += text;
    timings.lastMark = now;
}

void firstFrame(double prerollMs) {
    if (!timings.on) return;
    const double at = sinceBeginMs();
    std::fprintf(stderr, "start-up phases: %s; first frame at %.1f ms\n", timings.phases.c_str(), at);
    std::fprintf(stderr, "start-up to first presented frame: %.1f ms (pre-roll of %.1f ms left out)\n",
                 at - prerollMs, prerollMs);
    sampleMemory();
}

void sampleMemory() {
    if (!timings.on) return;
    const Clock::time_point now = Clock::now();
    if (timings.lastSample != Clock::time_point{} && now - timings.lastSample < std::chrono::seconds(1)) return;
    timings.lastSample = now;
    const long kb = anonymousKb();
    if (kb > timings.peakAnonymousKb) timings.peakAnonymousKb = kb;
}

void reportMemory() {
    if (!timings.on) return;
    timings.lastSample = {};
    sampleMemory();
    if (timings.peakAnonymousKb >= 0)
        std::fprintf(stderr, "memory of its own (anonymous) at most: %.1f MB\n", timings.peakAnonymousKb / 1024.0);
}

}  // namespace startup
