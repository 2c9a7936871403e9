// The engine's log: callers hand over one finished line and a level; lines
// whose level reaches the threshold go to "debug.log" (mode 1 only), each
// flushed at once. fatal() is the last-resort exit.
//
//   DebugServer debug(11, 0);                 // this program: writes nothing
//   debug.log("{FileServer::File}: ...", 4);
//   debug.fatal("Error - ...");               // "Fatal error!" box, exit 1
#pragma once

#include <cstdint>
#include <cstdio>

class DebugServer {
public:
    static constexpr int captionCapacity = 1024;

    // Mode 1 creates (or empties) "debug.log" in the working directory.
    DebugServer(std::int8_t threshold, std::int8_t mode);
    ~DebugServer();
    DebugServer(const DebugServer&) = delete;
    DebugServer& operator=(const DebugServer&) = delete;

    // Keeps a copy of every line; writes it with a newline when
    // level >= threshold and a log file is open.
    void log(const char* logString, std::int8_t level);
    [[noreturn]] void fatal(const char* message);

    const char* lastLogged() const { return lastLine; }

private:
    std::int8_t threshold;
    std::int8_t mode;
    char* lastLine = nullptr;
    char* fatalCaption = nullptr;
    std::uint32_t lastLineCapacity = 0;
    std::FILE* logFile = nullptr;
};
