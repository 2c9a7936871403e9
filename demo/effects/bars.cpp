#include "demo/effects/bars.h"

#include <limits>

#include "demo/clock.h"
#include "demo/demostate.h"
#include "demo/effects/frame.h"
#include "source/processstate.h"

// Built by drawBars(nullptr) at start-up; a reset leaves them unbuilt.
PROCESS_STATE(Bars, bars);
PROCESS_STATE(BarFlags, barActive);
PROCESS_STATE(std::uint32_t, barTriggerCount, 0);

namespace {

struct BarKey {
    std::int32_t time;
    float left, right, amount;
};

// Every key spans the full height: top 0, bottom 480.
struct BarShape {
    int keyCount;
    BarKey keys[3];
};

const BarShape barShapes[barCount] = {
    {3, {{0, 320, 320, 40}, {300, 310, 330, 10}, {500, 320, 320, 0}}},
    {2, {{0, 550, 550, 25}, {350, 540, 560, 0}}},
    {2, {{0, 50, 50, 70}, {300, 70, 120, 0}}},
    {2, {{0, 250, 250, 105}, {400, 550, 560, 0}}},
    {2, {{0, 120, 150, 30}, {400, 100, 140, 0}}},
    {3, {{0, 0, 0, 20}, {300, 0, 50, 10}, {600, 50, 50, 0}}},
    {2, {{0, 350, 350, 25}, {350, 340, 360, 0}}},
    {3, {{0, 180, 180, 20}, {100, 110, 130, 30}, {300, 160, 160, 120}}},
    {2, {{0, 590, 590, 25}, {600, 580, 610, 0}}},
    {3, {{0, 40, 40, 60}, {200, 20, 60, 10}, {400, 60, 60, 200}}},
    {3, {{0, 380, 420, 70}, {300, 410, 430, 10}, {500, 380, 380, 0}}},
    {2, {{0, 630, 630, 25}, {350, 305, 320, 0}}},
    {2, {{0, 70, 50, 80}, {500, 70, 100, 0}}},
    {2, {{0, 250, 250, 105}, {600, 50, 60, 0}}},
    {2, {{0, 120, 150, 200}, {550, 80, 140, 0}}},
    {3, {{0, 0, 0, 20}, {200, 0, 50, 10}, {500, 50, 50, 0}}},
    {2, {{0, 150, 150, 125}, {350, 140, 160, 0}}},
    {3, {{0, 380, 380, 20}, {100, 160, 180, 30}, {300, 160, 160, 80}}},
    {2, {{0, 590, 590, 25}, {450, 580, 610, 0}}},
    {3, {{0, 340, 340, 30}, {300, 20, 60, 10}, {400, 110, 110, 200}}},
};

// The glow in a margin pixel: its blue plus the level, low four bits, as red.
inline std::uint32_t glowPixel(std::uint32_t p, std::int32_t level) {
    std::int32_t v = std::int32_t(p & 0xFF) + level;
    if (v < 0) v = 0;
    return std::uint32_t(v & 0x0F) << 16;
}

void glowRows(const frame::View& view, std::int32_t rowBegin, std::int32_t rowEnd, std::int32_t x0,
              std::int32_t x1) {
    // Capped so blue + level cannot overflow; no track comes near it.
    const std::int32_t level = std::min(glowLevel, std::numeric_limits<std::int32_t>::max() - 255);
    for (std::int32_t r = rowBegin; r < rowEnd; ++r) {
        std::uint32_t* row = view.row(r);
        for (std::int32_t x = x0; x < x1; ++x) row[x] = glowPixel(row[x], level);
    }
}

}  // namespace

void Bar::addKey(float l, float t, float r, float b, float a, std::int32_t time) {
    left.addKey(time, l);
    top.addKey(time, t);
    right.addKey(time, r);
    bottom.addKey(time, b);
    amount.addKey(time, a);
}

void Bar::start() {
    const std::int32_t now = demoTime();
    left.start(now);
    top.start(now);
    right.start(now);
    bottom.start(now);
    amount.start(now);
}

void Bar::draw(Surface* surface) {
    if (left.keys.empty()) return;  // not built yet
    shadeBand(surface, float(left.valueAt(demoTime())), float(top.valueAt(demoTime())),
              float(right.valueAt(demoTime())), float(bottom.valueAt(demoTime())),
              frame::truncToInt(amount.valueAt(demoTime())));
}

void shadeBand(Surface* surface, float left, float top, float right, float bottom, std::int32_t amount) {
    if (!(left < right) || !(top < bottom) || amount == 0) return;
    amount = frame::safeAmount(amount);
    const frame::View view(surface);
    if (view.width == 0) return;

    const float lim = bottom - 50.0f;
    const std::int32_t x0 = frame::clampStart(frame::truncToInt(left), view.width);
    const std::int32_t x1 = frame::loopEnd(x0, right, view.width);
    if (x1 <= x0) return;

    // Darkening, rows 50 while r < bottom - 50.
    const std::int32_t darkBegin = std::min(std::int32_t(50), view.height);
    const std::int32_t darkEnd = frame::loopEnd(darkBegin, lim, view.height);
    for (std::int32_t r = darkBegin; r < darkEnd; ++r) {
        std::uint32_t* row = view.row(r);
        for (std::int32_t x = x0; x < x1; ++x) {
            const std::uint32_t p = row[x];
            std::int32_t blue = std::int32_t(p & 0xFF) - amount;
            std::int32_t green = std::int32_t(p >> 8 & 0xFF) - amount;
            std::int32_t red = std::int32_t(p >> 16) - amount;
            if (blue < 0) blue = 0;
            if (green < 0) green = 0;
            if (red < 0) red = 0;
            row[x] = std::uint32_t(red) << 16 | std::uint32_t(green) << 8 | std::uint32_t(blue);
        }
    }

    // Top margin, then bottom margin from trunc(bottom - 50) while r < bottom.
    glowRows(view, 0, std::min(std::int32_t(50), view.height), x0, x1);
    const std::int32_t glowBegin = frame::clampStart(frame::truncToInt(lim), view.height);
    glowRows(view, glowBegin, frame::loopEnd(glowBegin, bottom, view.height), x0, x1);
}

void drawBars(Surface* surface) {
    if (!surface) {
        for (int k = 0; k < barCount; ++k) {
            bars[k] = Bar();  // building twice must not double the keys
            const BarShape& shape = barShapes[k];
            for (int i = 0; i < shape.keyCount; ++i) {
                const BarKey& key = shape.keys[i];
                bars[k].addKey(key.left, 0.0f, key.right, 480.0f, key.amount, key.time);
            }
        }
        return;
    }
    if (barCues.fired()) {
        const std::uint32_t k = barTriggerCount % barCount;
        barActive[k] = true;
        bars[k].start();
        ++barTriggerCount;
    }
    for (int k = 0; k < barCount; ++k)
        if (barActive[k]) bars[k].draw(surface);
}

