// HuffYUV frames of 24-bit RGB (left prediction, colour stored as G, B - G,
// R - G, version 2) made straight from the 24-bit DIB with the code tables
// libavcodec's encoder announces in the stream's format, in the bytes its
// encoder makes. One frame is coded on one thread; coderpool.h codes several
// at once.
//
//   std::optional<huffyuv::Tables> tables = huffyuv::tablesOf(extradata, size);
//   huffyuv::FrameEncoder encoder(640, 480, *tables);
//   std::span<const std::uint8_t> packet = encoder.encode(dib, true);
#pragma once

#include "codecs/bitwriter.h"
#include "codecs/framecoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace huffyuv {

// Code lengths for B - G, G and R - G, in the order the format stores them.
struct Tables {
    std::array<std::uint8_t, 256> lengths[3];
};

// The tables of a stream format written the way this encoder writes frames
// (RGB24, left prediction, decorrelated, no per-frame tables), or nothing.
std::optional<Tables> tablesOf(const std::uint8_t* extradata, int size);

class FrameEncoder : public FrameCoder {
public:
    FrameEncoder(int width, int height, const Tables& tables);

    std::span<const std::uint8_t> encode(const std::uint8_t* dib, bool bottomUp, bool portable = false) override;

private:
    int width;
    int height;
    std::array<BitCode, 256> codes[3];
    std::vector<std::uint8_t> packet;
};

}  // namespace huffyuv
