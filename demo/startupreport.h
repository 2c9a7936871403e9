// QVO_TIMINGS=1: where the start-up time goes, phase by phase, and the most
// memory of the program's own the run held. Everything goes to standard
// error; without the variable nothing is measured.
//
//   startup::begin();                 // the run starts: the origin of it all
//   startup::phaseDone("pack");       // the time since the previous mark
//   startup::firstFrame(3500.0);      // the first frame of the show is up
//   startup::sampleMemory();          // now and then while it runs
//   startup::reportMemory();          // at the end
#pragma once

namespace startup {

bool enabled();
// The run begins now (a page may make the program long before it runs it).
void begin();
// Milliseconds since the run began.
double sinceBeginMs();
void phaseDone(const char* name);
// Prints the phases and the time to the first frame, the pre-roll of
// `prerollMs` (counted from the program's beginning) left out.
void firstFrame(double prerollMs);
// Reads the process's anonymous memory (heap, stacks, private mappings:
// what it made itself, not the libraries' code) at most once a second.
void sampleMemory();
void reportMemory();

}  // namespace startup
