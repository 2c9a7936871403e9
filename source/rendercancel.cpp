#include "source/rendercancel.h"

#include "platform/interrupt.h"
#include "source/processstate.h"
#include "source/videostream.h"

#include <csignal>
#include <cstring>

namespace {

bool cancelConfirmed = false;
volatile std::sig_atomic_t interrupted = 0;
bool interruptReported = false;
char abandonedFile[4096] = "";

void onInterrupt() {
    if (interrupted) rendercancel::abandon();
    interrupted = 1;
}

const ProcessStateSlot cancelStateSlot{__FILE__,
                                       "cancelConfirmed interrupted interruptReported abandonedFile",
                                       [] {
                                           rendercancel::releaseInterrupt();
                                           cancelConfirmed = false;
                                           interrupted = 0;
                                           interruptReported = false;
                                           abandonedFile[0] = '\0';
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

void abandon() { platform::abandonProcess(abandonedFile); }

bool interruptToReport() {
    if (!interrupted || interruptReported) return false;
    interruptReported = true;
    return true;
}

}  // namespace rendercancel

bool renderCancelled() { return cancelConfirmed || interrupted; }
