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
//
//   utvideo::FrameEncoder encoder(640, 480, 4);
//   std::span<const std::uint8_t> packet = encoder.encode(dib, true);
#pragma once

#include "platform/sdl/framecoder.h"
#include "platform/sdl/sidethread.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
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
    // Past one slice, the lower half of the slices is done on a thread of
    // the encoder's own while the calling thread does the upper half.
    FrameEncoder(int width, int height, int slices);
    ~FrameEncoder() override;

    std::span<const std::uint8_t> encode(const std::uint8_t* dib, bool bottomUp, bool portable = false) override;

private:
    struct Half;
    void predict(Half& half, const std::uint8_t* dib, bool bottomUp, bool portable);
    void write(Half& half);
    std::size_t assemblePlane(int plane, std::uint8_t* out) const;

    int width;
    int height;
    int slices;
    std::vector<std::uint8_t> residuals[3];  // each plane after prediction, upright
    std::vector<Half> halves;
    struct Code {
        std::uint32_t bits;
        std::uint32_t length;
    };
    std::array<std::uint8_t, 256> lengths[3];
    std::array<Code, 256> codes[3];
    bool shortCodes[3] = {};  // none longer than 16 bits: two to a check
    bool single[3] = {};  // a plane of one symbol
    std::vector<std::uint8_t> packet;
    std::unique_ptr<SideThread> helper;
};

}  // namespace utvideo
