#include "demo/effects/curtain.h"

#include <cstring>

#include "demo/clock.h"
#include "demo/demostate.h"
#include "demo/effects/frame.h"
#include "demo/timeline.h"
#include "source/processstate.h"

PROCESS_STATE(float, curtainEdge, 320.0f);
PROCESS_STATE(bool, curtainOpening, false);
PROCESS_STATE(bool, curtainReopening, false);
PROCESS_STATE(float, letterboxHeight, 0.0f);
PROCESS_STATE(bool, letterboxRunning, false);

namespace {

// position + speed x frame delta, in double, stored as a float.
float advance(float position, const Track& speed) {
    return float(double(position) + speed.valueAt(demoTime()) * double(frameDelta));
}

}  // namespace

void fillBlack(Surface* target, float left, float top, float right, float bottom) {
    if (!(left < right) || !(top < bottom)) return;
    const frame::View view(target);
    if (view.width == 0) return;
    const std::int32_t l = std::clamp(frame::truncToInt(left), std::int32_t(0), view.width);
    const std::int32_t r = std::clamp(frame::truncToInt(right), std::int32_t(0), view.width);
    const std::int32_t t = std::clamp(frame::truncToInt(top), std::int32_t(0), view.height);
    const std::int32_t b = std::clamp(frame::truncToInt(bottom), std::int32_t(0), view.height);
    if (t >= b || l >= r) return;
    for (std::int32_t y = t; y < b; ++y) std::memset(view.row(y) + l, 0, sizeof(std::uint32_t) * std::size_t(r - l));
}

void drawCurtain() {
    if (curtainOpenCues.fired()) {
        if (!curtainOpening) curtainSpeedTrack.start(demoTime());
        curtainOpening = true;
    }
    if (curtainResetCues.fired()) {
        curtainReopening = true;
        curtainOpening = false;
        curtainEdge = 320.0f;
        curtainResetSpeedTrack.start(demoTime());
    }
    const frame::View view(surface);
    const float width = float(view.width), height = float(view.height);
    const float half = float(view.width / 2);
    fillBlack(surface, curtainEdge, 0.0f, width, height);
    // The left-hand rectangle mirrors the right-hand one about the centre.
    fillBlack(surface, 0.0f, 0.0f, float(double(half) - (double(curtainEdge) - double(half))), height);

    if (curtainOpening)
        curtainEdge = advance(curtainEdge, curtainSpeedTrack);
    else if (curtainReopening)
        curtainEdge = advance(curtainEdge, curtainResetSpeedTrack);
}

void drawLetterbox() {
    if (letterboxCues.fired()) {
        if (!letterboxRunning) letterboxSpeedTrack.start(demoTime());
        letterboxRunning = true;
    }
    const frame::View view(surface);
    const float width = float(view.width), height = float(view.height);
    fillBlack(surface, 0.0f, 0.0f, width, letterboxHeight);
    fillBlack(surface, 0.0f, float(double(height) - double(letterboxHeight)), width, height);
    if (letterboxRunning) letterboxHeight = advance(letterboxHeight, letterboxSpeedTrack);
}

