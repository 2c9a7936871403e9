#include "demo/stopsignals.h"

#include "platform/interrupt.h"
#include "source/processstate.h"

#include <csignal>

namespace {

PROCESS_STATE(volatile std::sig_atomic_t, requested, 0);

void onStop() { requested = 1; }

}  // namespace

void catchStopSignals() {
    requested = 0;
    platform::catchStopSignals(onStop);
}

bool stopRequested() { return requested != 0; }
