// Row operations the lossless encoders share: each byte minus the one to its
// left, and one row minus another. SSE2 where built in; the same bytes
// either way.
#pragma once

#include <cstdint>

namespace rowdiff {

// out[x] = row[x] - row[x - 1], the first byte taking `previous` as its left
// neighbour; returns the row's last byte, the next row's `previous`.
std::uint8_t left(const std::uint8_t* row, std::uint8_t previous, int width, std::uint8_t* out, bool portable);

// row[x] = row[x] - other[x] + bias, in place.
void subtract(std::uint8_t* row, const std::uint8_t* other, int width, std::uint8_t bias, bool portable);

}  // namespace rowdiff
