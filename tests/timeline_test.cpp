#include "demo/timeline.h"

#include "demo/clock.h"
#include "demo/commandline.h"
#include "source/processstate.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(Track, FirstKeyIsForcedToTimeZeroAndEqualTimesTakeTheLast) {
    Track track;
    for (const TrackKey& key : {TrackKey{500, 0}, TrackKey{100, 1}, TrackKey{100, 2}, TrackKey{300, 3}})
        track.addKey(key.time, key.value);
    EXPECT_EQ(track.keys[0].time, 0);
    const std::pair<std::int32_t, int> segments[] = {{-50, 0}, {0, 0}, {99, 0}, {100, 2}, {299, 2}, {300, 3}, {INT_MAX, 3}};
    for (const auto& [t, segment] : segments) EXPECT_EQ(track.findSegment(t), segment) << t;
    EXPECT_DOUBLE_EQ(track.valueAt(50), 0.5);
    EXPECT_DOUBLE_EQ(track.valueAt(100), 2.0) << "a key's own time gives its value";
}

TEST(Track, DemoTracksInterpolateFromTheirStart) {
    buildTracks();
    for (std::int32_t t : {INT_MIN, -1, 0, 1000, INT_MAX}) EXPECT_FLOAT_EQ(float(letterboxSpeedTrack.valueAt(t)), 0.02f);
    flashTrack.start(10000);
    EXPECT_FLOAT_EQ(float(flashTrack.valueAt(10750)), 0.125f);
    EXPECT_FLOAT_EQ(float(flashTrack.valueAt(99999)), 0.0f);
    EXPECT_FLOAT_EQ(float(flashTrack.valueAt(9250)), 0.375f) << "before its start the first segment is extrapolated";
    flashTrack.start(20000);
    EXPECT_FLOAT_EQ(float(flashTrack.valueAt(20750)), 0.125f) << "a restart measures from the new start";
    glowTrack.start(-3000);
    EXPECT_DOUBLE_EQ(glowTrack.valueAt(3500), 20.0 + (-155.0 / 5000.0) * 2500.0);
    // Started just before the tick wrapped at 2^32, read 750 ms later.
    flashTrack.start(INT_MAX - 99);
    EXPECT_FLOAT_EQ(float(flashTrack.valueAt(INT_MIN + 650)), 0.125f);
}

class Cues : public testing::Test {
protected:
    // Video mode with the frame time at 0: demoTime reads 0, so the elapsed
    // time since the music started is -syncStartTime.
    void SetUp() override {
        resetProcessState();
        videoMode = true;
        buildCueLists();
    }
    // How many entries of the list fire, one per call, at this elapsed time.
    static int firedAt(std::int32_t elapsed, CueList& list) {
        syncStartTime = -elapsed;
        int n = 0;
        while (list.fired()) ++n;
        return n;
    }
};

TEST_F(Cues, OneEntryPerCallAndTheOutOfOrderBeatFiresRightAfterItsPredecessor) {
    // Title cues: 791, 6990, 13179, 19328, 24745.
    for (auto [elapsed, count] : {std::pair{790, 0}, std::pair{791, 1}, std::pair{20000, 3}, std::pair{INT_MAX, 1}})
        EXPECT_EQ(firedAt(elapsed, titleCues), count) << elapsed;
    EXPECT_TRUE(titleCues.finished());
    buildCueLists();
    EXPECT_FALSE(titleCues.finished()) << "rebuilding starts the lists over";
    gridCues.index = 143;  // next: 79664, then 8055, then 80385
    for (auto [elapsed, count] : {std::pair{79663, 0}, std::pair{79664, 2}, std::pair{80385, 1}})
        EXPECT_EQ(firedAt(elapsed, gridCues), count) << elapsed;
}

TEST_F(Cues, ListsHoldTheirData) {
    ASSERT_EQ(gridCues.entries.size(), 326u);
    EXPECT_EQ(gridCues.entries[144], 8055);
    ASSERT_EQ(barCues.entries.size(), 294u);
    EXPECT_TRUE(std::equal(barCues.entries.begin(), barCues.entries.end(), gridCues.entries.begin() + 32));
    EXPECT_EQ(titleCues.entries, curtainOpenCues.entries);
    // Apart from entry 145 the beats rise.
    for (std::size_t i = 1; i < 325; ++i)
        EXPECT_TRUE(i == 144 || i == 145 || gridCues.entries[i - 1] < gridCues.entries[i]) << i;
    for (CueList* list : {&gridCues, &flashCues, &titleCues, &letterboxCues, &curtainResetCues, &streakCues})
        EXPECT_EQ(list->entries.back(), -1);
}

}  // namespace
