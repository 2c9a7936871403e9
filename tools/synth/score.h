// A piece as data: which voice plays which note when. The composers fill a
// Score; the mix renders it. Times are in seconds from the start of the clip.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace synth {

enum class Voice {
    Kick,
    SoftKick,
    Clap,
    Snare,
    Rim,
    ClosedHat,
    OpenHat,
    Shaker,
    Crash,
    Riser,
    Snap,
    Bass,
    SubBass,
    Pad,
    SwellPad,
    Lead,
    Flute,
    Arp,
    Keys,
    Stab,
    Count
};
constexpr int voiceCount = int(Voice::Count);

struct Note {
    double start = 0.0;     // seconds
    double length = 0.0;    // seconds held (drums ignore it or use it as a decay scale)
    double pitch = 60.0;    // MIDI note number
    double velocity = 1.0;  // 0..1
    double pan = 0.0;       // -1 left .. +1 right
    double tone = 0.5;      // voice-specific brightness 0..1
};

struct Score {
    std::string title;
    double length = 0.0;       // seconds rendered
    double fadeStart = 0.0;    // master fade-out from here ...
    double fadeEnd = 0.0;      // ... to silence here (no fade when not after fadeStart)
    double echoSeconds = 0.3;  // echo time, usually a dotted eighth
    std::vector<double> kickTimes;   // the sidechain: bass and pads duck under these
    std::array<std::vector<Note>, voiceCount> parts;

    std::vector<Note>& part(Voice v) { return parts[std::size_t(v)]; }
    const std::vector<Note>& part(Voice v) const { return parts[std::size_t(v)]; }
    void add(Voice v, const Note& n) { part(v).push_back(n); }
};

// The main clip, composed to the demo's timeline.
Score composeMarrowin();
// The alternate clip: slower and calmer, in free time.
Score composeTidewrangler();

}  // namespace synth
