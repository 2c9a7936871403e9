// The Windows build ships as a zip and is never installed: the pack is looked
// for in the working directory and beside the program only, and a missing
// pack names those two places and no installed data directory.
#include "demo/packlocation.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(PackLocation, SearchesHereAndBesideTheProgramOnlyAndSaysSo) {
    const std::vector<std::string> folders = packFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], "");
    char exe[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, exe, MAX_PATH), 0u);
    EXPECT_EQ(std::filesystem::path(folders[1]), std::filesystem::path(exe).parent_path());

    // From an empty folder; there is no pack beside the test either.
    const std::filesystem::path previous = std::filesystem::current_path();
    const std::filesystem::path empty =
        std::filesystem::temp_directory_path() / ("qvo-packlocation-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(empty);
    std::filesystem::current_path(empty);
    testing::internal::CaptureStderr();
    const std::string chosen = packFileName();
    const std::string said = testing::internal::GetCapturedStderr();
    std::filesystem::current_path(previous);
    std::filesystem::remove(empty);
    EXPECT_EQ(chosen, "QuelVarnOssa.dat");
    EXPECT_EQ(said, "quelvarnossa: QuelVarnOssa.dat is not in the working directory, " + folders[1] + "\n");
}

}  // namespace
