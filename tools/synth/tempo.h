// Maps musical beats to seconds. The main clip's beats are the demo's beat
// cues, which wander by tens of milliseconds around ~157 BPM; every voice
// follows the same warped grid so the groove stays tight to the kicks.
#pragma once

#include <vector>

namespace synth {

class TempoMap {
public:
    // Beat i falls at beatSeconds[i] (ascending, at least two entries).
    explicit TempoMap(std::vector<double> beatSeconds);
    static TempoMap steady(double bpm, double firstBeatSeconds, int beats);

    // Time of a (fractional) beat: linear between the listed beats, at the
    // average beat length before the first and after the last.
    double seconds(double beat) const;
    // Length in seconds of the beat that contains `beat`.
    double beatLength(double beat) const;
    // The inverse of seconds(): the fractional beat at a time.
    double beatAt(double seconds) const;

private:
    std::vector<double> times;
    double average;
};

}  // namespace synth
