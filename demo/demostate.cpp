#include "demo/demostate.h"

#include "source/processstate.h"

// The objects are the run's: a reset forgets them, their creator frees them.
PROCESS_STATE(DebugServer*, debugServer, nullptr);
PROCESS_STATE(ExceptionServer*, exceptionServer, nullptr);
PROCESS_STATE(FileServer*, fileServer, nullptr);
PROCESS_STATE(Window*, window, nullptr);
PROCESS_STATE(Surface*, surface, nullptr);
PROCESS_STATE(TitleSlots, titleImages);

PROCESS_STATE(std::int32_t, loopStart, 0);
PROCESS_STATE(bool, glowStarted, false);
PROCESS_STATE(std::int32_t, glowLevel, 0);
PROCESS_STATE(bool, flashStarted, false);
