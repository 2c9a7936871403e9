// Row converters: one row of 0x00RRGGBB framebuffer pixels into the display's
// pixel format. Each reads exactly count source pixels and writes exactly
// count destination pixels (4, 3 or 2 bytes each, packed, little-endian).
// Channels are cut to their kept bits, never rounded.
//
//   RowConverter convert = selectRowConverter(16, 0xF800, 0x07E0, 0x001F);
//   convert(sourceRow, destinationRow, 640);   // == convertRowTo565
//
// The named converters run the fastest implementation this CPU has (AVX2,
// SSSE3 or SSE2 on x86-64; scalar elsewhere), all giving the same bytes.
#pragma once

#include <cstdint>

using RowConverter = void (*)(const std::uint32_t* source, void* destination, std::int32_t count);

// The converter for a display format, or null when there is none. The bit
// count is compared first, then the three masks for exact equality.
RowConverter selectRowConverter(std::uint32_t bitCount, std::uint32_t redMask, std::uint32_t greenMask,
                                std::uint32_t blueMask);

void convertRowCopy32(const std::uint32_t* source, void* destination, std::int32_t count);
void convertRowSwap32(const std::uint32_t* source, void* destination, std::int32_t count);
void convertRowTo24(const std::uint32_t* source, void* destination, std::int32_t count);
void convertRowTo24Swapped(const std::uint32_t* source, void* destination, std::int32_t count);
void convertRowTo565(const std::uint32_t* source, void* destination, std::int32_t count);
void convertRowTo565Swapped(const std::uint32_t* source, void* destination, std::int32_t count);
void convertRowTo555(const std::uint32_t* source, void* destination, std::int32_t count);
void convertRowTo555Swapped(const std::uint32_t* source, void* destination, std::int32_t count);

namespace rowconv {

// The eight formats in table order.
enum Format { Copy32, Swap32, To24, To24Swapped, To565, To565Swapped, To555, To555Swapped, FormatCount };

// One implementation of all eight; a null entry falls back to the next
// simpler set.
struct ConverterSet {
    const char* name;
    RowConverter convert[FormatCount];
};

extern const char* const formatNames[FormatCount];  // "convertRowCopy32", ...
extern const int bytesPerPixel[FormatCount];

// The plain one-pixel-at-a-time reference.
const ConverterSet& scalarSet();
// SIMD sets: null when this build or CPU lacks the instructions.
const ConverterSet* sse2Set();
const ConverterSet* ssse3Set();
const ConverterSet* avx2Set();

// What the named converters dispatch to, format by format.
RowConverter chosen(Format format);

}  // namespace rowconv
