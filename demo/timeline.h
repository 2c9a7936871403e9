// The choreography as data: keyframe tracks and cue lists.
//
//   Track     piecewise-linear curve over ms since its last start().
//   CueList   cue times in ms after the music started; fired() consumes at
//             most one due entry per call, so a backlog drains one per call.
//
// buildCueLists() and buildTracks() (re)create the seventeen instances below
// from the constants of the demo, in that order.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct TrackKey {
    std::int32_t time;
    float value;
};

class Track {
public:
    // Appends the key; the first key's time is always forced to 0.
    void addKey(std::int32_t time, float value);
    void start(std::int32_t now) { startTime = now; }
    // Value at now - startTime, in double precision (callers store a float).
    double valueAt(std::int32_t now) const;
    // Index of the last key at or before t (0 before the first key).
    int findSegment(std::int32_t t) const;

    std::int32_t startTime = 0;
    std::vector<TrackKey> keys;
};

class CueList {
public:
    CueList() : entries{-1} {}
    // Copies the values before the -1 terminator, then appends -1.
    explicit CueList(const std::int32_t* terminated);

    bool fired();          // true, consuming one entry, if the next is due
    bool finished() const;

    std::vector<std::int32_t> entries;
    std::int32_t index = 0;
};

extern CueList titleCues;
extern CueList curtainOpenCues;
extern CueList letterboxCues;
extern CueList barCues;
extern CueList gridCues;
extern CueList curtainResetCues;
extern CueList streakCues;
extern CueList flashCues;

extern Track curtainSpeedTrack;
extern Track letterboxSpeedTrack;
extern Track curtainResetSpeedTrack;
using TitleFades = std::array<Track, 3>;
extern TitleFades titleFadeTracks;
extern Track streakTrack;
extern Track glowTrack;
extern Track flashTrack;

void buildCueLists();
void buildTracks();
