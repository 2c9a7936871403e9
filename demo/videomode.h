// Checks of video mode that must pass before the AVI writer is created.
#pragma once

// A frame rate the AVI writer can use: 1 to 1000 frames per second.
bool videoFrameRateValid(float rate);

// The text of the box that refuses a frame rate.
const char* badFrameRateText(float rate);

// In video mode, refuses a frame rate outside 1..1000 with an "Error!" box
// that says how the rate was read, and ends the process with exit code 1.
// Nothing has been created by then. Does nothing when the rate is valid.
void checkVideoFrameRate(float rate);

// The frames a whole render has at the rate: frames 0 and 1 are both drawn
// at time 0, then one every 1/rate s until the pass past 152 s.
int videoFrameTotal(int rate);
