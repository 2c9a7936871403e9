// The alternate clip: a slow, calm piece at 84 BPM in F major. Electric
// piano and pads, a half-time groove, a flute-like melody, a quiet ending.
#include <algorithm>
#include <string>

#include "tools/synth/compose.h"

namespace synth {
namespace {

constexpr double bpm = 84.0;
constexpr double firstBeat = 0.4;  // seconds of air before the first note
constexpr int barCount = 52;

const char* const progressionA[8] = {"Fmaj7", "Am7", "Dm7", "Bbmaj7", "Gm7", "C2", "Fmaj7", "C2"};
const char* const progressionB[8] = {"Dm7", "Bbmaj7", "F2", "C2", "Gm7", "Bb2", "Dm", "C2"};

const char* const melodyA =
    "A4/6 C5/2 E5/8  E5/4 D5/4 C5/8  D5/6 F5/2 A5/8  A5/4 G5/4 F5/4 D5/4 "
    "D5/8 Bb4/4 D5/4  C5/4 E5/4 G5/8  A5/6 G5/2 F5/4 E5/4  G5/12 r/4";
const char* const melodyB =
    "F5/8 E5/4 D5/4  D5/6 C5/2 Bb4/8  A4/4 C5/4 F5/8  E5/8 G5/8 "
    "G5/6 F5/2 D5/8  F5/4 D5/4 Bb4/8  A4/6 D5/2 F5/8  E5/16";

// The plan, one entry per 8-bar block (the last is shorter).
struct Block {
    const char* name;
    bool progressionB;
    bool drums;
    bool bass;
    const char* melody;  // nullptr for none
    double keys;         // electric piano level
};
const Block plan[] = {
    {"intro", false, false, false, nullptr, 0.5},  {"groove", false, true, true, nullptr, 0.55},
    {"verse", false, true, true, melodyA, 0.45},  {"answer", true, true, true, melodyB, 0.45},
    {"verse", false, true, true, melodyA, 0.45},  {"still", true, false, true, nullptr, 0.6},
    {"outro", false, false, false, melodyA, 0.4},
};

}  // namespace

Score composeTidewrangler() {
    const TempoMap tempo = TempoMap::steady(bpm, firstBeat, barCount * 4 + 1);
    Score score;
    score.title = "kov-tidewrangler(clip)";
    score.length = 155.0;
    score.fadeStart = 146.0;
    score.fadeEnd = 153.0;
    score.echoSeconds = 0.75 * 60.0 / bpm;
    Composer c(score, tempo);

    for (int bar = 0; bar < barCount; ++bar) {
        const Block& block = plan[std::min<std::size_t>(std::size_t(bar / 8), std::size(plan) - 1)];
        const int inBlock = bar % 8;
        const Chord chord = chordNamed((block.progressionB ? progressionB : progressionA)[inBlock]);
        const double b = bar * 4.0;

        c.chord(Voice::Pad, chord, b, 4.0, 0.5, 0.2);
        if (inBlock == 0 && bar > 0) c.play(Voice::Crash, b, 3.0, 0, 0.25);

        // Electric piano: a broken chord in the intro and the still block,
        // an off-beat comp elsewhere.
        if (!block.drums) {
            const char* order = "0123";
            for (int k = 0; k < 8; ++k)
                c.play(Voice::Keys, b + k * 0.5, 0.9, chord.tones[std::size_t(order[k % 4] - '0')] + 12 * (k / 4),
                       block.keys * (k % 4 == 0 ? 1.0 : 0.75), k % 2 ? 0.3 : -0.3, 0.4);
        } else {
            for (double at : {0.0, 1.5, 2.5})
                c.chord(Voice::Keys, chord, b + at, at == 0.0 ? 1.4 : 0.9, block.keys * 0.6, 0.35, 12);
        }

        if (block.bass) {
            c.play(Voice::SubBass, b, 2.6, chord.root, 0.8, 0.0, 0.5);
            c.play(Voice::SubBass, b + 2.75, 1.1, chord.root + (inBlock % 2 ? 7 : 12), 0.6, 0.0, 0.5);
        }
        if (block.drums) {
            // Half time: kick on one and the "and" of three, rim on three.
            c.play(Voice::SoftKick, b, 0.5, 0, 0.9);
            c.play(Voice::SoftKick, b + 2.5, 0.5, 0, 0.6);
            if (inBlock == 7) c.play(Voice::SoftKick, b + 3.5, 0.5, 0, 0.5);
            c.play(Voice::Rim, b + 2.0, 0.1, 0, 0.7, -0.2);
            for (int k = 0; k < 8; ++k)
                c.play(Voice::Shaker, b + k * 0.5, 0.1, 0, k % 2 ? 0.55 : 0.3, 0.35);
            if (inBlock % 4 == 3) c.play(Voice::OpenHat, b + 3.5, 0.3, 0, 0.3, 0.3, 0.2);
        }
        if (block.melody && inBlock == 0) c.phrase(Voice::Flute, block.melody, b, std::min(b + 32.0, barCount * 4.0), 0.6, 0.5);
    }
    // The last chord rings into the fade.
    c.chord(Voice::SwellPad, chordNamed("Fmaj7"), barCount * 4.0, 6.0, 0.5, 0.3);
    c.play(Voice::SubBass, barCount * 4.0, 5.0, 41, 0.5);
    return score;
}

}  // namespace synth
