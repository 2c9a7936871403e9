#include "display/ddrawdisplay.h"

// Provisional: no display yet, every frame reports nothing presented.
int initDisplay(const char*, std::int32_t, std::int32_t) { return 0; }
void shutdownDisplay() {}
int presentFrame(const void*) { return 0; }
LRESULT windowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
HWND getWindowHandle() { return nullptr; }
