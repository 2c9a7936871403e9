// The small part of the Win32 API the demo calls that is not about windows:
// message boxes, the millisecond tick, Sleep and process exit. On Windows
// these are the system's own; elsewhere the stand-ins' (platform/standin,
// with the box shown by platform/sdl or platform/web):
//
//   MessageBoxA  - a real message box where a display exists; otherwise
//                  the caption and text go to standard error.
//   GetTickCount - milliseconds since system start (CLOCK_MONOTONIC), wrapping
//                  at 2^32 like the original.
//
// Tests swap the message box for a recording double with
// win32::setMessageBoxHandler.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include <cstdint>
#include <functional>
#include <string>

using DWORD = std::uint32_t;
using UINT = unsigned int;
using HWND = void*;
using HINSTANCE = void*;

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a modal box and returns the button pressed (IDOK, IDYES, IDNO).
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

// Milliseconds since the system started, wrapping at 2^32.
DWORD GetTickCount();

void Sleep(DWORD milliseconds);

// This process's number, unique among the running ones.
DWORD GetCurrentProcessId();

// Ends the process with the given exit code; static destructors run.
[[noreturn]] void ExitProcess(UINT exitCode);

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// The attributes of a file or directory, INVALID_FILE_ATTRIBUTES when there
// is none of that name (only the existence is answered here).
DWORD GetFileAttributesA(const char* fileName);

// The path of the running program for a null module; returns the path's
// length (0 on failure, size when the buffer was too small, as Windows does).
DWORD GetModuleFileNameA(void* module, char* fileName, DWORD size);

// The stand-ins' own seams.
namespace win32 {

// What a message box would have shown; handed to a replacement handler.
struct MessageBoxCall {
    std::string text;
    std::string caption;
    UINT type = 0;
};

using MessageBoxHandler = std::function<int(const MessageBoxCall&)>;

// Replaces the message box (null restores the real one). Returns the old one.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);

// True when a display is there to show windows on (DISPLAY or
// WAYLAND_DISPLAY set, and SDL not forced onto a headless driver).
bool displayAvailable();

}  // namespace win32

#endif  // _WIN32
