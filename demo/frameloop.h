// The frame loop of a run, shared by the real-time demo, the video mode and
// the headless renderer:
//
//   while (framePass()) {                          // draw, flash, glow, present
//       if (videoMode && !videoHandOff(frame24, addFrame)) break;
//   }
//
// framePass draws one frame on the process-wide surface in the fixed order
// (noise, bars, titles, squares, curtain, letterbox), then after 48 s starts
// the glow and flashes the middle title, stores the glow level and presents
// the frame through the window when there is one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

constexpr std::size_t frame24Size = 640 * 480 * 3;

extern float videoFrameCount;  // frames handed on in video mode

// In real time a stop signal (SIGINT, SIGTERM) ends the run here as the
// window's close request does: display restored, exit code 0. Video mode
// leaves it to the frame loop, which completes the file.
void endOnStopSignal();

// One pass of the loop. False when the loop must end; that frame is then
// neither presented nor recorded.
bool framePass();

// The 24-bit copy of a 640x480 frame: blue, green, red of each pixel, top row
// first, rows 1920 bytes apart (921600 bytes).
void copyFrame24(const void* pixels, unsigned char* frame24);

// The video-mode steps after a pass: copy the frame into frame24, advance the
// frame-derived clock, hand the frame on with its progress in percent, count
// it. False (before handing on) when the clock reaches its limit.
bool videoHandOff(unsigned char* frame24, const std::function<void(int progress)>& addFrame);
