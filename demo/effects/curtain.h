// The black masks over the finished picture.
//
// Curtain: two black rectangles meeting at column 320; they open outward on
// the first curtain cue, decelerating, and twice later snap shut and reopen.
// Letterbox: two black bands from top and bottom, growing at a constant
// speed from the letterbox cue on. Both draw first and then advance, so a
// frame shows the position reached at the end of the previous frame.
#pragma once

#include <cstdint>

class Surface;

extern float curtainEdge;      // first column of the right-hand rectangle
extern bool curtainOpening;
extern bool curtainReopening;
extern float letterboxHeight;  // rows of each band
extern bool letterboxRunning;

// Sets [trunc(left), trunc(right)) x [trunc(top), trunc(bottom)) to 0.
void fillBlack(Surface* surface, float left, float top, float right, float bottom);

// Per frame, on the process-wide surface, using the frame delta.
void drawCurtain();
void drawLetterbox();
