// The MP3 tag reader the Windows and browser audio stand-ins trim by: the
// clip length it reads is what libmpg123's gapless decode returns.
#include "platform/mp3info.h"
#include "source/fileserver.h"
#include "tests/support/mp3clip.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

mp3::Info read(const std::vector<unsigned char>& mp3) {
    mp3::Info info;
    mp3::readInfo(mp3.data(), mp3.size(), info);
    return info;
}

TEST(Mp3Info, ClipLengthIsTheGaplessDecode) {
    for (int frames : {1152, 44100, 44100 * 2 + 123}) {
        const std::vector<unsigned char> mp3 = encodeMp3(testSignal(frames));
        if (mp3.empty()) GTEST_SKIP() << lameUnavailableReason();
        const mp3::Info info = read(mp3);
        ASSERT_TRUE(info.hasLameTag) << frames;
        EXPECT_EQ(info.sampleFrames, frames);
        EXPECT_EQ(info.sampleFrames, std::int64_t(decodeMp3(mp3).size() / 2));
    }
}

TEST(Mp3Info, ThePacksClips) {
    PackDirectory pack;
    ASSERT_EQ(pack.parse((std::string(QVO_BINARY_DIR) + "/QuelVarnOssa.dat").c_str()), 0);
    for (const char* name : {"data/kov-marrowin(clip).mp3", "data/kov-tidewrangler(clip).mp3"}) {
        std::unique_ptr<unsigned char[]> bytes(pack.readEntry(name));
        ASSERT_TRUE(bytes) << name;
        const std::vector<unsigned char> mp3(bytes.get(), bytes.get() + pack.entrySize(name));
        EXPECT_EQ(read(mp3).sampleFrames, std::int64_t(decodeMp3(mp3).size() / 2)) << name;
    }
}

TEST(Mp3Info, ImagesWithoutAUsableTag) {
    const std::vector<unsigned char> mp3 = encodeMp3(testSignal(44100));
    if (mp3.empty()) GTEST_SKIP() << lameUnavailableReason();
    // An ID3v2 tag in front is passed over.
    std::vector<unsigned char> id3 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20};
    id3.resize(30, 0);
    id3.insert(id3.end(), mp3.begin(), mp3.end());
    EXPECT_EQ(read(id3).sampleFrames, 44100);

    struct Case {
        const char* what;
        std::vector<unsigned char> image;
    };
    std::vector<unsigned char> noLame = mp3;
    for (std::size_t i = 0; i + 4 <= noLame.size() && i < 400; ++i)
        if (noLame[i] == 'L' && noLame[i + 1] == 'A' && noLame[i + 2] == 'M' && noLame[i + 3] == 'E') noLame[i] = 'X';
    const Case cases[] = {
        {"empty", {}},
        {"not MPEG", std::vector<unsigned char>(400, 0x55)},
        {"cut inside the tag", std::vector<unsigned char>(mp3.begin(), mp3.begin() + 60)},
        {"no LAME extension", noLame},
        {"ID3 size past the end", {'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}},
    };
    for (const Case& c : cases) EXPECT_EQ(read(c.image).sampleFrames, -1) << c.what;
}

// The fuzzer's hand-made seeds: every kind of header and tag the reader
// knows, each with a value that shows it was read from the right place.
std::vector<unsigned char> seed(const char* name) {
    const std::string bytes = ScratchDir::read(std::string(QVO_SOURCE_DIR) + "/fuzz/corpus-mp3/" + name);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

TEST(Mp3Info, HandMadeHeadersAndTags) {
    struct Case {
        const char* seed;
        int rate, channels, samplesPerFrame;
        std::size_t audioOffset;
        std::int64_t frames;
        int delay, padding;
        std::int64_t sampleFrames;
    };
    const Case cases[] = {
        {"plain-frames.mp3", 48000, 2, 1152, 0, 0, 0, 0, -1},
        {"mono-frame.mp3", 48000, 1, 1152, 0, 0, 0, 0, -1},
        {"mpeg2-xing.mp3", 24000, 1, 576, 48, 9, 0, 0, -1},
        {"mpeg25-frame.mp3", 8000, 2, 576, 0, 0, 0, 0, -1},
        {"info-lame.mp3", 48000, 2, 1152, 96, 40, 576, 1000, 40 * 1152 - 1576},
        {"xing-all-fields.mp3", 48000, 2, 1152, 192, 7, 1105, 4095, 7 * 1152 - 5200},
        {"id3-then-info.mp3", 48000, 2, 1152, 30 + 96, 3, 0, 0, 3 * 1152},
        {"id3-footer.mp3", 48000, 2, 1152, 22, 0, 0, 0, -1},  // 10 + 2 + a 10-byte footer
    };
    for (const Case& c : cases) {
        const std::vector<unsigned char> image = seed(c.seed);
        mp3::Info info;
        ASSERT_TRUE(mp3::readInfo(image.data(), image.size(), info)) << c.seed;
        EXPECT_EQ(info.sampleRate, c.rate) << c.seed;
        EXPECT_EQ(info.channels, c.channels) << c.seed;
        EXPECT_EQ(info.samplesPerFrame, c.samplesPerFrame) << c.seed;
        EXPECT_EQ(info.audioOffset, c.audioOffset) << c.seed;
        EXPECT_EQ(info.frames, c.frames) << c.seed;
        EXPECT_EQ(info.encoderDelay, c.delay) << c.seed;
        EXPECT_EQ(info.padding, c.padding) << c.seed;
        EXPECT_EQ(info.sampleFrames, c.sampleFrames) << c.seed;
    }

    // Flags that claim a seek table the 96-byte frame cannot hold: the frame
    // count stands, the LAME extension is not looked for past the frame.
    std::vector<unsigned char> image = seed("info-lame.mp3");
    image[4 + 32 + 7] |= 4;
    mp3::Info info;
    ASSERT_TRUE(mp3::readInfo(image.data(), image.size(), info));
    EXPECT_EQ(info.frames, 40);
    EXPECT_FALSE(info.hasLameTag);
    EXPECT_EQ(info.sampleFrames, -1);
    // An Info frame with no sound frame after it is no stream.
    image.resize(96);
    EXPECT_FALSE(mp3::readInfo(image.data(), image.size(), info));
}

}  // namespace
