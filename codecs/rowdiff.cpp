#include "codecs/rowdiff.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rowdiff {

std::uint8_t left(const std::uint8_t* row, std::uint8_t previous, int width, std::uint8_t* out, bool portable) {
    int x = 0;
#if defined(__SSE2__)
    if (!portable) {
        __m128i before = _mm_set1_epi8(char(previous));
        for (; x + 16 <= width; x += 16) {
            const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
            const __m128i left = _mm_or_si128(_mm_slli_si128(now, 1), _mm_srli_si128(before, 15));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_sub_epi8(now, left));
            before = now;
        }
        if (x > 0) previous = row[x - 1];
    }
#endif
    for (; x < width; ++x) {
        out[x] = std::uint8_t(row[x] - previous);
        previous = row[x];
    }
    return previous;
}

void subtract(std::uint8_t* row, const std::uint8_t* other, int width, std::uint8_t bias, bool portable) {
    int x = 0;
#if defined(__SSE2__)
    if (!portable) {
        const __m128i add = _mm_set1_epi8(char(bias));
        for (; x + 16 <= width; x += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
            const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(other + x));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), _mm_add_epi8(_mm_sub_epi8(v, o), add));
        }
    }
#endif
    for (; x < width; ++x) row[x] = std::uint8_t(row[x] - other[x] + bias);
}

}  // namespace rowdiff
