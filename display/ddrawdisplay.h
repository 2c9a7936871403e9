// The DirectDraw display: one exclusive full-screen window with a flipping
// chain, its message pump and window procedure. Process-wide, since there is
// only ever one display.
//
//   initDisplay("Tirrow", 640, 480);  // 1 on success, 0 on failure
//   presentFrame(pixels);             // pump, convert into the back buffer, flip
//   shutdownDisplay();                // safe to call any number of times
//
// Escape and the window's close request shut the display down and end the
// process with exit code 0 from inside windowProc.
#pragma once

#include "platform/win32window.h"

#include <cstdint>

int initDisplay(const char* className, std::int32_t width, std::int32_t height);
// Why the last initDisplay returned 0, for the user ("" after a success).
const char* displayFailure();
void shutdownDisplay();

// Returns 1 when the frame was handled (also while the application is
// inactive, when nothing is drawn), 0 when there is nothing to present into
// (no display, no pixels) or the back buffer cannot be locked.
int presentFrame(const void* pixels);

LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND getWindowHandle();
