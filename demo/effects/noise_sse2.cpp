// The noise field's pixel loops, eight pixels per step with SSE2.
#include "demo/effects/noisekernel.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstring>

namespace noisekernel {

namespace {

// Lane k of the result holds the byte of the sequence that starts at bit
// n + 32 + k, for a block of eight pixels starting at pixel n (n % 8 == 0).
// The 16 bits from n + 31 are broadcast; lane k's wanted bits k + 1 to k + 8
// are moved to the top byte by a low-half multiply by 2^(7 - k), which drops
// the bits above them, and brought down by a shift of 8. (A low multiply and
// a shift are single WebAssembly SIMD instructions; a high-half multiply is
// not.)
inline __m128i blockBytes(const unsigned char* bytes, std::size_t n, __m128i shifts) {
    std::uint32_t raw;
    std::memcpy(&raw, bytes + n / 8 + 3, sizeof raw);
    const __m128i window = _mm_set1_epi16(short(raw >> 7 & 0xFFFF));
    return _mm_srli_epi16(_mm_mullo_epi16(window, shifts), 8);
}

// blockBytes' multipliers. Clang turns a multiply by constant powers of two
// into per-lane shifts, which WebAssembly SIMD does not have and spells out
// lane by lane; there the constant is hidden from it to keep the multiply.
inline __m128i laneShifts() {
    __m128i shifts = _mm_setr_epi16(0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01);
#if defined(__wasm__)
    __asm__("" : "+X"(shifts));
#endif
    return shifts;
}

// Eight 16-bit channel values to eight 0x00RRGGBB pixels.
inline void storePixels(std::uint32_t* out, __m128i value, __m128i maskR, __m128i maskG, __m128i maskB) {
    const __m128i red = _mm_and_si128(value, maskR);
    const __m128i greenBlue = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(value, maskG), 8), _mm_and_si128(value, maskB));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(greenBlue, red));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(greenBlue, red));
}

}  // namespace

bool vectorAvailable() { return true; }

void plainPixelsSse2(const std::uint64_t* words, std::uint32_t* out, std::size_t count, std::uint32_t maskR,
                     std::uint32_t maskG, std::uint32_t maskB) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(words);
    const __m128i r = _mm_set1_epi16(short(maskR)), g = _mm_set1_epi16(short(maskG)), b = _mm_set1_epi16(short(maskB));
    const __m128i shifts = laneShifts();
    for (std::size_t n = 0; n < count; n += 8) storePixels(out + n, blockBytes(bytes, n, shifts), r, g, b);
}

void streakPixelsSse2(const std::uint64_t* words, std::size_t first, std::uint32_t* out, std::size_t count,
                      std::int32_t held, std::int32_t threshold, std::uint32_t maskR, std::uint32_t maskG,
                      std::uint32_t maskB) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(words);
    const __m128i r = _mm_set1_epi16(short(maskR)), g = _mm_set1_epi16(short(maskG)), b = _mm_set1_epi16(short(maskB));
    const __m128i fortyFive = _mm_set1_epi16(45);
    const __m128i limit = _mm_set1_epi16(short(threshold));
    const __m128i row = _mm_set1_epi16(short(held));
    const __m128i zero = _mm_setzero_si128();
    const __m128i shifts = laneShifts();
    for (std::size_t k = 0; k < count; k += 8) {
        const __m128i n = _mm_and_si128(blockBytes(bytes, first + k, shifts), fortyFive);
        const __m128i d = _mm_max_epi16(_mm_sub_epi16(n, limit), zero);
        storePixels(out + k, _mm_add_epi16(row, d), r, g, b);
    }
}

}  // namespace noisekernel

#endif
