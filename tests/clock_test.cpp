#include "demo/clock.h"

#include "demo/commandline.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

class Clock : public testing::Test {
protected:
    void SetUp() override { resetClock(); }
    void TearDown() override {
        resetClock();
        videoMode = false;
        videoFrameRate = 40.0f;
    }

    // demoTime as seen by each of the first `count` frames of a video render:
    // after each frame the hand-off stores 71 / rate * counter (formed in
    // double, stored as float), then counts.
    static std::vector<std::int32_t> videoFrameTimes(float rate, int count) {
        videoMode = true;
        videoFrameRate = rate;
        std::vector<std::int32_t> seen;
        float counter = 0.0f;
        for (int frame = 0; frame < count; ++frame) {
            seen.push_back(demoTime());
            setVideoTime(float(71.0 / double(videoFrameRate) * double(counter)));
            counter += 1.0f;
        }
        return seen;
    }
};

TEST_F(Clock, VideoModeAtFortyFramesPerSecond) {
    const std::vector<std::int32_t> expected = {0, 0, 24, 49, 74, 99, 124, 149, 174, 199, 225, 249};
    EXPECT_EQ(videoFrameTimes(40.0f, 12), expected);
}

TEST_F(Clock, VideoModeAtTwentyFiveFramesPerSecond) {
    const std::vector<std::int32_t> seen = videoFrameTimes(25.0f, 4);
    EXPECT_EQ(seen[1], 0);
    EXPECT_EQ(seen[2], 39);
    EXPECT_EQ(seen[3], 79);
}

TEST_F(Clock, VideoTimeConvertsToMillisecondsByTruncation) {
    videoMode = true;
    setVideoTime(10792.0f);  // 152 s
    EXPECT_EQ(demoTime(), 151999);
    setVideoTime(-71.0f);
    EXPECT_EQ(demoTime(), -999) << "toward zero, not down";
    EXPECT_EQ(getVideoTime(), -71.0f);
}

TEST_F(Clock, RealTimeFollowsTheSystemTick) {
    videoMode = false;
    setVideoTime(5000.0f);  // ignored in real time
    const DWORD before = GetTickCount();
    const std::int32_t now = demoTime();
    const DWORD after = GetTickCount();
    EXPECT_LE(std::uint32_t(now) - before, after - before);
}

TEST_F(Clock, SyncStartIsMarkedOnce) {
    videoMode = true;
    setVideoTime(71.0f);
    markSyncStart();
    EXPECT_TRUE(syncStartMarked);
    EXPECT_EQ(syncStartTime, 999);
    setVideoTime(710.0f);
    markSyncStart();
    EXPECT_EQ(syncStartTime, 999);
}

TEST_F(Clock, FrameDeltaMeasuresFromTheLastMark) {
    videoMode = true;
    setVideoTime(0.0f);
    updateFrameDelta();
    setVideoTime(71.0f);
    updateFrameDelta();
    EXPECT_EQ(frameDelta, 999);
    EXPECT_EQ(frameMark, 999);
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
