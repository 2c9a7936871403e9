#include "demo/timeline.h"

#include "demo/clock.h"
#include "demo/commandline.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

Track trackOf(std::initializer_list<TrackKey> keys) {
    Track track;
    for (const TrackKey& key : keys) track.addKey(key.time, key.value);
    return track;
}

TEST(Track, FirstKeyIsForcedToTimeZero) {
    Track track;
    track.addKey(500, 1.0f);
    EXPECT_EQ(track.keys[0].time, 0);
    track.addKey(900, 3.0f);
    EXPECT_EQ(track.keys[0].time, 0);
    EXPECT_EQ(track.keys[1].time, 900);
    EXPECT_DOUBLE_EQ(track.valueAt(450), 2.0);
}

TEST(Track, SegmentIsTheLastKeyAtOrBeforeT) {
    const Track track = trackOf({{0, 0}, {100, 1}, {100, 2}, {300, 3}});
    EXPECT_EQ(track.findSegment(-50), 0);
    EXPECT_EQ(track.findSegment(0), 0);
    EXPECT_EQ(track.findSegment(99), 0);
    EXPECT_EQ(track.findSegment(100), 2) << "the last of equal times";
    EXPECT_EQ(track.findSegment(299), 2);
    EXPECT_EQ(track.findSegment(300), 3);
    EXPECT_EQ(track.findSegment(INT_MAX), 3);
    EXPECT_DOUBLE_EQ(track.valueAt(100), 2.0) << "a key's own time gives its value";
}

TEST(Track, ValuesOfTheDemoTracks) {
    buildTracks();
    for (std::int32_t t : {INT_MIN, -1, 0, 1000, INT_MAX}) EXPECT_FLOAT_EQ(float(letterboxSpeedTrack.valueAt(t)), 0.02f);

    flashTrack.start(10000);
    EXPECT_FLOAT_EQ(float(flashTrack.valueAt(10000)), 0.25f);
    EXPECT_FLOAT_EQ(float(flashTrack.valueAt(10750)), 0.125f);
    EXPECT_FLOAT_EQ(float(flashTrack.valueAt(11500)), 0.0f);
    EXPECT_FLOAT_EQ(float(flashTrack.valueAt(99999)), 0.0f);
    // Before its start the first segment is extrapolated, not clamped.
    EXPECT_FLOAT_EQ(float(flashTrack.valueAt(9250)), 0.375f);

    glowTrack.start(-3000);
    EXPECT_DOUBLE_EQ(glowTrack.valueAt(3500), 20.0 + (-155.0 / 5000.0) * 2500.0);
    EXPECT_FLOAT_EQ(float(glowTrack.valueAt(3500)), -57.5f);
    EXPECT_FLOAT_EQ(float(glowTrack.valueAt(30000)), -55.0f);

    // Restarting measures from the new start.
    flashTrack.start(20000);
    EXPECT_FLOAT_EQ(float(flashTrack.valueAt(20750)), 0.125f);

    EXPECT_EQ(curtainSpeedTrack.keys.size(), 5u);
    EXPECT_EQ(streakTrack.keys.back().time, 25000);
    EXPECT_FLOAT_EQ(titleFadeTracks[2].keys[2].value, 0.3f);
}

TEST(Track, TimeSinceStartSurvivesTheTickWrap) {
    Track track = trackOf({{0, 0.0f}, {1000, 10.0f}});
    track.start(INT_MAX - 99);       // started just before the wrap
    EXPECT_DOUBLE_EQ(track.valueAt(INT_MIN + 400), 5.0);  // 500 ms later
}

class Cues : public testing::Test {
protected:
    // Video mode with the frame time at 0: demoTime reads 0 and the elapsed
    // time since the music started is -syncStartTime.
    void SetUp() override {
        resetClock();
        videoMode = true;
        buildCueLists();
    }
    void TearDown() override {
        resetClock();
        videoMode = false;
    }
    static void at(std::int32_t elapsed) { syncStartTime = -elapsed; }
};

TEST_F(Cues, OneEntryPerCallHoweverManyAreDue) {
    at(790);
    EXPECT_FALSE(titleCues.fired());
    at(791);
    EXPECT_TRUE(titleCues.fired());
    EXPECT_FALSE(titleCues.fired());
    at(20000);
    EXPECT_TRUE(titleCues.fired());
    EXPECT_TRUE(titleCues.fired());
    EXPECT_TRUE(titleCues.fired());
    EXPECT_FALSE(titleCues.fired()) << "24745 is not due yet";
    EXPECT_FALSE(titleCues.finished());
    at(30000);
    EXPECT_TRUE(titleCues.fired());
    EXPECT_TRUE(titleCues.finished());
    at(INT_MAX);
    EXPECT_FALSE(titleCues.fired());
    EXPECT_TRUE(titleCues.finished());
}

TEST_F(Cues, ListsHoldTheirData) {
    EXPECT_EQ(gridCues.entries.size(), 326u);
    EXPECT_EQ(gridCues.entries.front(), 24755);
    EXPECT_EQ(gridCues.entries[144], 8055);
    EXPECT_EQ(gridCues.entries[324], 148613);
    EXPECT_EQ(gridCues.entries.back(), -1);
    ASSERT_EQ(barCues.entries.size(), 294u);
    EXPECT_TRUE(std::equal(barCues.entries.begin(), barCues.entries.end(), gridCues.entries.begin() + 32));
    EXPECT_EQ(flashCues.entries.size(), 28u);
    EXPECT_EQ(flashCues.entries.front(), 100624);
    EXPECT_EQ(flashCues.entries[26], 144768);
    EXPECT_EQ(titleCues.entries, curtainOpenCues.entries);
    EXPECT_EQ(letterboxCues.entries, (std::vector<std::int32_t>{136500, -1}));
    EXPECT_EQ(curtainResetCues.entries, (std::vector<std::int32_t>{110750, 135750, -1}));
    EXPECT_EQ(streakCues.entries, (std::vector<std::int32_t>{74000, -1}));
    // Apart from entry 145 the beats rise.
    for (std::size_t i = 1; i < 325; ++i) {
        if (i == 144 || i == 145) continue;
        EXPECT_LT(gridCues.entries[i - 1], gridCues.entries[i]) << i;
    }
}

TEST_F(Cues, OutOfOrderBeatFiresRightAfterItsPredecessor) {
    gridCues.index = 143;  // next: 79664, then 8055, then 80385
    at(79663);
    EXPECT_FALSE(gridCues.fired());
    at(79664);
    EXPECT_TRUE(gridCues.fired());
    EXPECT_TRUE(gridCues.fired()) << "8055 is long overdue";
    EXPECT_FALSE(gridCues.fired());
    at(80385);
    EXPECT_TRUE(gridCues.fired());
}

TEST_F(Cues, RebuildingStartsTheListsOver) {
    at(200000);
    while (gridCues.fired()) {
    }
    EXPECT_TRUE(gridCues.finished());
    buildCueLists();
    EXPECT_EQ(gridCues.index, 0);
    EXPECT_FALSE(gridCues.finished());
}

TEST(CueList, CopiesUpToTheTerminator) {
    const std::int32_t data[] = {5, 0, 7, -1, 99};
    CueList list(data);
    EXPECT_EQ(list.entries, (std::vector<std::int32_t>{5, 0, 7, -1}));
    const std::int32_t empty[] = {-1};
    EXPECT_TRUE(CueList(empty).finished());
    EXPECT_TRUE(CueList().finished());
}

}  // namespace
