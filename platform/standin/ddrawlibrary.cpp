// The run-time loading DirectDraw is reached through: "ddraw.dll" is the one
// library there is, and DirectDrawCreate its one export.
#include "platform/standin/windowcore.h"
#include "platform/ddraw.h"

#include <cctype>
#include <cstring>
#include <string>

namespace {

char ddrawLibrary;
int openLibraries = 0;

}  // namespace

HMODULE LoadLibraryA(const char* fileName) {
    if (!fileName) return nullptr;
    std::string name;
    for (const char* c = fileName; *c; ++c) name += char(std::tolower(static_cast<unsigned char>(*c)));
    if (name != "ddraw.dll") return nullptr;
    ++openLibraries;
    return &ddrawLibrary;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
    if (module != &ddrawLibrary || !name || std::strcmp(name, "DirectDrawCreate") != 0) return nullptr;
    return reinterpret_cast<FARPROC>(&DirectDrawCreate);
}

BOOL FreeLibrary(HMODULE module) {
    if (module != &ddrawLibrary || openLibraries == 0) return 0;
    --openLibraries;
    return 1;
}

namespace ddraw {

int openLibraryCount() { return openLibraries; }

}  // namespace ddraw
