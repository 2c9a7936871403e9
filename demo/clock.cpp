#include "demo/clock.h"

#include "demo/commandline.h"
#include "platform/win32.h"
#include "source/processstate.h"

PROCESS_STATE(std::int32_t, syncStartTime, 0);
PROCESS_STATE(bool, syncStartMarked, false);
PROCESS_STATE(std::int32_t, frameMark, 0);
PROCESS_STATE(std::int32_t, frameDelta, 0);

namespace {

PROCESS_STATE(float, videoTime, 0.0f);

constexpr float reciprocalOf71 = 0.014084506779909134f;
constexpr float thousand = 1000.0f;

}  // namespace

std::int32_t demoTime() {
    if (!videoMode) return std::int32_t(GetTickCount());
    // Both products in double precision, truncated toward zero.
    const double ms = double(videoTime) * double(reciprocalOf71) * double(thousand);
    return std::int32_t(ms);
}

void setVideoTime(float time) { videoTime = time; }
float getVideoTime() { return videoTime; }

void markSyncStart() {
    if (syncStartMarked) return;
    syncStartTime = demoTime();
    syncStartMarked = true;
}

void updateFrameDelta() {
    frameDelta = msBetween(demoTime(), frameMark);
    frameMark = demoTime();
}
