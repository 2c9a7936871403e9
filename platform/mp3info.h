// What an MP3 image says about itself before it is decoded: the format of
// its first frame and, from a Xing/Info tag with LAME's extension, the exact
// length of the sound the encoder was given.
//
//   Mp3Info info;
//   if (!readMp3Info(data, size, info)) ...       // not an MPEG-1/2 layer III stream
//   skip info.tagFrameBytes at info.audioOffset?  // the tag frame holds no sound
//   keep samples [info.encoderDelay, + info.sampleFrames) of the decoded stream
//
// A decoder adds a delay of its own (decoderDelay) in front of that.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mp3 {

// The synthesis filterbank's delay every standard layer III decoder adds.
constexpr int decoderDelay = 529;

struct Info {
    int sampleRate = 0;
    int channels = 0;
    int bitrate = 0;            // kbit/s of the first frame
    int samplesPerFrame = 0;    // 1152 (MPEG-1) or 576 (MPEG-2/2.5)
    std::size_t audioOffset = 0;  // first byte of sound: after an ID3v2 tag and the Info frame
    std::size_t firstFrameBytes = 0;  // size of the first sound frame
    bool hasLengthTag = false;    // a Xing/Info frame count was found
    std::int64_t frames = 0;      // sound frames, the Info frame not counted
    bool hasLameTag = false;      // encoder delay and padding are known
    int encoderDelay = 0;
    int padding = 0;
    // The sound the encoder was given, in sample frames: frames x samples per
    // frame minus delay and padding; -1 when no tag says.
    std::int64_t sampleFrames = -1;
};

// False when no layer III frame starts the data (after an ID3v2 tag).
bool readInfo(const std::uint8_t* data, std::size_t size, Info& info);

}  // namespace mp3
