#include "source/rendercancel.h"

#include "source/processstate.h"
#include "source/videostream.h"

#include <csignal>

namespace {

bool cancelConfirmed = false;
volatile std::sig_atomic_t interrupted = 0;
bool interruptReported = false;
struct sigaction previousInterrupt {};
bool interruptHandled = false;

void onInterrupt(int) { interrupted = 1; }

const ProcessStateSlot cancelStateSlot{__FILE__,
                                       "cancelConfirmed interrupted interruptReported previousInterrupt interruptHandled",
                                       [] {
                                           rendercancel::releaseInterrupt();
                                           cancelConfirmed = false;
                                           interrupted = 0;
                                           interruptReported = false;
                                           previousInterrupt = {};
                                       }};

}  // namespace

namespace rendercancel {

void catchInterrupt() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    interruptHandled = sigaction(SIGINT, &action, &previousInterrupt) == 0;
}

void releaseInterrupt() {
    if (interruptHandled) sigaction(SIGINT, &previousInterrupt, nullptr);
    interruptHandled = false;
}

void confirm() { cancelConfirmed = true; }

bool interruptToReport() {
    if (!interrupted || interruptReported) return false;
    interruptReported = true;
    return true;
}

}  // namespace rendercancel

bool renderCancelled() { return cancelConfirmed || interrupted; }
