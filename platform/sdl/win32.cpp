#include "platform/interrupt.h"
#include "platform/standin/systemcalls.h"

#include <SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

SDL_MessageBoxFlags sdlIcon(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR: return SDL_MESSAGEBOX_ERROR;
        case MB_ICONEXCLAMATION: return SDL_MESSAGEBOX_WARNING;
        default: return SDL_MESSAGEBOX_INFORMATION;
    }
}

// Returns the button pressed, or -1 when SDL cannot show the box.
int showSdlBox(const win32::MessageBoxCall& call) {
    SDL_MessageBoxButtonData buttons[2];
    int count = 0;
    if ((call.type & MB_TYPEMASK) == MB_YESNO) {
        buttons[0] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"};
        buttons[1] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"};
        count = 2;
    } else {
        buttons[0] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
                      IDOK, "OK"};
        count = 1;
    }
    SDL_MessageBoxData data{};
    data.flags = sdlIcon(call.type);
    data.title = call.caption.c_str();
    data.message = call.text.c_str();
    data.numbuttons = count;
    data.buttons = buttons;
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0 || pressed < 0) return -1;
    return pressed;
}

// Headless: the box becomes lines on standard error. A yes/no question is
// answered "No", the cautious choice, unless a terminal is there to ask.
int showOnStderr(const win32::MessageBoxCall& call) {
    std::fprintf(stderr, "[%s] %s\n", call.caption.c_str(), call.text.c_str());
    if ((call.type & MB_TYPEMASK) != MB_YESNO) return IDOK;
    std::fprintf(stderr, "(no display: answering No)\n");
    return IDNO;
}

}  // namespace

int win32::backend::showMessageBox(const MessageBoxCall& call) {
    if (displayAvailable()) {
        // The box blocks this thread: a stop signal ends the program there.
        platform::stopRequestsEndAtOnce(true);
        int pressed = showSdlBox(call);
        platform::stopRequestsEndAtOnce(false);
        if (pressed >= 0) return pressed;
    }
    return showOnStderr(call);
}

DWORD GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t ms = std::uint64_t(now.tv_sec) * 1000u + std::uint64_t(now.tv_nsec) / 1000000u;
    return DWORD(ms);  // wraps at 2^32 like the original tick
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void ExitProcess(UINT exitCode) {
    std::fflush(nullptr);
    std::exit(int(exitCode));
}

DWORD GetCurrentProcessId() { return DWORD(::getpid()); }

DWORD GetModuleFileNameA(void*, char* fileName, DWORD size) {
    if (!fileName || size == 0) return 0;
    const ssize_t length = readlink("/proc/self/exe", fileName, size);
    if (length <= 0) return 0;
    if (DWORD(length) >= size) {  // cut, and terminated, as Windows does
        fileName[size - 1] = '\0';
        return size;
    }
    fileName[length] = '\0';
    return DWORD(length);
}

namespace win32 {

bool displayAvailable() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0))
        return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace win32
