#include "platform/windows/console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>

namespace {

// Whether the C runtime's descriptor leads somewhere: a file, a pipe or a
// console the program was given. A GUI program started without one has no
// handle there (-2), or an unusable one.
bool leadsSomewhere(int fd) {
    const std::intptr_t handle = _get_osfhandle(fd);
    return handle > 0 && GetFileType(HANDLE(handle)) != FILE_TYPE_UNKNOWN;
}

// Points the C stream `stream` (descriptor `fd`) and the system's standard
// handle `which` at the console's screen.
void reopenOnConsole(std::FILE* stream, int fd, DWORD which) {
    HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (screen == INVALID_HANDLE_VALUE) return;
    const int opened = _open_osfhandle(std::intptr_t(screen), _O_TEXT);
    if (opened < 0) {
        CloseHandle(screen);
        return;
    }
    const bool moved = _dup2(opened, fd) == 0;
    _close(opened);
    if (!moved) return;
    SetStdHandle(which, HANDLE(_get_osfhandle(fd)));
#ifndef _UCRT
    // A runtime that found no handle at start may have given the stream no
    // descriptor at all (Wine's marks it -2), and then freopen refuses it
    // too: hand it the descriptor it normally has.
    if (_fileno(stream) < 0) stream->_file = fd;
#endif
    // A console shows each line as it is written, the progress line's
    // carriage returns included.
    std::setvbuf(stream, nullptr, _IONBF, 0);
}

bool attached = false;

}  // namespace

namespace console {

void attachToParent() {
    if (attached) return;
    attached = true;
    // Fails when there is no such console, or when the program has one
    // already (then nothing needs doing).
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    // A stream redirected by whoever started the program stays where it is;
    // AttachConsole may have filled in the handles that were missing, which
    // the C runtime does not know about.
    if (!leadsSomewhere(1)) reopenOnConsole(stdout, 1, STD_OUTPUT_HANDLE);
    if (!leadsSomewhere(2)) reopenOnConsole(stderr, 2, STD_ERROR_HANDLE);
}

}  // namespace console
