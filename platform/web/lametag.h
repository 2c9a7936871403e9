// The gapless length an MP3 image's LAME tag records: the encoder's delay
// and padding around the sound, in the Xing/Info frame at its start.
//
//   LameTag tag = readLameTag(data, bytes);
//   if (tag.found) ... tag.frames sample frames of sound, which a decoder
//   that ignores the tag puts after tag.skip frames of its own output.
#pragma once

#include <cstddef>
#include <cstdint>

struct LameTag {
    bool found = false;
    std::int64_t frames = 0;  // sample frames of the clip itself
    std::int64_t skip = 0;    // encoder delay + the decoder's 529
};

LameTag readLameTag(const unsigned char* data, std::size_t bytes);
