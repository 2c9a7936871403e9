// Row converters that need a byte shuffle (pshufb): the byte-order swap and
// the two 24-bit layouts.
#if defined(__x86_64__) || defined(__i386__) || (defined(__EMSCRIPTEN__) && defined(__SSSE3__))

#include "display/rowconverters_impl.h"

#include <tmmintrin.h>

namespace rowconv::detail {
namespace {

__m128i load(const std::uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void store(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

void swap32(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    // -1 (high bit set) gives a zero byte: the fourth byte is cleared.
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1);
    std::int32_t i = 0;
    for (; i + 8 <= count; i += 8, out += 32) {
        store(out, _mm_shuffle_epi8(load(source + i), order));
        store(out + 16, _mm_shuffle_epi8(load(source + i + 4), order));
    }
    scalar::swap32(source + i, out, count - i);
}

// Sixteen pixels into 48 bytes: each group of four is packed into its low
// twelve bytes, and the groups are then joined across three stores.
template <RowConverter tail>
void to24With(__m128i order, const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    std::int32_t i = 0;
    for (; i + 16 <= count; i += 16, out += 48) {
        __m128i a = _mm_shuffle_epi8(load(source + i), order);
        __m128i b = _mm_shuffle_epi8(load(source + i + 4), order);
        __m128i c = _mm_shuffle_epi8(load(source + i + 8), order);
        __m128i d = _mm_shuffle_epi8(load(source + i + 12), order);
        store(out, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        store(out + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        store(out + 32, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
    tail(source + i, out, count - i);
}

void to24(const std::uint32_t* source, void* destination, std::int32_t count) {
    const __m128i order = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    to24With<scalar::to24>(order, source, destination, count);
}

void to24Swapped(const std::uint32_t* source, void* destination, std::int32_t count) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    to24With<scalar::to24Swapped>(order, source, destination, count);
}

}  // namespace

const ConverterSet ssse3Converters = {
    "ssse3",
    {nullptr, swap32, to24, to24Swapped, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace rowconv::detail

#endif
