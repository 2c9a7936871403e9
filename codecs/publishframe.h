// The frame a video site gets: the 640x480 picture enlarged by a whole
// factor (each source pixel a sharp block), centred in a larger frame with
// black around it, as 4:2:0 Y, Cb, Cr planes in BT.709 limited range.
//
//   publishframe::Geometry g = publishframe::geometry(640, 480, 3840, 2160, 4);
//   publishframe::convert(frame24, 640, 480, 3, 640 * 3, g, planes, strides);
//
// At factor 4 (and any even factor) the picture starts on a multiple of
// four, so every chroma sample lies inside one source pixel's block: the
// planes are a replicate of one conversion per pixel, nothing is filtered.
// At factor 3 a chroma sample's 2x2 luma positions may fall on up to four
// source pixels; it takes the rounded mean of their four Cb (Cr) values,
// black counting as 128 where the square reaches the border.
#pragma once

#include <cstdint>

namespace publishframe {

struct Geometry {
    int width = 0, height = 0;  // the output frame; both even
    int factor = 1;             // each source pixel is factor x factor
    int left = 0, top = 0;      // where the enlarged picture starts; both even
};

// The picture centred (offsets rounded down to even numbers); false when
// it does not fit or the frame's sides are odd.
bool fits(int sourceWidth, int sourceHeight, int width, int height, int factor, Geometry& geometry);

// One pixel in BT.709 limited range, rounded: Y 16..235, Cb and Cr 16..240.
struct Ycc {
    std::uint8_t y, cb, cr;
};
Ycc toYcc(int red, int green, int blue);

// source: rows of sourceWidth pixels, blue, green, red (bytesPerPixel 3) or
// blue, green, red, unused (4), `sourceStride` bytes apart, top row first.
// planes/strides: Y (width x height), Cb, Cr (half each way), as AVFrame's.
// Each source row is converted once and its lines laid out by copying.
void convert(const std::uint8_t* source, int sourceWidth, int sourceHeight, int bytesPerPixel, int sourceStride,
             const Geometry& geometry, std::uint8_t* const planes[3], const int strides[3]);

// The same planes computed sample by sample from the rules above: the
// reference the tests hold convert to.
void convertReference(const std::uint8_t* source, int sourceWidth, int sourceHeight, int bytesPerPixel,
                      int sourceStride, const Geometry& geometry, std::uint8_t* const planes[3],
                      const int strides[3]);

}  // namespace publishframe
