#include "demo/music.h"

#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "platform/bassoutput.h"
#include "source/fileserver.h"
#include "source/processstate.h"

PROCESS_STATE(HSTREAM, musicStream, 0);

void startMusic() {
    if (soundEnabled) {
        // The owner window only matters to a library that shares a device
        // between windows; this one owns its output outright.
        if (!BASS_Init(-1, 44100, 16, nullptr)) throw int(musicNoOutput);
        const char* name = alternateMusic ? alternateMusicName : mainMusicName;
        const std::int32_t size = fileServer->getFileSize(name);
        // Never freed: the stream decodes from this image for the whole run.
        const unsigned char* clip = fileServer->getFile(name);
        musicStream = BASS_StreamCreateFile(1, clip, 0, BASS_DWORD(size), 0);
        if (!musicStream) throw int(musicNoStream);
        BASS_Start();
    }
}

void playMusic() {
    if (!alternateMusic) markSyncStart();
    if (!soundEnabled) return;
    if (!BASS_StreamPlay(musicStream, 0, 0)) throw int(musicWontPlay);
}

void stopMusic() {
    if (!soundEnabled) return;
    BASS_Stop();
    BASS_StreamFree(musicStream);
    BASS_Free();
}

std::string describeMusicFailure(int code) {
    std::string text = "music code " + std::to_string(code) + ": ";
    switch (code) {
        case musicNoOutput: text += "no audio output could be opened"; break;
        case musicNoStream: text += "the music stream could not be created"; break;
        case musicWontPlay: text += "the music would not play"; break;
        default: return text + "unknown";
    }
    const std::string reason = bass::lastError();
    if (!reason.empty()) text += " (" + reason + ")";
    return text;
}
