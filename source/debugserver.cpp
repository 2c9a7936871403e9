#include "source/debugserver.h"

#include "platform/win32.h"
#include "source/assertion.h"

#include <cstring>
#include <new>

DebugServer::DebugServer(std::int8_t threshold, std::int8_t mode) : threshold(threshold), mode(mode) {
    fatalCaption = new (std::nothrow) char[captionCapacity];
    if (!fatalCaption) {
        // Without its caption the log cannot even report; there is no way on.
        MessageBoxA(nullptr, "Error - out of memory!", "Fatal error!", MB_OK | MB_ICONERROR);
        ExitProcess(1);
    }
    std::strcpy(fatalCaption, "Fatal error!");
    if (mode == 1) {
        logFile = std::fopen("debug.log", "w+");
        if (!logFile) fatal("Error - Can't create log-file! Aborting...");
    }
}

DebugServer::~DebugServer() {
    if (logFile) std::fclose(logFile);
    delete[] lastLine;
    delete[] fatalCaption;
}

void DebugServer::log(const char* logString, std::int8_t level) {
    QVO_REQUIRE(logString);
    const std::size_t length = std::strlen(logString);
    if (!lastLine || lastLineCapacity < length) {
        delete[] lastLine;
        lastLine = nullptr;
        try {
            lastLine = new char[length + 1];
        } catch (const std::bad_alloc&) {
            fatal("Error - out of memory! Aborting...");
        }
        lastLineCapacity = std::uint32_t(length);
    }
    std::memcpy(lastLine, logString, length + 1);
    if (level >= threshold && mode == 1 && logFile) {
        std::fprintf(logFile, "%s\n", logString);
        std::fflush(logFile);
    }
}

void DebugServer::fatal(const char* message) {
    MessageBoxA(nullptr, message, fatalCaption, MB_OK | MB_ICONERROR);
    ExitProcess(1);
}
