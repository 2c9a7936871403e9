// The synthesizer reads the demo's cue tables (demo/timeline.cpp is compiled
// into it) but never fires a cue, so the clock those cue lists would query
// is a constant here. This keeps the tool independent of the display, audio
// and platform layers that the demo's real clock sits on.
#include "demo/clock.h"

std::int32_t syncStartTime = 0;

std::int32_t demoTime() { return 0; }
