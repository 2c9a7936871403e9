#include "demo/effects/squares.h"

#include "demo/demostate.h"
#include "demo/effects/frame.h"
#include "demo/timeline.h"
#include "source/processstate.h"

PROCESS_STATE(SquareFlags, squareOn);

namespace {

constexpr std::int32_t gridSpacing = 50;
constexpr std::int32_t squareSize = 45;
constexpr std::int32_t centreX = 320, centreY = 240;

using Positions = std::array<std::int32_t, 3>;
PROCESS_STATE(std::uint32_t, randState, 1);
PROCESS_STATE(bool, laidOut, false);
PROCESS_STATE(Positions, columns);
PROCESS_STATE(Positions, rows);

void layOut(std::int32_t centre, std::int32_t positions[3]) {
    positions[0] = frame::truncToInt(double(centre) - 1.5 * gridSpacing);
    positions[1] = centre - gridSpacing / 2;
    positions[2] = frame::truncToInt(0.5 * gridSpacing + double(centre));
}

}  // namespace

std::int32_t gridRand() {
    randState = randState * 214013u + 2531011u;
    return std::int32_t(randState >> 16 & 0x7FFF);
}

void invertSquare(Surface* surface, float left, float top, float right, float bottom, std::int32_t amount) {
    if (!(left < right) || !(top < bottom) || amount == 0) return;
    amount = frame::safeAmount(amount);
    const frame::View view(surface);
    if (view.width == 0) return;
    const std::int32_t x0 = frame::clampStart(frame::truncToInt(left), view.width);
    const std::int32_t x1 = frame::loopEnd(x0, right, view.width);
    const std::int32_t y0 = frame::clampStart(frame::truncToInt(top), view.height);
    const std::int32_t y1 = frame::loopEnd(y0, bottom, view.height);
    for (std::int32_t r = y0; r < y1; ++r) {
        std::uint32_t* row = view.row(r);
        for (std::int32_t x = x0; x < x1; ++x) {
            std::int32_t v = std::int32_t(row[x] >> 16) - amount;
            if (v < 0) v = 0;
            const std::uint32_t g = (std::uint32_t(v) - std::uint32_t(amount) - 1u) & 0xFF;
            row[x] = g << 16 | g << 8 | g;
        }
    }
}

void drawSquares(Surface* target) {
    if (!laidOut) {
        layOut(centreX, columns.data());
        layOut(centreY, rows.data());
        laidOut = true;
    }
    if (gridCues.fired()) {
        const std::int32_t i = gridRand() % 9;
        squareOn[i] = !squareOn[i];
    }
    if (!target) return;

    // Cells are counted over drawn rows only: with the middle row hidden the
    // bottom row shows the middle row's flags.
    int cell = 0;
    for (int row = 0; row < 3; ++row) {
        if (flashStarted && row == 1) continue;
        for (int column = 0; column < 3; ++column) {
            if (squareOn[cell]) {
                const std::int32_t x = columns[column], y = rows[row];
                invertSquare(target, float(x), float(y), float(x + squareSize), float(y + squareSize), 10);
            }
            ++cell;
        }
    }
}

