#include "demo/commandline.h"

#include "tests/support/messageboxes.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(CommandLine, EmptyLineGivesTheDefaults) {
    EXPECT_TRUE(wantsSound(""));
    EXPECT_FALSE(wantsVideo(""));
    EXPECT_FALSE(wantsAlternateMusic(""));
    EXPECT_FALSE(wantsCredits(""));
    EXPECT_EQ(requestedFrameRate(""), 40);
}

TEST(CommandLine, KeywordsMatchAnywhereIgnoringAsciiCase) {
    for (const char* line : {"video", "VIDEO", "Video", "novideo", "videos", "x--ViDeO--y"})
        EXPECT_TRUE(wantsVideo(line)) << line;
    EXPECT_FALSE(wantsVideo("vid eo"));
    EXPECT_TRUE(wantsAlternateMusic("play HollowMere please"));
    EXPECT_TRUE(wantsCredits("CREDITS"));
    EXPECT_FALSE(wantsCredits("credit"));
}

TEST(CommandLine, AnySoundOffWordSilences) {
    for (const char* line : {"noaudio", "no audio", "Audio Off", "audio=off", "audio=0", "no sound", "sound off",
                             "Sound=Off", "sound=0", "nosound=0", "sound=00", "video NOAUDIO credits",
                             "video nosound fps 10", "NoSound"})
        EXPECT_FALSE(wantsSound(line)) << line;
    for (const char* line : {"audio", "sound", "sound=1", "no  sound", "audio = off", "no-sound"})
        EXPECT_TRUE(wantsSound(line)) << line;
}

TEST(CommandLine, FrameRateIsTheFirstNumberOnceFpsIsPresent) {
    EXPECT_EQ(requestedFrameRate("fps"), 40);
    EXPECT_EQ(requestedFrameRate("video 30"), 40);
    EXPECT_EQ(requestedFrameRate("video fps 12 credits"), 12);
    EXPECT_EQ(requestedFrameRate("25fps"), 25);
    EXPECT_EQ(requestedFrameRate("fps25"), 25);
    EXPECT_EQ(requestedFrameRate("FPS 0060"), 60);
    EXPECT_EQ(requestedFrameRate("video sound=0 fps 30"), 0);
    EXPECT_EQ(requestedFrameRate("fps -5"), 5) << "no sign is read";
}

TEST(CommandLine, FrameRateBeyond32BitsSaturates) {
    EXPECT_EQ(requestedFrameRate("fps 2147483647"), INT_MAX);
    EXPECT_EQ(requestedFrameRate("fps 2147483648"), INT_MAX);
    EXPECT_EQ(requestedFrameRate("fps 99999999999999999999999999999999"), INT_MAX);
    EXPECT_EQ(requestedFrameRate(("fps " + std::string(100000, '9')).c_str()), INT_MAX);
}

TEST(CommandLine, NonAsciiBytesAreLeftAlone) {
    // Latin-1 and UTF-8 bytes neither fold nor count as digits.
    EXPECT_TRUE(wantsVideo("\xC3\x89video\xFF"));
    EXPECT_FALSE(wantsVideo("v\xC3\xAD" "deo"));
    EXPECT_EQ(requestedFrameRate("fps \xB2\xB3 \xD9\xA3"), 40);
    EXPECT_EQ(requestedFrameRate("\xEF\xBC\x93 fps 7"), 7);
    EXPECT_FALSE(wantsCredits("CR\xC9" "DITS"));
}

TEST(CommandLine, OneMegabyteLineWorks) {
    std::string line(1 << 20, 'x');
    line.replace(line.size() - 30, 24, "VIDEO FPS 24 sound=off c");
    EXPECT_TRUE(wantsVideo(line.c_str()));
    EXPECT_FALSE(wantsSound(line.c_str()));
    EXPECT_EQ(requestedFrameRate(line.c_str()), 24);
    EXPECT_FALSE(wantsCredits(line.c_str()));
}

TEST(Credits, BoxShowsTheFixedTextWithOkOnly) {
    const std::string text = creditsText();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.rfind("Quel  Varn  Ossa\ncreated by ", 0), 0u);
    EXPECT_EQ(text.back(), '\n');
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_TRUE(lines[2].empty());
    EXPECT_EQ(lines[3].rfind("Music: ", 0), 0u);
    EXPECT_EQ(lines[4].rfind("Code: ", 0), 0u);
    EXPECT_TRUE(lines[5].empty());
    EXPECT_EQ(lines[6].find(' '), std::string::npos) << "addresses are not separated";

    MessageBoxRecorder boxes;
    showCredits();
    ASSERT_EQ(boxes.calls.size(), 1u);
    EXPECT_EQ(boxes.calls[0].caption, "Credits...");
    EXPECT_EQ(boxes.calls[0].text, text);
    EXPECT_EQ(boxes.calls[0].type, MB_OK) << "one OK button, no icon";
}

}  // namespace
