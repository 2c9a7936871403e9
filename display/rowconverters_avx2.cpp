// Row converters with AVX2: eight pixels a register.
#if defined(__x86_64__) || defined(__i386__)

#include "display/rowconverters_impl.h"

#include <immintrin.h>

namespace rowconv::detail {
namespace {

__m256i load(const std::uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
void store(std::uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

void copy32(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    std::int32_t i = 0;
    for (; i + 32 <= count; i += 32, out += 128) {
        __m256i a = load(source + i), b = load(source + i + 8);
        __m256i c = load(source + i + 16), d = load(source + i + 24);
        store(out, a);
        store(out + 32, b);
        store(out + 64, c);
        store(out + 96, d);
    }
    for (; i + 8 <= count; i += 8, out += 32) store(out, load(source + i));
    scalar::copy32(source + i, out, count - i);
}

void swap32(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    const __m256i order = _mm256_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1,  //
                                           2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1);
    std::int32_t i = 0;
    for (; i + 16 <= count; i += 16, out += 64) {
        store(out, _mm256_shuffle_epi8(load(source + i), order));
        store(out + 32, _mm256_shuffle_epi8(load(source + i + 8), order));
    }
    scalar::swap32(source + i, out, count - i);
}

// Eight pixels give 24 bytes: each half packs its four pixels into its low
// twelve bytes, the two halves are joined, and a 32-byte store writes them
// with eight bytes to spare that the next step overwrites. So the loop stops
// while the spare bytes would still land past the row's end.
template <RowConverter tail>
void to24With(__m256i order, const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    std::int32_t i = 0;
    for (; i + 11 <= count; i += 8, out += 24)
        store(out, _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load(source + i), order), join));
    tail(source + i, out, count - i);
}

void to24(const std::uint32_t* source, void* destination, std::int32_t count) {
    const __m256i order = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                           0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    to24With<scalar::to24>(order, source, destination, count);
}

void to24Swapped(const std::uint32_t* source, void* destination, std::int32_t count) {
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,  //
                                           2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    to24With<scalar::to24Swapped>(order, source, destination, count);
}

// One 16-bit pixel per 32-bit lane; see the SSE2 version for the shifts.
template <int highShift, int lowShift, bool is565>
__m256i packedPixels(__m256i p) {
    const __m256i highMask = _mm256_set1_epi32(is565 ? 0xF800 : 0x7C00);
    const __m256i greenMask = _mm256_set1_epi32(is565 ? 0x07E0 : 0x03E0);
    const __m256i lowMask = _mm256_set1_epi32(0x001F);
    __m256i high = highShift >= 0 ? _mm256_srli_epi32(p, highShift) : _mm256_slli_epi32(p, -highShift);
    __m256i green = _mm256_srli_epi32(p, is565 ? 5 : 6);
    __m256i low = _mm256_srli_epi32(p, lowShift);
    return _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(high, highMask), _mm256_and_si256(green, greenMask)),
                           _mm256_and_si256(low, lowMask));
}

template <int highShift, int lowShift, bool is565, RowConverter tail>
void to16(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    std::int32_t i = 0;
    for (; i + 16 <= count; i += 16, out += 32) {
        __m256i a = packedPixels<highShift, lowShift, is565>(load(source + i));
        __m256i b = packedPixels<highShift, lowShift, is565>(load(source + i + 8));
        // Every value fits 16 bits unsigned; the pack works per 128-bit half,
        // so the quarters are put back in order afterwards.
        __m256i packed = _mm256_packus_epi32(a, b);
        store(out, _mm256_permute4x64_epi64(packed, 0xD8));
    }
    tail(source + i, out, count - i);
}

}  // namespace

const ConverterSet avx2Converters = {
    "avx2",
    {
        copy32,
        swap32,
        to24,
        to24Swapped,
        to16<8, 3, true, scalar::to565>,
        to16<-8, 19, true, scalar::to565Swapped>,
        to16<9, 3, false, scalar::to555>,
        to16<-7, 19, false, scalar::to555Swapped>,
    },
};

}  // namespace rowconv::detail

#endif
