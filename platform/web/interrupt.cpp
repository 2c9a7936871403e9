// A page has no Ctrl-C or termination signals: leaving or closing it ends
// the program with it, and Escape is the way to stop a run.
#include "platform/interrupt.h"

namespace platform {

void catchStopSignals(void (*)()) {}
bool catchInterrupt(void (*)()) { return false; }
void releaseInterrupt() {}

}  // namespace platform
