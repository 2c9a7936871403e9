// The music: one MP3 clip from the pack, played by the audio library; the
// moment it starts is the origin of every cue time.
//
//   startMusic();   // start-up: library, stream, output (decoding begins)
//   playMusic();    // right before the frame loop; marks the sync start
//   stopMusic();    // shutdown
//
// Failures are thrown as plain ints, the codes below. With sound off no audio
// call is made at all.
#pragma once

#include <string>

#include "platform/bass.h"

enum MusicError : int {
    musicNoOutput = 0,  // the library found no output
    musicNoStream = 1,  // the stream could not be made (also a clip missing from the pack)
    musicWontPlay = 2,  // the stream would not play
};

extern HSTREAM musicStream;  // 0 until startMusic has created the stream

constexpr const char* mainMusicName = "data/kov-marrowin(clip).mp3";
constexpr const char* alternateMusicName = "data/kov-tidewrangler(clip).mp3";

void startMusic();
void playMusic();
void stopMusic();

// What a thrown music code means, with the audio library's own reason, for
// the line the entry point writes to standard error.
std::string describeMusicFailure(int code);
