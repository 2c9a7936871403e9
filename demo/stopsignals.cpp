#include "demo/stopsignals.h"

#include "platform/interrupt.h"
#include "source/processstate.h"
#include "source/rendercancel.h"

#include <csignal>

namespace {

PROCESS_STATE(volatile std::sig_atomic_t, requested, 0);

// A second request ends a run that did not stop for the first; a Ctrl-C
// that stopped a render counts as the first.
void onStop() {
    if (rendercancel::anotherRequest()) rendercancel::abandon();
    requested = 1;
}

}  // namespace

void catchStopSignals() {
    requested = 0;
    platform::catchStopSignals(onStop);
}

bool stopRequested() { return requested != 0; }
