// The music layer over the audio stand-in: the calls it makes in each case,
// the codes it throws, and the sync start it marks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "demo/music.h"
#include "platform/bassoutput.h"
#include "source/fileserver.h"
#include "tests/support/mp3clip.h"
#include "tests/support/scratchdir.h"
#include "tests/support/testpack.h"
#include "source/processstate.h"

namespace {

using C = bass::Call;
using Calls = std::vector<C>;

int codeThrownBy(void (*step)()) {
    try {
        step();
        return -1;
    } catch (int code) {
        return code;
    }
}

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (mp3.empty()) GTEST_SKIP() << lameUnavailableReason();
        resetProcessState();
        // SDL's dummy output plays at real-time pace, so a one-second clip is
        // still playing when looked at.
        setenv("SDL_AUDIODRIVER", "dummy", 1);
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
    }

    void openPack(const char* name) {
        writePack(dir.path("pack.dat"), {{"data/quel.raw", "abc"}, {name, std::string(mp3.begin(), mp3.end())}});
        files = std::make_unique<FileServer>(nullptr, 200);
        files->openPack(dir.path("pack.dat").c_str());
        fileServer = files.get();
    }
    Calls takeCalls() { return std::exchange(calls, {}); }

    static inline const std::vector<unsigned char> mp3 = encodeMp3(testSignal(44100));
    ScratchDir dir;
    std::unique_ptr<FileServer> files;
    Calls calls;
    C failing = C(-1);
    bool syncMarkedAtStart = false;
};

TEST_F(MusicTest, EachFailingCallThrowsItsCodeWithTheLibrarysReason) {
    openPack(mainMusicName);
    failing = C::Init;
    EXPECT_EQ(codeThrownBy(startMusic), 0);
    EXPECT_EQ(takeCalls(), Calls{C::Init});
    EXPECT_FALSE(syncStartMarked);

    failing = C::StreamCreateFile;
    EXPECT_EQ(codeThrownBy(startMusic), 1);
    EXPECT_EQ(takeCalls(), (Calls{C::Init, C::StreamCreateFile}));
    EXPECT_EQ(musicStream, 0u);
    const std::string why = describeMusicFailure(1);
    EXPECT_NE(why.find("stream could not be created (BASS_StreamCreateFile"), std::string::npos) << why;
    BASS_Free();
    takeCalls();

    failing = C::StreamPlay;
    startMusic();
    EXPECT_EQ(codeThrownBy(playMusic), 2);
    EXPECT_EQ(takeCalls(), (Calls{C::Init, C::StreamCreateFile, C::Start, C::StreamPlay}));
}

// Sound on or off, main clip or alternate: the calls made, in order, and
// the sync start marked for the main clip only, after the output started.
TEST_F(MusicTest, EachModeMakesItsCallsAndMarksTheSyncStartForTheMainClipOnly) {
    for (bool sound : {true, false}) {
        for (bool alternate : {false, true}) {
            SCOPED_TRACE(std::string(sound ? "sound" : "nosound") + (alternate ? ", alternate" : ""));
            resetProcessState();
            soundEnabled = sound;
            alternateMusic = alternate;
            // Only the clip wanted is in the pack; with sound off not even the pack is read.
            fileServer = nullptr;
            if (sound) openPack(alternate ? alternateMusicName : mainMusicName);
            startMusic();
            EXPECT_EQ(BASS_ChannelIsActive(musicStream), 0u) << "playing before playMusic";
            EXPECT_FALSE(syncStartMarked) << "the output starts during the pre-roll; the cues count from the play";
            playMusic();
            EXPECT_EQ(BASS_ChannelIsActive(musicStream) != 0, sound);
            EXPECT_EQ(syncStartMarked, !alternate);
            EXPECT_FALSE(syncMarkedAtStart) << "cue times count from after the output started";
            stopMusic();
            const Calls played{C::Init, C::StreamCreateFile, C::Start, C::ChannelIsActive, C::StreamPlay,
                               C::ChannelIsActive, C::Stop, C::StreamFree, C::Free};
            EXPECT_EQ(takeCalls(), (sound ? played : Calls{C::ChannelIsActive, C::ChannelIsActive}));
        }
    }
}

}  // namespace
