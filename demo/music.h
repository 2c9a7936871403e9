// The music: one MP3 clip from the pack, played by the audio library; the
// moment it starts is the origin of every cue time.
//
//   startMusic();   // start-up: library, stream, output; marks the sync start
//   playMusic();    // right before the frame loop
//   stopMusic();    // shutdown
//
// Failures are thrown as plain ints: 0 the library found no output, 1 the
// stream could not be made (a clip missing from the pack ends up here), 2 it
// would not play. With sound off no audio call is made at all.
#pragma once

#include <string>

#include "platform/bass.h"

extern HSTREAM musicStream;  // 0 until startMusic has created the stream

constexpr const char* mainMusicName = "data/kov-marrowin(clip).mp3";
constexpr const char* alternateMusicName = "data/kov-tidewrangler(clip).mp3";

void startMusic();
void playMusic();
void stopMusic();

// What a thrown music code means, with the audio library's own reason, for
// the line the entry point writes to standard error.
std::string describeMusicFailure(int code);
