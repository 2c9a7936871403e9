// Gapless MP3 decoding from memory through the system's Audio Compression
// Manager (its MPEG Layer-3 codec is part of every Windows):
//
//   Mp3Decoder decoder;
//   if (!decoder.open(data, size, 44100, &error)) ...
//   int got = decoder.read(pcm, frames);  // 16-bit stereo; fewer at the end
//   decoder.rewind();                     // back to the first sample
//
// Sample 0 is the first sample the encoder was given: the encoder delay and
// padding recorded in the clip's LAME tag, and the decoder's own delay, are
// cut away, so the length is exactly the encoded sound's. Without a LAME tag
// only the decoder's delay is cut.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/mp3info.h"

// The format the decoder hands out (and the output plays): 16-bit stereo.
WAVEFORMATEX pcmStereo16(int rate);

class Mp3Decoder {
public:
    Mp3Decoder() = default;
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // The image must stay valid while the decoder lives.
    bool open(const void* data, std::size_t size, int outputRate, std::string* error);
    // Fills up to `frames` stereo sample frames; returns how many (0 at the end).
    int read(std::int16_t* out, int frames);
    bool rewind();

    const mp3::Info& info() const { return mp3Info; }

private:
    bool decodeMore();  // false at the end of the stream or on an error
    void close();

    const std::uint8_t* image = nullptr;
    std::size_t imageSize = 0;
    mp3::Info mp3Info;
    HACMSTREAM stream = nullptr;
    ACMSTREAMHEADER header{};
    std::vector<std::uint8_t> input;
    std::vector<std::uint8_t> output;
    std::size_t inputPos = 0;     // next byte of the image to convert
    std::size_t inputFill = 0;    // bytes waiting in `input`
    bool started = false;
    bool flushed = false;
    std::vector<std::int16_t> pending;  // decoded, not yet read
    std::size_t pendingPos = 0;         // in samples (two per frame)
    std::int64_t skipFrames = 0;        // still to drop at the front
    std::int64_t framesLeft = -1;       // still to hand out; -1: no limit
};
