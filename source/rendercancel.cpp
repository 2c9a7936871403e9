#include "source/rendercancel.h"

#include "platform/interrupt.h"
#include "source/processstate.h"
#include "source/videostream.h"

#include <csignal>

namespace {

bool cancelConfirmed = false;
volatile std::sig_atomic_t interrupted = 0;
bool interruptReported = false;

void onInterrupt() { interrupted = 1; }

const ProcessStateSlot cancelStateSlot{__FILE__,
                                       "cancelConfirmed interrupted interruptReported",
                                       [] {
                                           rendercancel::releaseInterrupt();
                                           cancelConfirmed = false;
                                           interrupted = 0;
                                           interruptReported = false;
                                       }};

}  // namespace

namespace rendercancel {

void catchInterrupt() { platform::catchInterrupt(onInterrupt); }

void releaseInterrupt() { platform::releaseInterrupt(); }

void confirm() { cancelConfirmed = true; }

bool interruptToReport() {
    if (!interrupted || interruptReported) return false;
    interruptReported = true;
    return true;
}

}  // namespace rendercancel

bool renderCancelled() { return cancelConfirmed || interrupted; }
