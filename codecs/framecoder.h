// Frames of a lossless codec encoded by our own code, where libavcodec's
// encoder only describes the stream (utvideoframe.h, huffyuvframe.h). Each
// makes the same bytes libavcodec's encoder would, faster.
#pragma once

#include <cstdint>
#include <span>

class FrameCoder {
public:
    virtual ~FrameCoder() = default;
    // One frame, 24-bit rows (blue, green, red), the bottom row first when
    // bottomUp; portable leaves the SIMD paths out. The bytes stay valid
    // until the next call.
    virtual std::span<const std::uint8_t> encode(const std::uint8_t* dib, bool bottomUp, bool portable) = 0;
};
