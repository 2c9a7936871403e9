#include "demo/effects/noise.h"

#include <vector>

#include "demo/clock.h"
#include "demo/effects/frame.h"
#include "source/processstate.h"
#include "demo/effects/noisekernel.h"
#include "demo/timeline.h"

PROCESS_STATE(std::int32_t, noiseState, 1638);
PROCESS_STATE(std::int32_t, streakState, 1638);
PROCESS_STATE(bool, streakMode, false);

namespace noisekernel {

PROCESS_STATE(bool, vectorAllowed, true);

void expandRegister(std::uint32_t state, std::uint64_t* words, std::size_t wordCount) {
    // The first 128 bits one at a time from the state...
    std::uint64_t low = state & 0x7FFFFFFFu, high = 0;
    for (int m = 31; m < 128; ++m) {
        const int a = m - 31, b = m - 28;
        const std::uint64_t bit =
            ((a < 64 ? low >> a : high >> (a - 64)) ^ (b < 64 ? low >> b : high >> (b - 64))) & 1;
        if (m < 64)
            low |= bit << m;
        else
            high |= bit << (m - 64);
    }
    words[0] = low;
    words[1] = high;
    // ...then 64 at a time. Squaring the feedback polynomial twice,
    // (z^31 + z^3 + 1)^4 = z^124 + z^12 + 1, gives x[m+124] = x[m] ^ x[m+12],
    // so bit i of word j+2 is bit i+4 ^ bit i+16 of the pair (words j, j+1).
    for (std::size_t j = 0; j + 2 < wordCount; ++j) {
        const std::uint64_t a = words[j], b = words[j + 1];
        words[j + 2] = ((a >> 4) | (b << 60)) ^ ((a >> 16) | (b << 48));
    }
}

std::uint64_t bitWindow(const std::uint64_t* words, std::size_t position, int length) {
    const std::size_t word = position >> 6;
    const int offset = int(position & 63);
    std::uint64_t value = words[word] >> offset;
    if (offset != 0) value |= words[word + 1] << (64 - offset);
    return length == 64 ? value : value & ((std::uint64_t(1) << length) - 1);
}

#if !defined(__SSE2__)
bool vectorAvailable() { return false; }
void plainPixelsSse2(const std::uint64_t*, std::uint32_t*, std::size_t, std::uint32_t, std::uint32_t,
                     std::uint32_t) {}
void streakPixelsSse2(const std::uint64_t*, std::size_t, std::uint32_t*, std::size_t, std::int32_t, std::int32_t,
                      std::uint32_t, std::uint32_t, std::uint32_t) {}
#endif

}  // namespace noisekernel

namespace {

using noisekernel::bitWindow;

// The bit sequence of one fill, kept between frames so nothing is allocated
// per frame.
PROCESS_STATE(std::vector<std::uint64_t>, sequence);

// Expands the register for `steps` steps plus the lookahead the loops read.
const std::uint64_t* expand(std::int32_t state, std::size_t steps) {
    const std::size_t words = (steps + 32 + 64) / 64 + 3;
    if (sequence.size() < words) sequence.resize(words);
    noisekernel::expandRegister(std::uint32_t(state), sequence.data(), words);
    return sequence.data();
}

std::int32_t stateAfter(const std::uint64_t* words, std::size_t steps) {
    return std::int32_t(bitWindow(words, steps, 31));
}

std::int32_t outputAt(const std::uint64_t* words, std::size_t step) {
    const std::uint32_t s = std::uint32_t(bitWindow(words, step, 31));
    return std::int32_t((s ^ (s >> 3)) >> 1);
}

std::uint32_t maskedPixel(std::int32_t v, std::int32_t maskR, std::int32_t maskG, std::int32_t maskB) {
    return std::uint32_t(v & maskR) << 16 | std::uint32_t(v & maskG) << 8 | std::uint32_t(v & maskB);
}

bool byteMasks(std::int32_t maskR, std::int32_t maskG, std::int32_t maskB) {
    return maskR >= 0 && maskR <= 255 && maskG >= 0 && maskG <= 255 && maskB >= 0 && maskB <= 255;
}

// The band the noise owns: rows 50 to H-51, as one run of pixels.
struct Band {
    explicit Band(const frame::View& view) {
        const std::int64_t w = view.width, h = view.height;
        begin = 50 * w;
        count = w * h - 50 * w - begin;
        if (count < 0) count = 0;
        first = view.pixels + begin;
    }
    std::int64_t begin;
    std::int64_t count;
    std::uint32_t* first;
};

}  // namespace

void fillNoise(Surface* surface, std::int32_t maskR, std::int32_t maskG, std::int32_t maskB) {
    const frame::View view(surface);
    const Band band(view);
    if (band.count == 0) return;
    const std::size_t count = std::size_t(band.count);
    const std::uint64_t* words = expand(noiseState, count);

    std::size_t n = 0;
    if (byteMasks(maskR, maskG, maskB)) {
        if (noisekernel::vectorAllowed && noisekernel::vectorAvailable()) {
            n = count & ~std::size_t(7);
            noisekernel::plainPixelsSse2(words, band.first, n, std::uint32_t(maskR), std::uint32_t(maskG),
                                         std::uint32_t(maskB));
        }
        for (; n + 32 <= count; n += 32) {
            // Bits 0..26 of v are the sequence from bit n + 32 on.
            const std::uint64_t window = bitWindow(words, n + 32, 64);
            for (int k = 0; k < 32; ++k) {
                const std::int32_t b = std::int32_t(window >> k & 0xFF);
                band.first[n + k] = maskedPixel(b, maskR, maskG, maskB);
            }
        }
    }
    for (; n < count; ++n) band.first[n] = maskedPixel(outputAt(words, n), maskR, maskG, maskB);
    noiseState = stateAfter(words, count);
}

void fillStreakNoise(Surface* surface, std::int32_t maskR, std::int32_t maskG, std::int32_t maskB,
                     std::int32_t threshold) {
    const frame::View view(surface);
    const Band band(view);
    if (band.count == 0) return;
    const std::size_t count = std::size_t(band.count);
    const std::size_t width = std::size_t(view.width);
    const std::uint64_t* words = expand(streakState, count);

    // The band starts at the first pixel of a row, so the column counter is
    // simply the position within the row.
    const bool vector = noisekernel::vectorAllowed && noisekernel::vectorAvailable() && byteMasks(maskR, maskG, maskB) && width % 8 == 0 &&
                        threshold >= -1000;
    const std::int32_t vectorThreshold = std::min(threshold, 45);  // n <= 45: beyond that d is 0 anyway
    for (std::size_t rowStart = 0; rowStart < count; rowStart += width) {
        const std::size_t rowLength = std::min(width, count - rowStart);
        const std::int32_t held = outputAt(words, rowStart) & 45;
        std::size_t k = 0;
        if (vector) {
            k = rowLength & ~std::size_t(7);
            noisekernel::streakPixelsSse2(words, rowStart, band.first + rowStart, k, held, vectorThreshold,
                                          std::uint32_t(maskR), std::uint32_t(maskG), std::uint32_t(maskB));
        }
        for (; k < rowLength; ++k) {
            const std::int32_t n = outputAt(words, rowStart + k) & 45;
            std::int64_t d = std::int64_t(n) - threshold;
            if (d < 0) d = 0;
            band.first[rowStart + k] = maskedPixel(std::int32_t(held + d), maskR, maskG, maskB);
        }
    }
    streakState = stateAfter(words, count);
}

void drawNoise(Surface* surface, std::int32_t maskR, std::int32_t maskG, std::int32_t maskB) {
    if (streakCues.fired()) {
        streakMode = true;
        streakTrack.start(demoTime());
    }
    if (streakMode)
        fillStreakNoise(surface, maskR, maskG, maskB, frame::truncToInt(streakTrack.valueAt(demoTime())));
    else
        fillNoise(surface, maskR, maskG, maskB);
}
