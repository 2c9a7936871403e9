// The square grid: nine 45x45 cells in a 3x3 grid around the centre, each
// shown or not; every grid cue flips one cell picked by a fixed rand-like
// generator. A shown cell recolours the noise under it into a wrapped grey.
// Once the title flash has begun the middle row is no longer drawn.
#pragma once

#include <array>
#include <cstdint>

class Surface;

using SquareFlags = std::array<bool, 9>;
extern SquareFlags squareOn;  // row-major, 0 = top left

// The generator with rand()'s interface and the classic constants, never
// seeded: state = state * 214013 + 2531011, result (state >> 16) & 0x7FFF.
std::int32_t gridRand();

// Each pixel of [left, right) x [top, bottom): v = max(red - amount, 0),
// grey (v - amount - 1) & 0xFF.
void invertSquare(Surface* surface, float left, float top, float right, float bottom, std::int32_t amount);

// A null surface only lays out the grid and takes a due cue; otherwise also draws.
void drawSquares(Surface* surface);
