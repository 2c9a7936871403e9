// A page has no Ctrl-C or termination signals: leaving or closing it ends
// the program with it, and Escape is the way to stop a run.
#include "platform/interrupt.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

void catchStopSignals(void (*)()) {}
bool catchInterrupt(void (*)()) { return false; }
void releaseInterrupt() {}

void abandonProcess(const char* fileToRemove) {
    if (fileToRemove && fileToRemove[0]) std::remove(fileToRemove);
    std::_Exit(130);
}

void stopRequestsEndAtOnce(bool) {}

}  // namespace platform
