#include "platform/interrupt.h"
#include "platform/windows/console.h"

#include <windows.h>

#include <atomic>
#include <cstring>

namespace {

std::atomic<void (*)()> stopCallback{nullptr};
std::atomic<void (*)()> interruptCallback{nullptr};
std::atomic<bool> endAtOnce{false};
bool installed = false;

void say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, DWORD(std::strlen(text)), &written, nullptr);
}

// Runs on a thread the console creates. Ctrl-C goes to the armed interrupt
// callback, else to the stop callback; without one the event passes on and
// the system ends the process.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (endAtOnce) ExitProcess(128 + 2);
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    if (interrupt) {
        if (auto callback = interruptCallback.load()) {
            callback();
            return TRUE;
        }
    }
    if (interrupt || event == CTRL_CLOSE_EVENT) {
        if (auto callback = stopCallback.load()) {
            callback();
            return TRUE;
        }
    }
    return FALSE;
}

void install() {
    if (!installed) installed = SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

}  // namespace

namespace platform {

void catchStopSignals(void (*onStop)()) {
    // Ctrl-C reaches a GUI program only through a console it is attached to.
    console::attachToParent();
    stopCallback = onStop;
    install();
}

bool catchInterrupt(void (*onInterrupt)()) {
    interruptCallback = onInterrupt;
    install();
    return installed;
}

void releaseInterrupt() { interruptCallback = nullptr; }

void abandonProcess(const char* fileToRemove) {
    // The writer may still hold the file open; then it stays, under its
    // partial name, and the final name is untouched either way.
    if (fileToRemove && fileToRemove[0] && DeleteFileA(fileToRemove))
        say("\r\nAbandoned: the unfinished file was removed.\r\n");
    else
        say("\r\nAbandoned.\r\n");
    ExitProcess(130);
}

void stopRequestsEndAtOnce(bool atOnce) { endAtOnce = atOnce; }

}  // namespace platform
