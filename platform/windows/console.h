// The console a GUI program was started from. Such a program gets no console
// of its own: without one its standard output and error go nowhere and Ctrl-C
// never reaches its handler.
#pragma once

namespace console {

// Attaches the program to the console of the process that started it, if
// that one has a console, and points standard output and error there, each
// only where it is not already redirected to a file or a pipe. Does nothing
// after the first call, or when there is no such console.
void attachToParent();

}  // namespace console
