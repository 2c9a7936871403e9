// The encoders' input made straight from the 24-bit DIB (blue, green, red),
// rows taken bottom row first when bottomUp, in one pass and without the
// generic scaler: planar G, B, R for Ut Video and HuffYUV, B, G, R, 0 for
// FFV1. SSSE3 where the processor has it; the same bytes either way.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bgrrows {

enum class Layout { PlanarGbr, Bgr0 };

// planes/strides: as AVFrame's data/linesize (one plane except for PlanarGbr:
// G, B, R). The DIB's rows are width * 3 bytes, unpadded.
void convert(Layout layout, const std::uint8_t* dib, int width, int height, bool bottomUp,
             std::uint8_t* const planes[], const int strides[], bool portable = false);

namespace detail {
// One row of `width` pixels; the SSSE3 ones leave the last few to the
// portable loops.
using RowFunction = void (*)(const std::uint8_t* in, std::uint8_t* const out[], int width);
RowFunction portableRow(Layout layout);
RowFunction ssse3Row(Layout layout);  // null when not built in
// The SSSE3 one where the processor has it, unless portable is asked for.
RowFunction bestRow(Layout layout, bool portable);
}  // namespace detail

}  // namespace bgrrows
