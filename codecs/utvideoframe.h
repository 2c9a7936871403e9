// Ut Video frames ("ULRG": planes G, B - G, R - G; left prediction; one
// Huffman table per plane; the plane cut into slices) made straight from the
// 24-bit DIB, in the layout libavcodec's own encoder writes and with its code
// lengths, so that the packets are the same bytes.
//
// Why not libavcodec's encoder: it counts each plane's symbols one byte at a
// time into a single table, and a dark, flat picture is almost all zeros, so
// every count waits for the last one. That loop alone took more CPU than the
// rest of the render. Here the counts go to four tables, and the colour
// conversion, the prediction and the counting are one pass over the frame.
// One frame is coded on one thread; coderpool.h codes several at once.
//
//   utvideo::FrameEncoder encoder(640, 480, 4);
//   std::span<const std::uint8_t> packet = encoder.encode(dib, true);
#pragma once

#include "codecs/framecoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace utvideo {

// The slice count libavcodec's encoder announces in its extradata (the
// stream's format), or 0 when that is not Ut Video's.
int slicesOf(const std::uint8_t* extradata, int size);

// Code lengths for symbol counts, as libavcodec builds them: a Huffman tree
// over (count << 14) + offset, the offset doubling until no code needs 32
// bits. Unused symbols get 255.
std::array<std::uint8_t, 256> codeLengths(const std::array<std::uint64_t, 256>& counts);

class FrameEncoder : public FrameCoder {
public:
    FrameEncoder(int width, int height, int slices);

    std::span<const std::uint8_t> encode(const std::uint8_t* dib, bool bottomUp, bool portable = false) override;

private:
    void predict(const std::uint8_t* dib, bool bottomUp, bool portable);
    std::size_t writePlane(int plane, std::uint8_t* out) const;

    int width;
    int height;
    int slices;
    std::vector<std::uint8_t> residuals[3];  // each plane after prediction, upright
    std::array<std::uint64_t, 256> counts[3];
    std::vector<std::uint8_t> packet;
};

}  // namespace utvideo
