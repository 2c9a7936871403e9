#include "platform/win32.h"

#include "platform/web/browser.h"

#include <emscripten.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace {

win32::MessageBoxHandler& handlerSlot() {
    static win32::MessageBoxHandler handler;
    return handler;
}

double lastYield = 0;

}  // namespace

int MessageBoxA(HWND, const char* text, const char* caption, UINT type) {
    win32::MessageBoxCall call{text ? text : "", caption ? caption : "", type};
    if (handlerSlot()) return handlerSlot()(call);
    return qvo_message_box(call.text.c_str(), call.caption.c_str(), type);
}

// performance.now(): milliseconds since the page opened, wrapping at 2^32
// like the original tick.
DWORD GetTickCount() { return DWORD(std::uint64_t(emscripten_get_now())); }

// Sleeping hands the browser its turn. Sleep(0) asks only to yield: it does
// so unless the page had a turn within the last few milliseconds (each Flip
// already waits for an animation frame), so a frame costs no extra timer.
void Sleep(DWORD milliseconds) {
    const double now = emscripten_get_now();
    if (milliseconds == 0 && now - lastYield < 8) return;
    emscripten_sleep(milliseconds);
    lastYield = emscripten_get_now();
}

namespace web {
void noteYield() { lastYield = emscripten_get_now(); }
}  // namespace web

void ExitProcess(UINT exitCode) {
    std::fflush(nullptr);
    qvo_page_exit(int(exitCode));
    std::exit(int(exitCode));
}

// The page's files live in the program's memory (the pack is put at /).
DWORD GetFileAttributesA(const char* fileName) {
    struct stat info {};
    if (!fileName || stat(fileName, &info) != 0) return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(info.st_mode) ? 0x10 : 0x80;  // FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_NORMAL
}

// The program has no file of its own in a page.
DWORD GetModuleFileNameA(void*, char* fileName, DWORD size) {
    if (fileName && size > 0) fileName[0] = '\0';
    return 0;
}

namespace win32 {

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler old = std::move(handlerSlot());
    handlerSlot() = std::move(handler);
    return old;
}

// The page is the display.
bool displayAvailable() { return true; }

}  // namespace win32
