#include "demo/commandline.h"

#include "tests/support/messageboxes.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(CommandLine, KeywordsMatchAnywhereIgnoringAsciiCaseEvenInAMegabyteLine) {
    EXPECT_TRUE(wantsSound(""));
    EXPECT_FALSE(wantsVideo("") || wantsAlternateMusic("") || wantsCredits(""));
    for (const char* line : {"VIDEO", "novideo", "x--ViDeO--y", "\xC3\x89video\xFF"}) EXPECT_TRUE(wantsVideo(line)) << line;
    // Latin-1 and UTF-8 bytes neither fold nor stand for letters.
    for (const char* line : {"vid eo", "v\xC3\xAD" "deo"}) EXPECT_FALSE(wantsVideo(line)) << line;
    EXPECT_TRUE(wantsAlternateMusic("play HollowMere please") && wantsCredits("CREDITS"));
    EXPECT_FALSE(wantsCredits("credit") || wantsCredits("CR\xC9" "DITS"));
    std::string megabyte(1 << 20, 'x');
    megabyte.replace(megabyte.size() - 30, 24, "VIDEO FPS 24 sound=off c");
    EXPECT_TRUE(wantsVideo(megabyte.c_str()));
    EXPECT_FALSE(wantsSound(megabyte.c_str()) || wantsCredits(megabyte.c_str()));
    EXPECT_EQ(requestedFrameRate(megabyte.c_str()), 24);
}

TEST(CommandLine, AnySoundOffWordSilences) {
    for (const char* line : {"noaudio", "no audio", "Audio Off", "audio=off", "audio=0", "no sound", "sound off",
                             "Sound=Off", "sound=0", "nosound=0", "sound=00", "video NOAUDIO credits"})
        EXPECT_FALSE(wantsSound(line)) << line;
    for (const char* line : {"audio", "sound", "sound=1", "no  sound", "audio = off", "no-sound", "nosound", "NoSound"})
        EXPECT_TRUE(wantsSound(line)) << line;
}

TEST(CommandLine, FrameRateIsTheFirstNumberOnceFpsIsPresentAndSaturates) {
    const std::pair<std::string, int> cases[] = {
        {"", 40}, {"fps", 40}, {"video 30", 40}, {"video fps 12 credits", 12}, {"25fps", 25}, {"FPS 0060", 60},
        {"video sound=0 fps 30", 0}, {"fps -5", 5},  // no sign is read
        {"fps \xB2\xB3 \xD9\xA3", 40}, {"\xEF\xBC\x93 fps 7", 7},  // only ASCII digits count
        {"fps 2147483647", INT_MAX}, {"fps 2147483648", INT_MAX}, {"fps 99999999999999999999999999999999", INT_MAX},
        {"fps " + std::string(100000, '9'), INT_MAX},
    };
    for (const auto& [line, rate] : cases) EXPECT_EQ(requestedFrameRate(line.c_str()), rate) << line.substr(0, 40);
}

TEST(Credits, BoxShowsTheFixedTextWithOkOnly) {
    MessageBoxRecorder boxes;
    showCredits();
    ASSERT_EQ(boxes.calls.size(), 1u);
    EXPECT_EQ(boxes.calls[0].caption, "Credits...");
    EXPECT_EQ(boxes.calls[0].text.rfind("Quel  Varn  Ossa\ncreated by ", 0), 0u);
    EXPECT_EQ(boxes.calls[0].text, creditsText());
    EXPECT_EQ(boxes.calls[0].type, MB_OK) << "one OK button, no icon";
}

}  // namespace
