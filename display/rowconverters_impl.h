// Shared between the row converter implementations: the scalar reference
// (the SIMD versions hand their last few pixels to it) and the SIMD sets.
// Nothing here is inline, so no function compiled for a wider instruction
// set can be picked by the linker for a caller that runs without it.
#pragma once

#include "display/rowconverters.h"

namespace rowconv::scalar {

void copy32(const std::uint32_t* source, void* destination, std::int32_t count);
void swap32(const std::uint32_t* source, void* destination, std::int32_t count);
void to24(const std::uint32_t* source, void* destination, std::int32_t count);
void to24Swapped(const std::uint32_t* source, void* destination, std::int32_t count);
void to565(const std::uint32_t* source, void* destination, std::int32_t count);
void to565Swapped(const std::uint32_t* source, void* destination, std::int32_t count);
void to555(const std::uint32_t* source, void* destination, std::int32_t count);
void to555Swapped(const std::uint32_t* source, void* destination, std::int32_t count);

}  // namespace rowconv::scalar

namespace rowconv::detail {

// Defined by the *_sse2/_ssse3/_avx2 files; only handed out after the CPU
// was asked whether it has the instructions.
extern const ConverterSet sse2Converters;
extern const ConverterSet ssse3Converters;
extern const ConverterSet avx2Converters;

}  // namespace rowconv::detail
