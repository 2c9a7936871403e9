// The process-wide objects of a run, created by the start-up sequence and
// read by the effects, the music and the frame loop.
#pragma once

#include <array>
#include <cstdint>

class FileServer;
class DebugServer;
class ExceptionServer;
class Window;
class Surface;
class TitleImage;

extern DebugServer* debugServer;
extern ExceptionServer* exceptionServer;
extern FileServer* fileServer;
extern Window* window;
extern Surface* surface;
using TitleSlots = std::array<TitleImage*, 3>;
extern TitleSlots titleImages;  // slot 0 "ossa", 1 "quel", 2 "varn"

extern std::int32_t loopStart;  // demo time just before the first frame
extern bool glowStarted;
extern std::int32_t glowLevel;  // glow track, truncated; read by the bars
extern bool flashStarted;       // title flash has begun; read by the grid
