// Ctrl-C and the system's other requests to stop, the same on every
// platform. The callbacks run in a signal handler (or on the console's own
// thread on Windows): they may only set a flag, or abandon the process.
// Every request reaches the callback, so a second one can end a run that
// does not stop the ordinary way (see abandonProcess).
//
//   platform::catchStopSignals(onStop);     // SIGINT, SIGTERM, SIGHUP, SIGQUIT; on Windows
//                                           // Ctrl-C, Ctrl-Break, closing the console
//   platform::catchInterrupt(onInterrupt);  // for a while, Ctrl-C alone goes here instead
//   platform::releaseInterrupt();           // ... and back
#pragma once

namespace platform {

// On Windows the program, a GUI one, first attaches to the console it was
// started from, if any: only there does Ctrl-C reach it, and its standard
// output and error go there unless they were redirected.
void catchStopSignals(void (*onStop)());

// False when the interrupt cannot be caught here.
bool catchInterrupt(void (*onInterrupt)());
void releaseInterrupt();

// Ends the process at once with exit code 130, from a handler too: removes
// fileToRemove (unless null) and says so on standard error.
[[noreturn]] void abandonProcess(const char* fileToRemove);

// While a blocking message box is up nothing looks at the flags the
// callbacks set: a stop request then ends the process at once, box and all.
void stopRequestsEndAtOnce(bool atOnce);

}  // namespace platform
