// Ending a render early, with the file completed: "Really?" confirmed in the
// progress window, or Ctrl-C. While a render runs, Ctrl-C only asks; the
// handler is one-shot, so a second Ctrl-C ends the process the ordinary way
// and abandons the file.
#pragma once

namespace rendercancel {

void catchInterrupt();    // when the render starts
void releaseInterrupt();  // when it ends: Ctrl-C goes back to its old handler
// The user confirmed the cancel question.
void confirm();
// True once, after the first Ctrl-C: time to say what will happen.
bool interruptToReport();

}  // namespace rendercancel
