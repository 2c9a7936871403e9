#include "demo/packlocation.h"

#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// Which of the three folders (working directory, beside, installed) hold a
// pack, and which path wins.
struct Placement {
    bool here, beside, installed;
    const char* expected;  // "here", "beside", "installed" or "none"
};

TEST(PackLocation, TheFirstFolderHoldingThePackWins) {
    const Placement placements[] = {
        {true, true, true, "here"},         {false, true, true, "beside"},
        {false, false, true, "installed"},  {true, false, true, "here"},
        {false, true, false, "beside"},     {false, false, false, "none"},
    };
    for (const Placement& p : placements) {
        ScratchDir work(true);
        const std::string beside = work.path("bin"), installed = work.path("share/games/quelvarnossa/");
        std::filesystem::create_directories(beside);
        std::filesystem::create_directories(installed);
        if (p.here) work.write("QuelVarnOssa.dat", "pack");
        if (p.beside) work.write("bin/QuelVarnOssa.dat", "pack");
        if (p.installed) work.write("share/games/quelvarnossa/QuelVarnOssa.dat", "pack");

        const std::string expected = std::string(p.expected) == "beside"      ? beside + "/QuelVarnOssa.dat"
                                     : std::string(p.expected) == "installed" ? installed + "QuelVarnOssa.dat"
                                                                              : "QuelVarnOssa.dat";
        EXPECT_EQ(firstPackIn({"", beside, installed}, "QuelVarnOssa.dat"), expected) << p.expected;
    }
}

TEST(PackLocation, SearchesHereThenBesideTheProgramThenTheInstalledDataDirectory) {
    const std::vector<std::string> folders = packFolders();
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[0], "");
    EXPECT_EQ(folders[1], std::filesystem::canonical("/proc/self/exe").parent_path().string());
    EXPECT_EQ(folders[2].front(), '/');
    EXPECT_TRUE(folders[2].ends_with("/share/games/quelvarnossa")) << folders[2];
}

// A build without an installed copy (Windows, the browser) has an empty data
// directory: it is neither searched nor named, nor is a program folder that
// could not be found.
TEST(PackLocation, AnEmptyFolderIsNotSearched) {
    EXPECT_EQ(packFolders("/opt/demo", ""), (std::vector<std::string>{"", "/opt/demo"}));
    EXPECT_EQ(packFolders("", "/usr/share/games/quelvarnossa"),
              (std::vector<std::string>{"", "/usr/share/games/quelvarnossa"}));
    EXPECT_EQ(packFolders("", ""), std::vector<std::string>{""});
}

TEST(PackLocation, AMissingPackIsOpenedByItsBareNameAndTheFoldersAreNamed) {
    ScratchDir work(true);
    testing::internal::CaptureStderr();
    const std::string chosen = packFileName();
    const std::string said = testing::internal::GetCapturedStderr();
    if (std::filesystem::exists(packFolders()[2] + "/QuelVarnOssa.dat")) GTEST_SKIP() << "an installed pack exists";
    EXPECT_EQ(chosen, "QuelVarnOssa.dat");
    EXPECT_NE(said.find("QuelVarnOssa.dat is not in the working directory, " + packFolders()[1] + ", " +
                        packFolders()[2]),
              std::string::npos)
        << said;
}

}  // namespace
