#include "demo/clock.h"

#include "demo/commandline.h"
#include "platform/win32.h"
#include "source/processstate.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

// demoTime as seen by each of the first `count` frames of a video render
// from a fresh clock: after each frame the hand-off stores 71 / rate *
// counter (formed in double, stored as float), then counts.
std::vector<std::int32_t> videoFrameTimes(float rate, int count) {
    resetProcessState();
    videoMode = true;
    videoFrameRate = rate;
    std::vector<std::int32_t> seen;
    for (float counter = 0.0f; counter < float(count); counter += 1.0f) {
        seen.push_back(demoTime());
        setVideoTime(float(71.0 / double(videoFrameRate) * double(counter)));
    }
    return seen;
}

TEST(Clock, VideoModeTimesTruncateTowardZero) {
    EXPECT_EQ(videoFrameTimes(40.0f, 12), (std::vector<std::int32_t>{0, 0, 24, 49, 74, 99, 124, 149, 174, 199, 225, 249}));
    EXPECT_EQ(videoFrameTimes(25.0f, 4), (std::vector<std::int32_t>{0, 0, 39, 79}));
    setVideoTime(10792.0f);  // 152 s
    EXPECT_EQ(demoTime(), 151999);
    setVideoTime(-71.0f);
    EXPECT_EQ(demoTime(), -999) << "toward zero, not down";
}

TEST(Clock, RealTimeFollowsTheSystemTick) {
    videoMode = false;
    setVideoTime(5000.0f);  // ignored in real time
    const DWORD before = GetTickCount();
    const std::int32_t now = demoTime();
    EXPECT_LE(std::uint32_t(now) - before, GetTickCount() - before);
}

TEST(Clock, SyncStartIsMarkedOnceAndFrameDeltaWraps) {
    resetProcessState();
    videoMode = true;
    setVideoTime(71.0f);
    markSyncStart();
    updateFrameDelta();
    EXPECT_EQ(frameDelta, 999);
    EXPECT_EQ(frameMark, 999);
    setVideoTime(710.0f);
    markSyncStart();
    EXPECT_TRUE(syncStartMarked);
    EXPECT_EQ(syncStartTime, 999);
    // A mark taken just before the tick wrapped at 2^32.
    frameMark = -5;
    setVideoTime(0.0f);
    updateFrameDelta();
    EXPECT_EQ(frameDelta, 5);
    // 0 - INT_MIN does not fit: it wraps instead of overflowing.
    frameMark = INT_MIN;
    updateFrameDelta();
    EXPECT_EQ(frameDelta, INT_MIN);
}

}  // namespace
