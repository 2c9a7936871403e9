#include "source/debugserver.h"

#include "tests/support/messageboxes.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(DebugServer, ThisProgramsSettingWritesNothingButKeepsTheLastLine) {
    ScratchDir dir(true);
    DebugServer debug(11, 0);
    debug.log("{FileServer::File}: Reading file... Failed!", 10);
    EXPECT_STREQ(debug.lastLogged(), "{FileServer::File}: Reading file... Failed!");
    // The kept line's buffer grows to fit longer lines.
    const std::string longer(5000, 'z');
    debug.log(longer.c_str(), 0);
    EXPECT_EQ(debug.lastLogged(), longer);
    EXPECT_FALSE(ScratchDir::exists(dir.path("debug.log")));
}

TEST(DebugServer, ModeOneEmptiesTheLogAndWritesLinesAtOrAboveTheThreshold) {
    ScratchDir dir(true);
    dir.write("debug.log", "old contents\n");
    DebugServer debug(10, 1);
    EXPECT_EQ(ScratchDir::read("debug.log"), "");
    for (int level : {10, 8, -5, 127}) debug.log(("level " + std::to_string(level)).c_str(), level);
    // Flushed at once: visible before the server goes away.
    EXPECT_EQ(ScratchDir::read("debug.log"), "level 10\nlevel 127\n");
}

TEST(DebugServerDeath, FatalErrorsShowTheBoxAndExitWithOne) {
    EXPECT_EXIT({ printMessageBoxesToStderr(); DebugServer(11, 0).fatal("Error - something broke! Aborting..."); },
                testing::ExitedWithCode(1), "BOX \\[Fatal error!\\] Error - something broke! Aborting... \\(type 16\\)");
    ScratchDir dir(true);
    std::filesystem::create_directory("debug.log");  // so the log cannot be created
    EXPECT_EXIT({ printMessageBoxesToStderr(); DebugServer(0, 1); }, testing::ExitedWithCode(1),
                "BOX \\[Fatal error!\\] Error - Can't create log-file! Aborting...");
    EXPECT_DEATH(DebugServer(11, 0).log(nullptr, 4), "logString.*debugserver");
}

}  // namespace
