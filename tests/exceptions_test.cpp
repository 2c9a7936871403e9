#include "source/exceptionserver.h"

#include "tests/support/messageboxes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <tuple>

namespace {

TEST(ExceptionType, LongTextsAreCutAndNullTextsEndTheProgram) {
    const std::string longText(3000, 'x');
    ExceptionType e(longText.c_str());
    EXPECT_EQ(std::strlen(e.string), 1023u);
    e.setExtraString(longText.c_str());
    EXPECT_EQ(std::strlen(e.extraString), 1023u);
    EXPECT_DEATH(ExceptionType(nullptr), "errorstring.*exceptionserver");
    EXPECT_DEATH(exUndefined.setExtraString(nullptr), "str.*exceptionserver");
}

TEST(Exception, ReportShowsMessageAndPositionInAnErrorBox) {
    const std::string unknown =
        "The error occured in an unknown position in the code.\n"
        "(This means it was probably thrown by the system itself.)";
    const std::tuple<const char*, int, std::string> cases[] = {
        {nullptr, 73, unknown}, {"graphics.cpp", -1, unknown}, {"", 12, unknown},
        {"graphics.cpp", 0, "The error occured in the file 'graphics.cpp' at line 0."}};
    for (const auto& [file, line, position] : cases) {
        MessageBoxRecorder boxes;
        ExceptionSpace::Exception(msgInvalidPlatform, file, line).report();
        ASSERT_EQ(boxes.calls.size(), 1u);
        EXPECT_EQ(boxes.calls[0].caption, "Error!");
        EXPECT_EQ(boxes.calls[0].text, "Error - Invalid platform!\n\n" + position);
        EXPECT_EQ(boxes.calls[0].type, MB_OK | MB_ICONERROR);
    }
    MessageBoxRecorder boxes;
    ExceptionSpace::Exception(std::string(5000, 'm'), std::string(5000, 'f').c_str(), 3).report();
    ASSERT_EQ(boxes.calls.size(), 1u);
    EXPECT_EQ(boxes.calls[0].text.size(), 1023u) << "an overlong text is cut";
}

TEST(OutOfMemory, FailedAllocationThrowsTheStandardErrorOnceInstalled) {
    EXPECT_THROW(outOfMemoryHandler(), ExceptionType);
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator never calls the new handler";
#endif
    volatile std::size_t huge = std::numeric_limits<std::size_t>::max() / 4;
    std::new_handler old = std::set_new_handler(outOfMemoryHandler);
    try {
        // A direct call: a new-expression whose result is unused may be elided.
        ::operator delete(::operator new(huge));
        ADD_FAILURE() << "a 4 EiB allocation succeeded";
    } catch (const ExceptionType& e) {
        EXPECT_STREQ(e.string, "Error - out of memory! Aborting...");
    }
    std::set_new_handler(old);
}

}  // namespace
