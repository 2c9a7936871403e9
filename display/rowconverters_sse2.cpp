// Row converters with SSE2, the x86-64 baseline.
// In WebAssembly they run as SIMD128 through emscripten's SSE headers.
#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__)) || (defined(__EMSCRIPTEN__) && defined(__SSE2__))

#include "display/rowconverters_impl.h"

#include <emmintrin.h>

#include <cstring>

namespace rowconv::detail {
namespace {

__m128i load(const std::uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void store(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Packs eight 32-bit lanes holding 16-bit values into eight 16-bit words.
// packs saturates signed, so values at or above 0x8000 are sign-extended
// first and come out with their low 16 bits unchanged.
__m128i pack16(__m128i low, __m128i high) {
    low = _mm_srai_epi32(_mm_slli_epi32(low, 16), 16);
    high = _mm_srai_epi32(_mm_slli_epi32(high, 16), 16);
    return _mm_packs_epi32(low, high);
}

void copy32(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    std::int32_t i = 0;
    for (; i + 16 <= count; i += 16, out += 64) {
        __m128i a = load(source + i), b = load(source + i + 4);
        __m128i c = load(source + i + 8), d = load(source + i + 12);
        store(out, a);
        store(out + 16, b);
        store(out + 32, c);
        store(out + 48, d);
    }
    scalar::copy32(source + i, out, count - i);
}

void swap32(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    const __m128i greenMask = _mm_set1_epi32(0x0000FF00);
    const __m128i lowMask = _mm_set1_epi32(0x000000FF);
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4, out += 16) {
        __m128i p = load(source + i);
        __m128i g = _mm_and_si128(p, greenMask);
        __m128i r = _mm_and_si128(_mm_srli_epi32(p, 16), lowMask);
        __m128i b = _mm_slli_epi32(_mm_and_si128(p, lowMask), 16);
        store(out, _mm_or_si128(_mm_or_si128(g, r), b));
    }
    scalar::swap32(source + i, out, count - i);
}

// Four pixels into twelve bytes in one 64-bit and one 32-bit store, as
// general registers do it best without a byte shuffle.
void to24(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4, out += 12) {
        std::uint64_t p0 = source[i] & 0xFFFFFFu, p1 = source[i + 1] & 0xFFFFFFu;
        std::uint64_t p2 = source[i + 2] & 0xFFFFFFu, p3 = source[i + 3] & 0xFFFFFFu;
        std::uint64_t first = p0 | (p1 << 24) | (p2 << 48);
        std::uint32_t second = std::uint32_t((p2 >> 16) | (p3 << 8));
        std::memcpy(out, &first, 8);
        std::memcpy(out + 8, &second, 4);
    }
    scalar::to24(source + i, out, count - i);
}

// One 16-bit pixel per 32-bit lane. The high field's channel is shifted
// right by highShift (left when negative), the low one right by lowShift.
template <int highShift, int lowShift, bool is565>
__m128i packedPixels(__m128i p) {
    const __m128i highMask = _mm_set1_epi32(is565 ? 0xF800 : 0x7C00);
    const __m128i greenMask = _mm_set1_epi32(is565 ? 0x07E0 : 0x03E0);
    const __m128i lowMask = _mm_set1_epi32(0x001F);
    __m128i high = highShift >= 0 ? _mm_srli_epi32(p, highShift) : _mm_slli_epi32(p, -highShift);
    __m128i green = _mm_srli_epi32(p, is565 ? 5 : 6);
    __m128i low = _mm_srli_epi32(p, lowShift);
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(high, highMask), _mm_and_si128(green, greenMask)),
                        _mm_and_si128(low, lowMask));
}

template <int highShift, int lowShift, bool is565, RowConverter tail>
void to16(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    std::int32_t i = 0;
    for (; i + 8 <= count; i += 8, out += 16) {
        __m128i a = packedPixels<highShift, lowShift, is565>(load(source + i));
        __m128i b = packedPixels<highShift, lowShift, is565>(load(source + i + 4));
        // 5-5-5 values stay below 0x8000 and pack without saturating.
        store(out, is565 ? pack16(a, b) : _mm_packs_epi32(a, b));
    }
    tail(source + i, out, count - i);
}

}  // namespace

// Red sits at bits 16..23 and blue at 0..7 of the source pixel.
const ConverterSet sse2Converters = {
    "sse2",
    {
        copy32,
        swap32,
        to24,
        nullptr,
        to16<8, 3, true, scalar::to565>,
        to16<-8, 19, true, scalar::to565Swapped>,
        to16<9, 3, false, scalar::to555>,
        to16<-7, 19, false, scalar::to555Swapped>,
    },
};

}  // namespace rowconv::detail

#endif
