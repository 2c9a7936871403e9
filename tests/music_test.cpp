// The music layer over the audio stand-in: the calls it makes in each case,
// the codes it throws, and the sync start it marks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "demo/music.h"
#include "platform/bassoutput.h"
#include "source/fileserver.h"
#include "tests/support/mp3clip.h"

namespace bass {
// Readable failure messages for call lists.
void PrintTo(Call call, std::ostream* os) { *os << callName(call); }
}  // namespace bass

namespace {

using C = bass::Call;
using Calls = std::vector<C>;

struct Entry {
    std::string name;
    std::vector<unsigned char> bytes;
};

// A pack in the file server's format: signature, one separator byte, the
// name@size@ directory closed by one more @, then the bytes.
std::string writePack(const std::string& dir, const std::vector<Entry>& entries) {
    const std::string path = dir + "/QuelVarnOssa.dat";
    std::ofstream out(path, std::ios::binary);
    out << "@@MarlinPackArchiveStampIssuedByToolsmithYr01" << '\n';
    for (const auto& e : entries) out << e.name << '@' << e.bytes.size() << '@';
    out << '@';
    for (const auto& e : entries) out.write(reinterpret_cast<const char*>(e.bytes.data()), std::streamsize(e.bytes.size()));
    return path;
}

int codeThrownBy(void (*step)()) {
    try {
        step();
    } catch (int code) {
        return code;
    }
    return -1;
}

class MusicTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { clip = new std::vector<unsigned char>(encodeMp3(testSignal(44100))); }
    static void TearDownTestSuite() { delete clip; }

    void SetUp() override {
        if (clip->empty()) GTEST_SKIP() << lameUnavailableReason();
        char pattern[] = "/tmp/qvo-musicXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        soundEnabled = true;
        alternateMusic = false;
        videoMode = false;
        musicStream = 0;
        resetClock();
        // The device, through SDL's dummy driver: it plays at real-time pace,
        // so a one-second clip is still playing when looked at.
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        bass::setCallFilter([this](C c) {
            if (c == C::Start) syncMarkedAtStart = syncStartMarked;
            calls.push_back(c);
            return c != failing;
        });
    }

    void TearDown() override {
        bass::setCallFilter(nullptr);
        BASS_Free();  // a failed start leaves the library initialised
        fileServer = nullptr;
        files.reset();
        if (!packPath.empty()) std::remove(packPath.c_str());
        if (!dir.empty()) rmdir(dir.c_str());
    }

    void openPack(const std::vector<Entry>& entries) {
        packPath = writePack(dir, entries);
        files = std::make_unique<FileServer>(nullptr, 200);
        files->openPack(packPath.c_str());
        fileServer = files.get();
    }

    Calls takeCalls() { return std::exchange(calls, {}); }

    static std::vector<unsigned char>* clip;
    std::string dir, packPath;
    std::unique_ptr<FileServer> files;
    Calls calls;
    C failing = C(-1);
    bool syncMarkedAtStart = false;
};

std::vector<unsigned char>* MusicTest::clip = nullptr;

TEST_F(MusicTest, SoundOnStartsPlaysAndStopsInOrder) {
    openPack({{"data/quel.raw", {1, 2, 3}}, {mainMusicName, *clip}});
    startMusic();
    EXPECT_EQ(takeCalls(), (Calls{C::Init, C::StreamCreateFile, C::Start}));
    EXPECT_NE(musicStream, 0u);
    EXPECT_TRUE(syncStartMarked);
    EXPECT_FALSE(syncMarkedAtStart) << "cue times count from after the output started";
    EXPECT_EQ(BASS_ChannelIsActive(musicStream), 0u) << "playing before playMusic";
    calls.clear();

    playMusic();
    EXPECT_EQ(takeCalls(), Calls{C::StreamPlay});
    EXPECT_NE(BASS_ChannelIsActive(musicStream), 0u);
    calls.clear();

    stopMusic();
    EXPECT_EQ(takeCalls(), (Calls{C::Stop, C::StreamFree, C::Free}));
}

TEST_F(MusicTest, EachFailingCallThrowsItsCodeAndReleasesNothing) {
    openPack({{mainMusicName, *clip}});
    failing = C::Init;
    EXPECT_EQ(codeThrownBy(startMusic), 0);
    EXPECT_EQ(takeCalls(), Calls{C::Init});
    EXPECT_FALSE(syncStartMarked);

    failing = C::StreamCreateFile;
    EXPECT_EQ(codeThrownBy(startMusic), 1);
    EXPECT_EQ(takeCalls(), (Calls{C::Init, C::StreamCreateFile}));
    EXPECT_EQ(musicStream, 0u);
    BASS_Free();
    calls.clear();

    failing = C::StreamPlay;
    startMusic();
    EXPECT_EQ(codeThrownBy(playMusic), 2);
    EXPECT_EQ(takeCalls(), (Calls{C::Init, C::StreamCreateFile, C::Start, C::StreamPlay}));
}

TEST_F(MusicTest, ClipMissingFromThePackIsCodeOne) {
    openPack({{alternateMusicName, *clip}});
    EXPECT_EQ(codeThrownBy(startMusic), 1);
    EXPECT_EQ(musicStream, 0u);
    EXPECT_NE(describeMusicFailure(1).find("stream could not be created"), std::string::npos);
    EXPECT_NE(describeMusicFailure(1).find("BASS_StreamCreateFile"), std::string::npos)
        << "the library's reason is missing: " << describeMusicFailure(1);
}

TEST_F(MusicTest, NoAudioDeviceIsCodeZero) {
    openPack({{mainMusicName, *clip}});
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    const int code = codeThrownBy(startMusic);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_EQ(code, 0);
    EXPECT_NE(describeMusicFailure(0).find("no audio output"), std::string::npos);
}

TEST_F(MusicTest, AlternateClipPlaysButLeavesTheSyncStartUnmarked) {
    openPack({{alternateMusicName, *clip}});  // the main clip is not needed
    alternateMusic = true;
    startMusic();
    playMusic();
    EXPECT_NE(BASS_ChannelIsActive(musicStream), 0u);
    EXPECT_FALSE(syncStartMarked);
    stopMusic();
}

TEST_F(MusicTest, SoundOffMakesNoAudioCallAtAll) {
    soundEnabled = false;
    fileServer = nullptr;  // not even the pack is read
    startMusic();
    playMusic();
    stopMusic();
    EXPECT_EQ(calls, Calls{});
    EXPECT_EQ(musicStream, 0u);
    EXPECT_TRUE(syncStartMarked) << "cue times still count from startMusic";

    resetClock();
    alternateMusic = true;
    startMusic();
    playMusic();
    stopMusic();
    EXPECT_EQ(calls, Calls{});
    EXPECT_FALSE(syncStartMarked);
}

}  // namespace
