#include "platform/interrupt.h"

#include <csignal>

namespace {

void (*stopCallback)() = nullptr;
void (*interruptCallback)() = nullptr;
struct sigaction previousInterrupt {};
bool caught = false;

void onStopSignal(int) {
    if (stopCallback) stopCallback();
}

void onInterruptSignal(int) {
    if (interruptCallback) interruptCallback();
}

bool catchOnce(int signal, void (*handler)(int), struct sigaction* previous) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    return sigaction(signal, &action, previous) == 0;
}

}  // namespace

namespace platform {

void catchStopSignals(void (*onStop)()) {
    stopCallback = onStop;
    catchOnce(SIGINT, onStopSignal, nullptr);
    catchOnce(SIGTERM, onStopSignal, nullptr);
}

bool catchInterrupt(void (*onInterrupt)()) {
    interruptCallback = onInterrupt;
    caught = catchOnce(SIGINT, onInterruptSignal, &previousInterrupt);
    return caught;
}

void releaseInterrupt() {
    if (caught) sigaction(SIGINT, &previousInterrupt, nullptr);
    caught = false;
}

}  // namespace platform
