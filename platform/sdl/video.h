// What the SDL backend adds to the window and DirectDraw stand-ins, for its
// own units and for tests and tools that look behind them:
//
//   win32::startVideo(); ... win32::stopVideo();   // SDL's video, counted
//   SDL_Window* sdl = win32::sdlWindow(handle);    // null once destroyed
//   ddraw::setCreateHook(fake);                    // DirectDrawCreate builds a double
#pragma once

#include "platform/ddraw.h"
#include "platform/win32window.h"

#include <functional>

struct SDL_Window;

namespace win32 {

// The SDL window behind a handle (null for an unknown or destroyed one).
SDL_Window* sdlWindow(HWND window);

// Reference-counted start and stop of SDL's video for the window and display
// stand-ins, applying the screen-saver and cursor state. False (with SDL's
// error set) when no video driver can start.
bool startVideo();
void stopVideo();

}  // namespace win32

namespace ddraw {

// Replaces what DirectDrawCreate builds (an empty function restores the SDL
// one). Returns the previous hook.
using CreateHook = std::function<HRESULT(IDirectDraw** directDraw)>;
CreateHook setCreateHook(CreateHook hook);

// The SDL-backed DirectDraw, without the display check DirectDrawCreate
// makes first (so it can run on SDL's dummy driver).
HRESULT createSdlDirectDraw(IDirectDraw** directDraw);

}  // namespace ddraw
