#include "source/rendercancel.h"

#include "platform/interrupt.h"
#include "source/processstate.h"
#include "source/videostream.h"

#include <atomic>
#include <csignal>
#include <cstring>

namespace {

bool cancelConfirmed = false;
volatile std::sig_atomic_t interrupted = 0;
bool interruptReported = false;
char abandonedFile[4096] = "";

// Every stop request of the run, Ctrl-C or another: they may be handled on
// different threads at once, so the count is one atomic step.
std::atomic<int> requests{0};
static_assert(std::atomic<int>::is_always_lock_free, "counted in signal handlers");

void onInterrupt() {
    if (rendercancel::anotherRequest()) rendercancel::abandon();
    interrupted = 1;
}

const ProcessStateSlot cancelStateSlot{__FILE__,
                                       "cancelConfirmed interrupted interruptReported abandonedFile requests",
                                       [] {
                                           rendercancel::releaseInterrupt();
                                           cancelConfirmed = false;
                                           interrupted = 0;
                                           interruptReported = false;
                                           abandonedFile[0] = '\0';
                                           requests = 0;
                                       }};

}  // namespace

namespace rendercancel {

void catchInterrupt() { platform::catchInterrupt(onInterrupt); }

void releaseInterrupt() { platform::releaseInterrupt(); }

void confirm() { cancelConfirmed = true; }

void setAbandonedFile(const char* path) {
    abandonedFile[0] = '\0';
    if (!path || std::strlen(path) >= sizeof abandonedFile) return;
    std::memcpy(abandonedFile, path, std::strlen(path) + 1);
}

bool anotherRequest() { return requests.fetch_add(1) > 0; }

void abandon() { platform::abandonProcess(abandonedFile); }

bool interruptToReport() {
    if (!interrupted || interruptReported) return false;
    interruptReported = true;
    return true;
}

}  // namespace rendercancel

bool renderCancelled() { return cancelConfirmed || interrupted; }
