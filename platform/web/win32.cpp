#include "platform/standin/systemcalls.h"

#include "platform/web/browser.h"

#include <emscripten.h>

#include <cstdio>
#include <cstdlib>

namespace {

double lastYield = 0;

}  // namespace

int win32::backend::showMessageBox(const MessageBoxCall& call) {
    return qvo_message_box(call.text.c_str(), call.caption.c_str(), call.type);
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

// A page runs one program.
DWORD GetCurrentProcessId() { return 1; }

// The program has no file of its own in a page.
DWORD GetModuleFileNameA(void*, char* fileName, DWORD size) {
    if (fileName && size > 0) fileName[0] = '\0';
    return 0;
}

namespace win32 {

// The page is the display.
bool displayAvailable() { return true; }

}  // namespace win32
