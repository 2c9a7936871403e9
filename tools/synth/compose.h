// Helpers the composers share: chords by name, melodies written as text,
// sixteen-step patterns, and a Composer that places notes on a beat grid.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tools/synth/score.h"
#include "tools/synth/tempo.h"

namespace synth {

struct Chord {
    int root;                  // MIDI note for the bass
    std::array<int, 4> tones;  // the pad voicing, low to high
};

// "Am", "F", "Gm7", ... from the table in compose.cpp; throws on unknown names.
Chord chordNamed(const std::string& name);

// "C#5" -> 73, "Bb4" -> 70.
int noteNumber(const std::string& name);

// A melody written as "E5/4 A5/4 r/8 ...": note or r (rest), slash, length
// in sixteenths.
struct PhraseNote {
    int step;    // sixteenths from the phrase start
    int length;  // sixteenths
    int pitch;
};
std::vector<PhraseNote> parsePhrase(const std::string& text);

// A sixteen-step pattern such as "..x...x...x...x."; any character other
// than '.' is a hit and the character itself can carry meaning (accent,
// octave) for the voice that reads it.
inline char stepOf(const char* pattern, int step) { return pattern[step % 16]; }
inline bool hits(const char* pattern, int step) { return stepOf(pattern, step) != '.'; }

class Composer {
public:
    Composer(Score& score, const TempoMap& tempo) : score(score), tempo(tempo) {}

    double at(double beat) const { return tempo.seconds(beat); }
    // Adds a note starting at `beat`, held for `beats` beats.
    void play(Voice v, double beat, double beats, double pitch, double velocity, double pan = 0.0,
              double tone = 0.5);
    // Adds a note at an absolute time in seconds.
    void playAt(Voice v, double seconds, double length, double pitch, double velocity, double pan = 0.0,
                double tone = 0.5);
    // A chord's pad voicing, each tone shifted by `transpose`.
    void chord(Voice v, const Chord& c, double beat, double beats, double velocity, double tone,
               int transpose = 0);
    void chordAt(Voice v, const Chord& c, double seconds, double length, double velocity, double tone,
                 int transpose = 0);
    // A melody from parsePhrase, starting at `beat`, cut off at `endBeat`.
    void phrase(Voice v, const std::string& text, double beat, double endBeat, double velocity, double tone,
                int transpose = 0);

private:
    Score& score;
    const TempoMap& tempo;
};

}  // namespace synth
