#include "demo/stopsignals.h"

#include "source/processstate.h"

#include <csignal>

namespace {

PROCESS_STATE(volatile std::sig_atomic_t, requested, 0);

void onStopSignal(int) { requested = 1; }

}  // namespace

void catchStopSignals() {
    requested = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested() { return requested != 0; }
