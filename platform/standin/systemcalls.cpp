#include "platform/standin/systemcalls.h"
#include "platform/vfw.h"

#include <cstdlib>

#include <sys/stat.h>

namespace {

win32::MessageBoxHandler& handlerSlot() {
    static win32::MessageBoxHandler handler;
    return handler;
}

}  // namespace

int MessageBoxA(HWND, const char* text, const char* caption, UINT type) {
    win32::MessageBoxCall call{text ? text : "", caption ? caption : "", type};
    if (handlerSlot()) return handlerSlot()(call);
    return win32::backend::showMessageBox(call);
}

// In a page the files live in the program's memory (the pack is put at /).
DWORD GetFileAttributesA(const char* fileName) {
    struct stat info {};
    if (!fileName || stat(fileName, &info) != 0) return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(info.st_mode) ? 0x10 : 0x80;  // FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_NORMAL
}

namespace win32 {

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler old = std::move(handlerSlot());
    handlerSlot() = std::move(handler);
    return old;
}

}  // namespace win32

// FormatMessageA's texts are malloc'ed by every stand-in.
HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}
