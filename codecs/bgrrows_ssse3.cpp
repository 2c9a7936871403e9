// The DIB rows in the encoders' layouts with SSSE3 byte shuffles.
#include "codecs/bgrrows.h"

#if defined(__SSSE3__)
#include <tmmintrin.h>

namespace bgrrows::detail {
namespace {

__m128i load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void store(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// 16 pixels (48 bytes in three registers) to 16 bytes of each colour: every
// mask takes from one register the bytes of one colour it holds, in place.
void planarGbr(const std::uint8_t* in, std::uint8_t* const out[], int width) {
    const __m128i blue[3] = {_mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1),
                             _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1),
                             _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13)};
    const __m128i green[3] = {_mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1),
                              _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1),
                              _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14)};
    const __m128i red[3] = {_mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1),
                            _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1),
                            _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15)};
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i a = load(in + 3 * x), b = load(in + 3 * x + 16), c = load(in + 3 * x + 32);
        const auto gather = [&](const __m128i* m) {
            return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m[0]), _mm_shuffle_epi8(b, m[1])),
                                _mm_shuffle_epi8(c, m[2]));
        };
        store(out[0] + x, gather(green));
        store(out[1] + x, gather(blue));
        store(out[2] + x, gather(red));
    }
    if (x < width) {
        std::uint8_t* const rest[3] = {out[0] + x, out[1] + x, out[2] + x};
        portableRow(Layout::PlanarGbr)(in + 3 * x, rest, width - x);
    }
}

// Four pixels per shuffle, the fourth byte of each cleared.
void bgr0(const std::uint8_t* in, std::uint8_t* const out[], int width) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    int x = 0;
    for (; x + 6 <= width; x += 4) store(out[0] + 4 * x, _mm_shuffle_epi8(load(in + 3 * x), spread));
    if (x < width) {
        std::uint8_t* const rest[1] = {out[0] + 4 * x};
        portableRow(Layout::Bgr0)(in + 3 * x, rest, width - x);
    }
}

}  // namespace

RowFunction ssse3Row(Layout layout) {
    switch (layout) {
        case Layout::PlanarGbr: return planarGbr;
        case Layout::Bgr0: return bgr0;
    }
    return nullptr;
}

}  // namespace bgrrows::detail
#else
namespace bgrrows::detail {
RowFunction ssse3Row(Layout) { return nullptr; }
}  // namespace bgrrows::detail
#endif
