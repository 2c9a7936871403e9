#include "platform/interrupt.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<void (*)()> stopCallback{nullptr};
std::atomic<void (*)()> interruptCallback{nullptr};
bool installed = false;

// Runs on a thread the console creates. An armed callback takes the event
// once; after that the event passes on, and the next one ends the process.
BOOL WINAPI onConsoleEvent(DWORD event) {
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    if (interrupt) {
        if (auto callback = interruptCallback.exchange(nullptr)) {
            callback();
            return TRUE;
        }
    }
    if (interrupt || event == CTRL_CLOSE_EVENT) {
        if (auto callback = stopCallback.exchange(nullptr)) {
            callback();
            return TRUE;
        }
    }
    return FALSE;
}

void install() {
    if (!installed) installed = SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

}  // namespace

namespace platform {

void catchStopSignals(void (*onStop)()) {
    stopCallback = onStop;
    install();
}

bool catchInterrupt(void (*onInterrupt)()) {
    interruptCallback = onInterrupt;
    install();
    return installed;
}

void releaseInterrupt() { interruptCallback = nullptr; }

}  // namespace platform
