// The demo clock: one millisecond reading that every timed decision uses.
//
// Real time: the system tick. Video mode: derived from the frames rendered,
// so an offline render sees the same times as real time at its frame rate.
// Only differences of readings mean anything (32-bit signed subtraction).
#pragma once

#include <cstdint>

extern std::int32_t syncStartTime;  // demo time at which the music started
extern bool syncStartMarked;
extern std::int32_t frameMark;      // demo time of the last frame mark
extern std::int32_t frameDelta;     // ms between the last two frame marks

std::int32_t demoTime();

// later - earlier as 32-bit signed arithmetic that wraps with the tick
// instead of overflowing.
constexpr std::int32_t msBetween(std::int32_t later, std::int32_t earlier) {
    return std::int32_t(std::uint32_t(later) - std::uint32_t(earlier));
}

// Frame-derived time, in units of 1/71 s (video mode only).
void setVideoTime(float time);
float getVideoTime();

// Marks the origin of all cue times; only the first call counts.
void markSyncStart();

// frameDelta = now - frameMark, then frameMark = a fresh reading.
void updateFrameDelta();
