#include "demo/demostate.h"

DebugServer* debugServer = nullptr;
ExceptionServer* exceptionServer = nullptr;
FileServer* fileServer = nullptr;
Window* window = nullptr;
Surface* surface = nullptr;
TitleImage* titleImages[3] = {nullptr, nullptr, nullptr};

std::int32_t loopStart = 0;
bool glowStarted = false;
std::int32_t glowLevel = 0;
bool flashStarted = false;
