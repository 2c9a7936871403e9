// The bars: twenty short animations set off one after another by the beats.
// Each darkens a column band of the noise and recolours the same columns in
// the 50-row margins with the glow level of the main loop.
#pragma once

#include <array>
#include <cstdint>

#include "demo/timeline.h"

class Surface;

class Bar {
public:
    // One key at `time` (ms after the trigger) on each of the five tracks.
    void addKey(float left, float top, float right, float bottom, float amount, std::int32_t time);
    void start();                  // restarts all five tracks at now
    void draw(Surface* surface);   // the band at now

    Track left, top, right, bottom, amount;
};

constexpr int barCount = 20;
using Bars = std::array<Bar, barCount>;
using BarFlags = std::array<bool, barCount>;
extern Bars bars;
extern BarFlags barActive;
extern std::uint32_t barTriggerCount;

// Darkens [left, right) x rows 50..bottom-50 by amount per channel and writes
// the glow into the same columns of rows 0..49 and trunc(bottom-50)..bottom.
void shadeBand(Surface* surface, float left, float top, float right, float bottom, std::int32_t amount);

// A null surface builds the twenty bars; otherwise one frame of the effect.
void drawBars(Surface* surface);
