// Ending a render early, with the file completed: "Really?" confirmed in the
// progress window, or Ctrl-C. While a render runs, Ctrl-C only asks; a
// second Ctrl-C (or a second stop request) abandons the render: the
// unfinished file is removed and the process ends with exit code 130.
#pragma once

namespace rendercancel {

void catchInterrupt();    // when the render starts
void releaseInterrupt();  // when it ends: Ctrl-C goes back to its old handler
// The user confirmed the cancel question.
void confirm();
// True once, after the first Ctrl-C: time to say what will happen.
bool interruptToReport();
// The unfinished file an abandoned render leaves behind, removed then (null:
// none). Kept in a fixed buffer, since a signal handler reads it.
void setAbandonedFile(const char* path);
[[noreturn]] void abandon();
// Counts a stop request (from a handler too); true when one came before.
bool anotherRequest();

}  // namespace rendercancel
