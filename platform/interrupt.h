// Ctrl-C and the system's other requests to stop, the same on every
// platform. Each catch is one-shot: a second request ends a run that hangs
// the ordinary way. The callbacks run in a signal handler (or on the
// console's own thread on Windows): they may only set a flag.
//
//   platform::catchStopSignals(onStop);     // SIGINT, SIGTERM / Ctrl-C, Ctrl-Break, closing the console
//   platform::catchInterrupt(onInterrupt);  // for a while, Ctrl-C alone goes here instead
//   platform::releaseInterrupt();           // ... and back
#pragma once

namespace platform {

void catchStopSignals(void (*onStop)());

// False when the interrupt cannot be caught here.
bool catchInterrupt(void (*onInterrupt)());
void releaseInterrupt();

}  // namespace platform
