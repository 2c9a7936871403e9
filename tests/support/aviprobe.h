// Reads AVI files back with the ffprobe and ffmpeg programs: an independent
// reader, so the tests see what a player would.
//
//   if (!aviToolsAvailable()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
//   probeStreams(path, "v:0", "codec_name,nb_read_frames")  // "utvideo,5\n"
#pragma once

#include <cstdint>
#include <string>
#include <vector>

bool aviToolsAvailable();

// ffprobe's answer for the stream entries asked, one csv line per selected
// stream ("" selects all), in ffprobe's order of fields. Frames are counted
// by decoding. Empty when the file cannot be read.
std::string probeStreams(const std::string& path, const std::string& select, const std::string& entries);

// Every video frame as bgr24, rows top first, concatenated.
std::vector<std::uint8_t> decodeVideoBgr24(const std::string& path);
// The audio stream as interleaved 16-bit samples.
std::vector<std::int16_t> decodeAudioS16(const std::string& path);
// Sizes in bytes of the sound chunks ("01wb") of the movie list, in file order.
std::vector<long> audioChunkSizes(const std::string& path);
