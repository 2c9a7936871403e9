// Variable-length codes packed first bit highest into 32-bit words stored
// little-endian: the bitstream of both Ut Video and HuffYUV.
//
//   BitWriter bits(buffer);
//   bits.put(code, length);          // length 1..32
//   std::size_t bytes = bits.finish();  // the last word filled with zeros
#pragma once

#include <cstddef>
#include <cstdint>

// The loops that put codes shift by variable amounts, which BMI2 does in one
// step: where the compiler can, they are built twice and the processor's
// kind picks one when the program starts. The pick is made by an ifunc
// resolver while the program is loaded, before a sanitizer's runtime is
// ready, so instrumented builds (and QVO_NO_CLONES) get one plain version.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define QVO_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define QVO_SANITIZED 1
#endif
#if defined(__x86_64__) && defined(__linux__) && !defined(__BMI2__) && !defined(QVO_SANITIZED) && \
    !defined(QVO_NO_CLONES)
#define QVO_BMI2_CLONES __attribute__((target_clones("bmi2", "default")))
#else
#define QVO_BMI2_CLONES
#endif

inline void storeLe32(std::uint8_t* out, std::uint32_t value) {
    out[0] = std::uint8_t(value);
    out[1] = std::uint8_t(value >> 8);
    out[2] = std::uint8_t(value >> 16);
    out[3] = std::uint8_t(value >> 24);
}

// A code as it is written: its bits, the first one highest, and how many.
struct BitCode {
    std::uint32_t bits;
    std::uint32_t length;
};

class BitWriter {
public:
    explicit BitWriter(std::uint8_t* out) : start(out), out(out) {}

    void put(std::uint32_t code, std::uint32_t length) {
        bits = bits << length | code;
        pending += length;
        if (pending >= 32) emit();
    }
    std::size_t finish() {
        if (pending > 0) {
            storeLe32(out, std::uint32_t(bits << (32 - pending)));
            out += 4;
            pending = 0;
        }
        return std::size_t(out - start);
    }

private:
    void emit() {
        pending -= 32;
        storeLe32(out, std::uint32_t(bits >> pending));
        out += 4;
    }

    std::uint8_t* start;
    std::uint8_t* out;
    std::uint64_t bits = 0;  // the low `pending` bits wait for a word
    std::uint32_t pending = 0;
};
