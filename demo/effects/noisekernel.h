// Internal to the noise field: the register's output as a bit sequence and
// the vector loops that turn it into pixels.
//
// With the state's bits as x[0..30] and x[m+31] = x[m] ^ x[m+3] for every
// later bit, the state before step n is the window x[n..n+30], and bits 0..26
// of that step's output v are x[n+32..n+58]. So the low byte of v at pixel n
// is the byte of the bit sequence that starts at bit n + 32.
#pragma once

#include <cstddef>
#include <cstdint>

namespace noisekernel {

// Fills bits x[0..64*wordCount) from a state, 64 per word, least significant
// bit first. wordCount >= 2.
void expandRegister(std::uint32_t state, std::uint64_t* words, std::size_t wordCount);

// The bits x[position .. position+length), length <= 64, as an integer.
std::uint64_t bitWindow(const std::uint64_t* words, std::size_t position, int length);

// Whether the vector loops below may be used on this machine.
bool vectorAvailable();

// Cleared by tests to run the portable loops on a machine with vectors.
extern bool vectorAllowed;

// out[n] for n < count (count a multiple of 8) from the low byte b of step n:
// (b & maskR) << 16 | (b & maskG) << 8 | (b & maskB). Masks within 0..255.
// Reads up to 8 bytes past bit count + 32 of the sequence.
void plainPixelsSse2(const std::uint64_t* words, std::uint32_t* out, std::size_t count, std::uint32_t maskR,
                     std::uint32_t maskG, std::uint32_t maskB);

// One row of streaked noise starting at bit offset `first` (a multiple of 8):
// out[k] = (held + max((b & 45) - threshold, 0)) masked, for k < count (a
// multiple of 8). threshold within -1000..45, masks within 0..255.
void streakPixelsSse2(const std::uint64_t* words, std::size_t first, std::uint32_t* out, std::size_t count,
                      std::int32_t held, std::int32_t threshold, std::uint32_t maskR, std::uint32_t maskG,
                      std::uint32_t maskB);

}  // namespace noisekernel
