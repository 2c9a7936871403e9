#include "source/exceptionserver.h"

#include "tests/support/messageboxes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <new>
#include <string>

namespace {

TEST(ExceptionType, StandardErrorsStartWithAnEmptyExtraText) {
    EXPECT_STREQ(exReadMetadata.string, "Error - couldn't read metadata! Aborting...");
    EXPECT_STREQ(exTooManyFiles.extraString, "");
    EXPECT_STREQ(exTimerInit.extraString, "");
}

TEST(ExceptionType, LongTextsAreCutAndStayTerminated) {
    const std::string longText(3000, 'x');
    ExceptionType e(longText.c_str());
    EXPECT_EQ(std::strlen(e.string), 1023u);
    e.setExtraString(longText.c_str());
    EXPECT_EQ(std::strlen(e.extraString), 1023u);
    e.setExtraString("short");
    EXPECT_STREQ(e.extraString, "short");
}

TEST(ExceptionType, AThrownCopyIsIndependentOfTheGlobal) {
    const ExceptionType saved = exOpenFile;
    exOpenFile.setExtraString("first.raw");
    try {
        throw ExceptionType(exOpenFile);
    } catch (ExceptionType& caught) {
        exOpenFile.setExtraString("second.raw");
        EXPECT_STREQ(caught.extraString, "first.raw");
        EXPECT_STREQ(caught.string, exOpenFile.string);
    }
    EXPECT_STREQ(exOpenFile.extraString, "second.raw");
    exOpenFile = saved;
}

TEST(ExceptionType, NullTextsEndTheProgramNamingTheParameter) {
    EXPECT_DEATH(ExceptionType(nullptr), "errorstring.*exceptionserver");
    EXPECT_DEATH(exUndefined.setExtraString(nullptr), "str.*exceptionserver");
}

struct ReportCase {
    const char* file;
    int line;
    const char* position;
};

TEST(Exception, ReportShowsMessageAndPositionInAnErrorBox) {
    const std::string unknown =
        "The error occured in an unknown position in the code.\n"
        "(This means it was probably thrown by the system itself.)";
    const ReportCase cases[] = {
        {nullptr, 73, unknown.c_str()},
        {"graphics.cpp", -1, unknown.c_str()},
        {"", 12, unknown.c_str()},
        {"graphics.cpp", 0, "The error occured in the file 'graphics.cpp' at line 0."},
        {"graphics.cpp", 41, "The error occured in the file 'graphics.cpp' at line 41."},
    };
    for (const ReportCase& c : cases) {
        MessageBoxRecorder boxes;
        ExceptionSpace::Exception e(msgInvalidPlatform, c.file, c.line);
        e.report();
        ASSERT_EQ(boxes.calls.size(), 1u);
        EXPECT_EQ(boxes.calls[0].caption, "Error!");
        EXPECT_EQ(boxes.calls[0].text, "Error - Invalid platform!\n\n" + std::string(c.position));
        EXPECT_EQ(boxes.calls[0].type, MB_OK | MB_ICONERROR);
    }
}

TEST(Exception, ReportCutsAnOverlongText) {
    MessageBoxRecorder boxes;
    ExceptionSpace::Exception e(std::string(5000, 'm'), std::string(5000, 'f').c_str(), 3);
    e.report();
    ASSERT_EQ(boxes.calls.size(), 1u);
    EXPECT_EQ(boxes.calls[0].text.size(), 1023u);
    EXPECT_EQ(boxes.calls[0].text.substr(0, 10), "Error - mm");
}

TEST(OutOfMemory, HandlerThrowsACopyOfTheStandardError) {
    try {
        outOfMemoryHandler();
        FAIL() << "the handler returned";
    } catch (const ExceptionType& e) {
        EXPECT_STREQ(e.string, exOutOfMemory.string);
        EXPECT_NE(&e, &exOutOfMemory);
    }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitizedAllocator = true;  // reports huge requests itself
#else
constexpr bool sanitizedAllocator = false;
#endif

TEST(OutOfMemory, FailedAllocationThrowsTheStandardErrorOnceInstalled) {
    if (sanitizedAllocator) GTEST_SKIP() << "the sanitizer's allocator never calls the new handler";
    volatile std::size_t huge = std::numeric_limits<std::size_t>::max() / 4;
    std::new_handler old = std::set_new_handler(nullptr);
    // Direct calls: a new-expression whose result is unused may be elided.
    EXPECT_THROW(::operator delete(::operator new(huge)), std::bad_alloc);
    std::set_new_handler(outOfMemoryHandler);
    try {
        ::operator delete(::operator new(huge));
        ADD_FAILURE() << "a 4 EiB allocation succeeded";
    } catch (const ExceptionType& e) {
        EXPECT_STREQ(e.string, "Error - out of memory! Aborting...");
    } catch (...) {
        ADD_FAILURE() << "something other than exOutOfMemory was thrown";
    }
    std::set_new_handler(old);
}

}  // namespace
