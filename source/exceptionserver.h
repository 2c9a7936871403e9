// The engine's error model.
//
//   ExceptionType   a plain 2048-byte record (error text + extra text), thrown
//                   by value. The sixteen standard errors below are templates:
//                   throw a copy, never the global itself:
//                       exOpenFile.setExtraString(name);
//                       throw ExceptionType(exOpenFile);
//   ExceptionSpace::Exception
//                   thrown as a pointer to a heap object; report() shows it.
//   outOfMemoryHandler
//                   installed with std::set_new_handler: from then on a failed
//                   allocation throws a copy of exOutOfMemory.
#pragma once

#include <string>

class DebugServer;

class ExceptionType {
public:
    static constexpr int textCapacity = 1024;

    // Copies the text (cut to fit, always terminated); extraString is empty.
    explicit ExceptionType(const char* errorstring);
    void setExtraString(const char* str);

    char string[textCapacity];
    char extraString[textCapacity];
};

static_assert(sizeof(ExceptionType) == 2048, "thrown and copied as a 2048-byte record");

extern const std::string msgInvalidPlatform;
extern const std::string msgTimerNotStarted;

extern ExceptionType exFileNotFound;
extern ExceptionType exOpenFile;
extern ExceptionType exReadFile;
extern ExceptionType exTooManyFiles;
extern ExceptionType exInvalidData;
extern ExceptionType exOutOfMemory;
extern ExceptionType exGraphicsMode;
extern ExceptionType exStackOverflow;
extern ExceptionType exCreateWindow;
extern ExceptionType exFetchDC;
extern ExceptionType exSetPixelFormat;
extern ExceptionType exCreateRC;
extern ExceptionType exImageReader;
extern ExceptionType exUndefined;
extern ExceptionType exTimerInit;
extern ExceptionType exReadMetadata;

namespace ExceptionSpace {

class Exception {
public:
    // A null file means "no file"; line -1 means "no line".
    Exception(std::string message, const char* file, int line);
    virtual ~Exception();
    // Shows the message and where it was thrown in an "Error!" box.
    virtual int report();

    std::string message;
    std::string file;
    int line;
};

}  // namespace ExceptionSpace

// Never returns: throws a copy of exOutOfMemory.
[[noreturn]] void outOfMemoryHandler();

class ExceptionServer {
public:
    explicit ExceptionServer(DebugServer* debugServer) : debugServer(debugServer) {}

private:
    [[maybe_unused]] DebugServer* debugServer;  // not owned
};
