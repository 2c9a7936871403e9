// The MP3 tag reader the Windows and browser audio stand-ins trim by: the
// clip length it reads is what libmpg123's gapless decode returns.
#include "platform/mp3info.h"
#include "source/fileserver.h"
#include "tests/support/mp3clip.h"

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

}  // namespace
