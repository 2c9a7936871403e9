// Drawing conventions shared by the effects.
//
// The framebuffer is the surface's pixel buffer: 0x00RRGGBB words, rows top
// to bottom, getRight() pixels per row with no padding, getBottom() rows.
// Floats become ints by truncation toward zero; a loop over an int
// coordinate against a float bound runs while float(i) < bound.
//
// Every rectangle an effect touches is additionally clipped to the frame.
// In a correct run nothing ever leaves the frame, so the clipping changes no
// pixel; it only keeps a stray value from writing outside the buffer.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "display/graphics.h"

namespace frame {

// Truncation toward zero that saturates instead of overflowing (NaN gives 0).
inline std::int32_t truncToInt(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return 2147483647;
    if (value <= -2147483648.0) return -2147483647 - 1;
    return std::int32_t(value);
}

// The end of `for (i = start; float(i) < bound; ++i)`, cut at limit: the first
// i >= start for which float(i) < bound fails, but never more than limit.
// Exact for the frame's coordinates (|i| < 2^24, where float(i) == i).
inline std::int32_t loopEnd(std::int32_t start, float bound, std::int32_t limit) {
    if (!(float(start) < bound)) return start;
    if (bound > float(limit)) return limit;
    return std::min(limit, std::int32_t(std::ceil(double(bound))));
}

// The pixel view of a surface, read once per effect call.
struct View {
    // A missing surface or buffer gives an empty view: nothing is drawn.
    explicit View(Surface* surface)
        : pixels(surface ? static_cast<std::uint32_t*>(surface->getPixels()) : nullptr),
          width(surface ? surface->getRight() : 0),
          height(surface ? surface->getBottom() : 0) {
        if (!pixels || width <= 0 || height <= 0) width = height = 0;
    }
    std::uint32_t* row(std::int32_t y) const { return pixels + std::int64_t(y) * width; }

    std::uint32_t* pixels;
    std::int32_t width;
    std::int32_t height;
};

// A channel amount with which red (up to 16 bits with the top byte) minus
// the amount cannot overflow 32 bits. Only absurd amounts change.
inline std::int32_t safeAmount(std::int32_t amount) {
    return std::max(amount, std::int32_t(-2147483647 - 1 + 65536));
}

// Clamps a start coordinate into [0, limit].
inline std::int32_t clampStart(std::int32_t v, std::int32_t limit) {
    return std::clamp(v, std::int32_t(0), limit);
}

}  // namespace frame
