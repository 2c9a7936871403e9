// What the window stand-ins of the SDL and web backends share: the class
// registry, the window records, the message queue and the cursor and
// screen-saver switches. A backend adds only its own window (a subclass of
// WindowRecord) and the hooks at the end of this file.
#pragma once

#include "platform/win32window.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace windowcore {

// The program's icon resource, 32-bit ARGB, top row first.
struct Icon {
    int width;
    int height;
    std::vector<std::uint32_t> argb;
};

// A window's handle is its record's address. Records stay after
// destruction so a stale handle is recognised as dead instead of pointing at
// freed memory.
struct WindowRecord {
    virtual ~WindowRecord() = default;
    // Takes the backend's window away; the record is already dead.
    virtual void close() = 0;
    // Shows or hides it; returns whether it was visible.
    virtual bool show(bool visible) = 0;

    WNDPROC procedure = nullptr;
    bool alive = false;
};

// The icon a class names when it is the program's own, else null.
const Icon* classIcon(const WNDCLASSA& windowClass);

// All records ever made, oldest first, dead ones included.
const std::vector<std::unique_ptr<WindowRecord>>& windows();

// The live record behind a handle, null for an unknown or destroyed one.
WindowRecord* liveWindow(HWND window);

bool anyLiveWindow();

// Appends a message to the queue, stamped with the tick.
void post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The mouse is over the window: WM_SETCURSOR, unless that is already the
// last message queued for it.
void postCursorOver(WindowRecord* window);

}  // namespace windowcore

// Each backend defines these.
namespace windowcore::backend {

// The backend's window for a new window of that class; null when none can
// be made (CreateWindowExA then fails).
std::unique_ptr<WindowRecord> openWindow(const WNDCLASSA& windowClass, const char* title, DWORD style, int x, int y,
                                         int width, int height);

// Turns the backend's pending input into queued messages.
void takeEvents();

void hideCursor(bool hidden);
void allowScreenSaver(bool allowed);

}  // namespace windowcore::backend

// What the core keeps of the process-wide switches, for tests and tools.
namespace win32 {

// Whether the screen saver is currently allowed (what the last
// SystemParametersInfoA asked; allowed at start).
bool screenSaverAllowed();

// Whether SetCursor last hid the mouse cursor.
bool cursorHidden();

}  // namespace win32

namespace ddraw {

// How many LoadLibraryA handles are not freed yet.
int openLibraryCount();

}  // namespace ddraw
