// The noise field: rows 50 to H-51 rewritten every frame from a 31-bit
// shift register, one register step per pixel; streaked from 74 s on.
//
// One register step (state s, output v):
//     t = s ^ (s >> 3);   s = ((t & 1) << 30) | (s >> 1);   v = t >> 1
// The register is linear, so the fills compute whole runs of steps at once;
// the result is identical to stepping it one pixel at a time.
#pragma once

#include <cstdint>

class Surface;

extern std::int32_t noiseState;   // register of the plain noise, 1638 at start
extern std::int32_t streakState;  // register of the streaked noise, 1638 at start
extern bool streakMode;           // set once the streak cue has fired

// One step of a register, exactly as defined above; returns v.
inline std::int32_t noiseStep(std::int32_t& state) {
    const std::int32_t t = state ^ (state >> 3);
    state = ((t & 1) << 30) | (state >> 1);
    return t >> 1;
}

// Per frame: plain noise until the streak cue, streaked noise after it.
void drawNoise(Surface* surface, std::int32_t maskR, std::int32_t maskG, std::int32_t maskB);

// Each pixel: (v & maskR) << 16 | (v & maskG) << 8 | (v & maskB).
void fillNoise(Surface* surface, std::int32_t maskR, std::int32_t maskG, std::int32_t maskB);

// Each pixel: n = v & 45; the row holds h = n of its first pixel;
// d = max(n - threshold, 0); written as (h + d) masked like fillNoise.
void fillStreakNoise(Surface* surface, std::int32_t maskR, std::int32_t maskG, std::int32_t maskB,
                     std::int32_t threshold);
