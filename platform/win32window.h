// The window side of the Win32 API the display calls: one window class and
// window, its message queue and window procedure, the cursor, the screen
// saver switch and the program's icon resource. On Windows the system's
// own; elsewhere one core (platform/standin) over SDL2 (platform/sdl) or the
// browser's canvas (platform/web).
//
//   WNDCLASSA wc{}; wc.lpfnWndProc = proc; wc.lpszClassName = "Tirrow";
//   wc.hIcon = LoadIconA(GetModuleHandleA(nullptr), "IDI_MAIN");
//   RegisterClassA(&wc);
//   HWND w = CreateWindowExA(0, "Tirrow", "Tirrow", WS_POPUP | WS_SYSMENU, 0, 0, 0, 0, ...);
//   MSG m; while (PeekMessageA(&m, w, 0, 0, PM_REMOVE)) { TranslateMessage(&m); DispatchMessageA(&m); }
//
// SDL events become messages when the queue is pumped: a close request (or
// SIGINT/SIGTERM) -> WM_CLOSE, a key -> WM_KEYDOWN/WM_KEYUP with its virtual
// key code (Escape 0x1B), focus gained/lost -> WM_ACTIVATEAPP 1/0, the mouse
// over the window -> WM_SETCURSOR. Windows are created hidden; the display
// shows them (see platform/ddraw.h). Without a usable SDL video driver
// CreateWindowExA returns null and the other calls do nothing.
#pragma once

#include "platform/win32.h"

#ifndef _WIN32

#include <cstdint>

using BOOL = int;
using ATOM = std::uint16_t;
using LONG = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HICON = void*;
using HCURSOR = void*;
using HBRUSH = void*;
using HMENU = void*;
using HMODULE = void*;

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct WNDCLASSA {
    UINT style = 0;
    WNDPROC lpfnWndProc = nullptr;
    int cbClsExtra = 0;
    int cbWndExtra = 0;
    HINSTANCE hInstance = nullptr;
    HICON hIcon = nullptr;
    HCURSOR hCursor = nullptr;
    HBRUSH hbrBackground = nullptr;
    const char* lpszMenuName = nullptr;
    const char* lpszClassName = nullptr;
};

struct POINT {
    LONG x = 0;
    LONG y = 0;
};

struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;
    POINT pt;
};

constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_VISIBLE = 0x10000000u;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

constexpr UINT SPI_SETSCREENSAVEACTIVE = 17;

constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_ESCAPE = 0x1B;
constexpr WPARAM VK_SPACE = 0x20;

// The program's own module (any non-null value; only compared).
HINSTANCE GetModuleHandleA(const char* moduleName);

// The icon resource of that name ("IDI_MAIN"), or null when there is none.
HICON LoadIconA(HINSTANCE instance, const char* name);

// Records the class under its name (a later class of the same name replaces
// it). Returns a nonzero atom, or 0 for a class without name or procedure.
ATOM RegisterClassA(const WNDCLASSA* windowClass);

// A hidden SDL window of a registered class with the class's icon; sizes
// below 1 become 640 x 480 until the display sizes it. Null on failure.
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);

// Destroys the window; a second call on the same handle does nothing.
BOOL DestroyWindow(HWND window);

// SW_HIDE hides, anything else shows. Returns whether it was visible.
BOOL ShowWindow(HWND window, int command);

// Pumps SDL's events into the queue, then takes the first message for the
// window (null: any window) within [first, last] (0, 0: all).
BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove);

// Queues a message for the window (delivered by the next PeekMessageA).
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Character messages are not used by this program: nothing is translated.
BOOL TranslateMessage(const MSG* message);

// Calls the window procedure of the message's window; returns its result.
LRESULT DispatchMessageA(const MSG* message);

// The default handling: WM_CLOSE destroys the window, the rest returns 0.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Null hides the mouse cursor; any other cursor shows it. Returns the previous.
HCURSOR SetCursor(HCURSOR cursor);

// Only SPI_SETSCREENSAVEACTIVE: parameter 0 keeps the screen saver away,
// 1 allows it again. Returns TRUE for that action and FALSE for others.
BOOL SystemParametersInfoA(UINT action, UINT parameter, void* data, UINT winIni);

#endif  // _WIN32
