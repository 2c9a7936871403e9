// The 24-bit frame copy with SSSE3: four pixels per byte shuffle.
#include <cstddef>
#include <cstdint>

#if defined(__SSSE3__)
#include <tmmintrin.h>

// Copies `pixels` 32-bit pixels to 3 bytes each (their bytes 0, 1, 2). Each
// store writes 16 bytes of which the last 4 are rewritten by the next one,
// so the final group is left to a byte loop.
void copyFrame24Ssse3(const unsigned char* in, unsigned char* out, std::size_t pixels) {
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    std::size_t i = 0;
    for (; i + 8 <= pixels; i += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * i), _mm_shuffle_epi8(four, pack));
    }
    for (; i < pixels; ++i) {
        out[3 * i] = in[4 * i];
        out[3 * i + 1] = in[4 * i + 1];
        out[3 * i + 2] = in[4 * i + 2];
    }
}
#endif
