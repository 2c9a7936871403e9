#include "display/rowconverters.h"

#include "display/rowconverters_impl.h"


namespace rowconv {

const char* const formatNames[FormatCount] = {
    "convertRowCopy32", "convertRowSwap32",       "convertRowTo24",  "convertRowTo24Swapped",
    "convertRowTo565",  "convertRowTo565Swapped", "convertRowTo555", "convertRowTo555Swapped",
};

const int bytesPerPixel[FormatCount] = {4, 4, 3, 3, 2, 2, 2, 2};

namespace scalar {

namespace {

void store16(std::uint8_t* out, std::uint32_t value) {
    out[0] = std::uint8_t(value);
    out[1] = std::uint8_t(value >> 8);
}

void store32(std::uint8_t* out, std::uint32_t value) {
    out[0] = std::uint8_t(value);
    out[1] = std::uint8_t(value >> 8);
    out[2] = std::uint8_t(value >> 16);
    out[3] = std::uint8_t(value >> 24);
}

std::uint32_t red(std::uint32_t p) { return (p >> 16) & 0xFF; }
std::uint32_t green(std::uint32_t p) { return (p >> 8) & 0xFF; }
std::uint32_t blue(std::uint32_t p) { return p & 0xFF; }

}  // namespace

void copy32(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    for (std::int32_t i = 0; i < count; ++i, out += 4) store32(out, source[i]);
}

void swap32(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    for (std::int32_t i = 0; i < count; ++i, out += 4) {
        std::uint32_t p = source[i];
        store32(out, (blue(p) << 16) | (green(p) << 8) | red(p));
    }
}

void to24(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    for (std::int32_t i = 0; i < count; ++i, out += 3) {
        std::uint32_t p = source[i];
        out[0] = std::uint8_t(blue(p));
        out[1] = std::uint8_t(green(p));
        out[2] = std::uint8_t(red(p));
    }
}

void to24Swapped(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    for (std::int32_t i = 0; i < count; ++i, out += 3) {
        std::uint32_t p = source[i];
        out[0] = std::uint8_t(red(p));
        out[1] = std::uint8_t(green(p));
        out[2] = std::uint8_t(blue(p));
    }
}

void to565(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    for (std::int32_t i = 0; i < count; ++i, out += 2) {
        std::uint32_t p = source[i];
        store16(out, ((red(p) & 0xF8) << 8) | ((green(p) & 0xFC) << 3) | (blue(p) >> 3));
    }
}

void to565Swapped(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    for (std::int32_t i = 0; i < count; ++i, out += 2) {
        std::uint32_t p = source[i];
        store16(out, ((blue(p) & 0xF8) << 8) | ((green(p) & 0xFC) << 3) | (red(p) >> 3));
    }
}

void to555(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    for (std::int32_t i = 0; i < count; ++i, out += 2) {
        std::uint32_t p = source[i];
        store16(out, ((red(p) & 0xF8) << 7) | ((green(p) & 0xF8) << 2) | (blue(p) >> 3));
    }
}

void to555Swapped(const std::uint32_t* source, void* destination, std::int32_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    for (std::int32_t i = 0; i < count; ++i, out += 2) {
        std::uint32_t p = source[i];
        store16(out, ((blue(p) & 0xF8) << 7) | ((green(p) & 0xF8) << 2) | (red(p) >> 3));
    }
}

}  // namespace scalar

namespace {

const ConverterSet scalarConverters = {
    "scalar",
    {scalar::copy32, scalar::swap32, scalar::to24, scalar::to24Swapped, scalar::to565, scalar::to565Swapped,
     scalar::to555, scalar::to555Swapped},
};

struct Dispatch {
    RowConverter convert[FormatCount] = {};

    Dispatch() {
        // Simplest first, each wider set overriding what it implements.
        const ConverterSet* sets[] = {&scalarConverters, sse2Set(), ssse3Set(), avx2Set()};
        for (const ConverterSet* set : sets) {
            if (!set) continue;
            for (int f = 0; f < FormatCount; ++f)
                if (set->convert[f]) convert[f] = set->convert[f];
        }
    }
};

const Dispatch& dispatch() {
    static const Dispatch table;
    return table;
}

}  // namespace

const ConverterSet& scalarSet() { return scalarConverters; }

#if defined(__x86_64__) || defined(__i386__)
// __builtin_cpu_init makes the answers valid even during static
// initialisation, before the run-time library would have asked the CPU.
const ConverterSet* sse2Set() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2") ? &detail::sse2Converters : nullptr;
}
const ConverterSet* ssse3Set() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") ? &detail::ssse3Converters : nullptr;
}
const ConverterSet* avx2Set() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? &detail::avx2Converters : nullptr;
}
#elif defined(__EMSCRIPTEN__) && defined(__SSSE3__)
// Built for WebAssembly SIMD as a whole: a browser without it cannot load
// the program at all, so there is nothing to ask here.
const ConverterSet* sse2Set() { return &detail::sse2Converters; }
const ConverterSet* ssse3Set() { return &detail::ssse3Converters; }
const ConverterSet* avx2Set() { return nullptr; }
#else
const ConverterSet* sse2Set() { return nullptr; }
const ConverterSet* ssse3Set() { return nullptr; }
const ConverterSet* avx2Set() { return nullptr; }
#endif

RowConverter chosen(Format format) { return dispatch().convert[format]; }

}  // namespace rowconv

using rowconv::chosen;

void convertRowCopy32(const std::uint32_t* s, void* d, std::int32_t n) { chosen(rowconv::Copy32)(s, d, n); }
void convertRowSwap32(const std::uint32_t* s, void* d, std::int32_t n) { chosen(rowconv::Swap32)(s, d, n); }
void convertRowTo24(const std::uint32_t* s, void* d, std::int32_t n) { chosen(rowconv::To24)(s, d, n); }
void convertRowTo24Swapped(const std::uint32_t* s, void* d, std::int32_t n) {
    chosen(rowconv::To24Swapped)(s, d, n);
}
void convertRowTo565(const std::uint32_t* s, void* d, std::int32_t n) { chosen(rowconv::To565)(s, d, n); }
void convertRowTo565Swapped(const std::uint32_t* s, void* d, std::int32_t n) {
    chosen(rowconv::To565Swapped)(s, d, n);
}
void convertRowTo555(const std::uint32_t* s, void* d, std::int32_t n) { chosen(rowconv::To555)(s, d, n); }
void convertRowTo555Swapped(const std::uint32_t* s, void* d, std::int32_t n) {
    chosen(rowconv::To555Swapped)(s, d, n);
}

RowConverter selectRowConverter(std::uint32_t bitCount, std::uint32_t redMask, std::uint32_t greenMask,
                                std::uint32_t blueMask) {
    struct Entry {
        std::uint32_t bits, red, green, blue;
        RowConverter converter;
    };
    static const Entry table[] = {
        {32, 0xFF0000, 0x00FF00, 0x0000FF, convertRowCopy32},
        {32, 0x0000FF, 0x00FF00, 0xFF0000, convertRowSwap32},
        {24, 0xFF0000, 0x00FF00, 0x0000FF, convertRowTo24},
        {24, 0x0000FF, 0x00FF00, 0xFF0000, convertRowTo24Swapped},
        {16, 0xF800, 0x07E0, 0x001F, convertRowTo565},
        {16, 0x001F, 0x07E0, 0xF800, convertRowTo565Swapped},
        {16, 0x7C00, 0x03E0, 0x001F, convertRowTo555},
        {16, 0x001F, 0x03E0, 0x7C00, convertRowTo555Swapped},
    };
    for (const Entry& e : table)
        if (e.bits == bitCount && e.red == redMask && e.green == greenMask && e.blue == blueMask) return e.converter;
    return nullptr;
}
