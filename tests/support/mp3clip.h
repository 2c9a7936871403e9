// MP3 clips made at test time, for the audio tests.
//
//   auto pcm = testSignal(44100 * 2);          // interleaved 16-bit stereo
//   auto mp3 = encodeMp3(pcm);                 // empty when LAME is missing
//   if (mp3.empty()) GTEST_SKIP() << lameUnavailableReason();
//
// LAME is loaded at run time (libmp3lame.so.0), so only the tests that make
// clips depend on it and they skip cleanly on a machine without it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `frames` stereo sample frames of a sweep (left) and a steady chord
// (right): no two stretches of it look alike, so a shifted or reordered
// decode shows.
std::vector<std::int16_t> testSignal(int frames, int rate = 44100);

// The clip encoded as CBR MP3 at `kbps` with a LAME tag (for gapless
// decoding), or empty when LAME cannot be loaded or fails.
std::vector<unsigned char> encodeMp3(const std::vector<std::int16_t>& interleaved, int rate = 44100,
                                     int kbps = 128);

std::string lameUnavailableReason();

// Reference decode of a whole MP3 image with plain libmpg123 (feed mode,
// gapless, 16-bit stereo at 44100 Hz).
std::vector<std::int16_t> decodeMp3(const std::vector<unsigned char>& mp3);
