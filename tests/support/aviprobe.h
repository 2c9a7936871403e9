// Reads AVI files back with the ffprobe and ffmpeg programs: an independent
// reader, so the tests see what a player would.
//
//   if (!aviToolsAvailable()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
//   AviSummary s = probeAvi(path);
//   auto pixels = decodeVideoBgr24(path);   // every frame, upright
#pragma once

#include <cstdint>
#include <string>
#include <vector>

bool aviToolsAvailable();

struct AviSummary {
    bool readable = false;
    int videoStreams = 0;
    int audioStreams = 0;
    std::string videoCodec;      // as ffprobe names it
    std::string frameRate;       // "40/1"
    int width = 0;
    int height = 0;
    long videoFrames = -1;       // counted by decoding
    int sampleRate = 0;
    int channels = 0;
    std::string sampleFormat;    // "s16"
    std::string error;           // ffprobe's complaints, if any
};
AviSummary probeAvi(const std::string& path);

// Every video frame as bgr24, rows top first, concatenated.
std::vector<std::uint8_t> decodeVideoBgr24(const std::string& path);
// The audio stream as interleaved 16-bit samples.
std::vector<std::int16_t> decodeAudioS16(const std::string& path);
// Sizes in bytes of the second stream's ("01wb") chunks, in file order.
std::vector<long> audioChunkSizes(const std::string& path);

// biHeight of the first video stream's format chunk (strf), read from the
// file's bytes; 0 if not found.
std::int32_t firstVideoFormatHeight(const std::string& path);

// Output of a shell command (stdout only).
std::string commandOutput(const std::string& command);
