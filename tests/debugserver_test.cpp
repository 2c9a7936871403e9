#include "source/debugserver.h"

#include "tests/support/messageboxes.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(DebugServer, ThisProgramsSettingWritesNothingButKeepsTheLine) {
    ScratchDir dir(true);
    DebugServer debug(11, 0);
    debug.log("{FileServer::File}: Opening file a... Done.", 4);
    debug.log("{FileServer::getFileSize()}: Warning", 8);
    debug.log("{FileServer::File}: Reading file... Failed!", 10);
    EXPECT_FALSE(ScratchDir::exists(dir.path("debug.log")));
    EXPECT_STREQ(debug.lastLogged(), "{FileServer::File}: Reading file... Failed!");
}

TEST(DebugServer, WritesLinesAtOrAboveTheThresholdUnchanged) {
    ScratchDir dir(true);
    {
        DebugServer debug(10, 1);
        debug.log("failure", 10);
        debug.log("warning", 8);
        debug.log("negative", -5);
        debug.log("above", 127);
        // Flushed at once: visible before the server goes away.
        EXPECT_EQ(ScratchDir::read(dir.path("debug.log")), "failure\nabove\n");
    }
    DebugServer negative(-3, 1);
    negative.log("at", -3);
    negative.log("below", -4);
    EXPECT_EQ(ScratchDir::read(dir.path("debug.log")), "at\n");
}

TEST(DebugServer, ModeOneEmptiesAnExistingLog) {
    ScratchDir dir(true);
    dir.write("debug.log", "old contents\n");
    DebugServer debug(0, 1);
    EXPECT_EQ(ScratchDir::read(dir.path("debug.log")), "");
    debug.log("new", 0);
    EXPECT_EQ(ScratchDir::read(dir.path("debug.log")), "new\n");
}

TEST(DebugServer, LineBufferOnlyGrows) {
    DebugServer debug(11, 0);
    EXPECT_EQ(debug.lastLogged(), nullptr);
    debug.log("a fairly long line of text", 0);
    EXPECT_EQ(debug.lastLoggedCapacity(), 26u);
    debug.log("short", 0);
    EXPECT_EQ(debug.lastLoggedCapacity(), 26u);
    EXPECT_STREQ(debug.lastLogged(), "short");
    const std::string longer(5000, 'z');
    debug.log(longer.c_str(), 0);
    EXPECT_EQ(debug.lastLoggedCapacity(), 5000u);
    EXPECT_EQ(debug.lastLogged(), longer);
}

TEST(DebugServerDeath, FatalShowsTheBoxAndExitsWithOne) {
    EXPECT_EXIT(
        {
            printMessageBoxesToStderr();
            DebugServer debug(11, 0);
            debug.fatal("Error - something broke! Aborting...");
        },
        testing::ExitedWithCode(1), "BOX \\[Fatal error!\\] Error - something broke! Aborting... \\(type 16\\)");
}

TEST(DebugServerDeath, UncreatableLogIsFatal) {
    ScratchDir dir(true);
    std::filesystem::create_directory(dir.path("debug.log"));
    EXPECT_EXIT(
        {
            printMessageBoxesToStderr();
            DebugServer debug(0, 1);
        },
        testing::ExitedWithCode(1), "BOX \\[Fatal error!\\] Error - Can't create log-file! Aborting...");
}

TEST(DebugServerDeath, NullLineEndsTheProgramNamingTheParameter) {
    DebugServer debug(11, 0);
    EXPECT_DEATH(debug.log(nullptr, 4), "logString.*debugserver");
}

}  // namespace
