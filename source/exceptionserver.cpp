#include "source/exceptionserver.h"

#include "platform/win32.h"
#include "source/assertion.h"
#include "source/processstate.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

static_assert(std::is_trivially_copyable_v<ExceptionType>, "copied bytewise");

namespace {

void copyCut(char (&field)[ExceptionType::textCapacity], const char* text) {
    std::strncpy(field, text, ExceptionType::textCapacity - 1);
    field[ExceptionType::textCapacity - 1] = '\0';
}

}  // namespace

ExceptionType::ExceptionType(const char* errorstring) {
    QVO_REQUIRE(errorstring);
    copyCut(string, errorstring);
    extraString[0] = '\0';
}

void ExceptionType::setExtraString(const char* str) {
    QVO_REQUIRE(str);
    copyCut(extraString, str);
}

// Built in this order before main runs: the two message strings, then the
// sixteen standard errors in table order.
const std::string msgInvalidPlatform = "Invalid platform!";
const std::string msgTimerNotStarted = "An attempt was made to use the timer before it was started!";

ExceptionType exFileNotFound("Error - file %s not found! Aborting...");
ExceptionType exOpenFile("Error - couldn't open file %s! Aborting...");
ExceptionType exReadFile("Error - couldn't read file %s! Aborting...");
ExceptionType exTooManyFiles("Error - too many files in FileServer! Aborting...");
ExceptionType exInvalidData("Error - invalid data in file %s! Aborting...");
ExceptionType exOutOfMemory("Error - out of memory! Aborting...");
ExceptionType exGraphicsMode("Error - graphics mode not supported! Aborting...");
ExceptionType exStackOverflow("Error - internal stack overflow! Aborting...");
ExceptionType exCreateWindow("Error - couldn't create window! Aborting...");
ExceptionType exFetchDC("Error - couldn't fetch DC! Aborting...");
ExceptionType exSetPixelFormat("Error - couldn't set pixel format! Aborting...");
ExceptionType exCreateRC("Error - couldn't create RC! Aborting...");
ExceptionType exImageReader("Error - couldn't initialize image-reader! Aborting...");
ExceptionType exUndefined("Error - an undefined exception was thrown! Aborting...");
ExceptionType exTimerInit("Error - couldn't initialize timer! Aborting...");
ExceptionType exReadMetadata("Error - couldn't read metadata! Aborting...");

// Throwers give the standard errors their extra text (a file name); a reset
// takes it off again.
const ProcessStateSlot standardErrorsStateSlot{
    __FILE__,
    "exFileNotFound exOpenFile exReadFile exTooManyFiles exInvalidData exOutOfMemory exGraphicsMode exStackOverflow "
    "exCreateWindow exFetchDC exSetPixelFormat exCreateRC exImageReader exUndefined exTimerInit exReadMetadata",
    [] {
        for (ExceptionType* error : {&exFileNotFound, &exOpenFile, &exReadFile, &exTooManyFiles, &exInvalidData,
                                     &exOutOfMemory, &exGraphicsMode, &exStackOverflow, &exCreateWindow, &exFetchDC,
                                     &exSetPixelFormat, &exCreateRC, &exImageReader, &exUndefined, &exTimerInit,
                                     &exReadMetadata})
            error->extraString[0] = '\0';
    }};

namespace ExceptionSpace {

Exception::Exception(std::string message, const char* file, int line)
    : message(std::move(message)), file(file ? file : ""), line(line) {}

Exception::~Exception() = default;

int Exception::report() {
    // Both texts are cut to 1023 characters, as fixed buffers would cut them.
    auto cut = [](std::string text) { return text.size() > 1023 ? text.substr(0, 1023) : text; };
    std::string position;
    if (line == -1 || file.empty()) {
        position =
            "The error occured in an unknown position in the code.\n"
            "(This means it was probably thrown by the system itself.)";
    } else {
        position = cut("The error occured in the file '" + file + "' at line " + std::to_string(line) + ".");
    }
    const std::string text = cut("Error - " + message + "\n\n" + position);
    return MessageBoxA(nullptr, text.c_str(), "Error!", MB_OK | MB_ICONERROR);
}

}  // namespace ExceptionSpace

void outOfMemoryHandler() { throw ExceptionType(exOutOfMemory); }
