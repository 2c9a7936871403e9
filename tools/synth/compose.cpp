#include "tools/synth/compose.h"

#include <algorithm>
#include <map>
#include <sstream>
#include <stdexcept>

namespace synth {

Chord chordNamed(const std::string& name) {
    // Voicings kept within about an octave around middle C so that chord
    // changes move by small steps.
    static const std::map<std::string, Chord> chords = {
        {"Am", {33, {57, 60, 64, 69}}},     {"Am9", {33, {57, 60, 64, 71}}},
        {"Am7", {45, {55, 57, 60, 64}}},    {"F", {29, {57, 60, 65, 69}}},
        {"Fmaj7", {41, {53, 57, 60, 64}}},  {"C", {36, {55, 60, 64, 67}}},
        {"G", {31, {55, 59, 62, 67}}},      {"Dm", {38, {57, 62, 65, 69}}},
        {"Dm7", {38, {53, 57, 60, 62}}},    {"E", {28, {56, 59, 64, 68}}},
        {"Esus4", {28, {57, 59, 64, 69}}},  {"Em", {28, {55, 59, 64, 67}}},
        {"Bb", {34, {58, 62, 65, 70}}},     {"Bbmaj7", {46, {53, 57, 58, 62}}},
        {"Gm7", {43, {53, 55, 58, 62}}},    {"C2", {48, {55, 60, 64, 67}}},
        {"F2", {41, {57, 60, 65, 69}}},     {"Bb2", {46, {58, 62, 65, 70}}},
    };
    const auto it = chords.find(name);
    if (it == chords.end()) throw std::invalid_argument("unknown chord " + name);
    return it->second;
}

int noteNumber(const std::string& name) {
    static const int semitone[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (name.size() < 2 || name[0] < 'A' || name[0] > 'G') throw std::invalid_argument("bad note " + name);
    int n = semitone[name[0] - 'A'];
    std::size_t i = 1;
    if (name[i] == '#') ++n, ++i;
    else if (name[i] == 'b') --n, ++i;
    if (i + 1 != name.size() || name[i] < '0' || name[i] > '9') throw std::invalid_argument("bad note " + name);
    return n + 12 * (name[i] - '0' + 1);
}

std::vector<PhraseNote> parsePhrase(const std::string& text) {
    std::vector<PhraseNote> notes;
    std::istringstream in(text);
    std::string token;
    int step = 0;
    while (in >> token) {
        const std::size_t slash = token.find('/');
        if (slash == std::string::npos) throw std::invalid_argument("bad phrase token " + token);
        const std::string pitch = token.substr(0, slash);
        const int length = std::stoi(token.substr(slash + 1));
        if (length <= 0) throw std::invalid_argument("bad phrase length " + token);
        if (pitch != "r") notes.push_back({step, length, noteNumber(pitch)});
        step += length;
    }
    return notes;
}

void Composer::play(Voice v, double beat, double beats, double pitch, double velocity, double pan,
                    double tone) {
    const double start = tempo.seconds(beat);
    score.add(v, {start, tempo.seconds(beat + beats) - start, pitch, velocity, pan, tone});
}

void Composer::playAt(Voice v, double seconds, double length, double pitch, double velocity, double pan,
                      double tone) {
    score.add(v, {seconds, length, pitch, velocity, pan, tone});
}

void Composer::chord(Voice v, const Chord& c, double beat, double beats, double velocity, double tone,
                     int transpose) {
    const double start = tempo.seconds(beat);
    chordAt(v, c, start, tempo.seconds(beat + beats) - start, velocity, tone, transpose);
}

void Composer::chordAt(Voice v, const Chord& c, double seconds, double length, double velocity, double tone,
                       int transpose) {
    // Spread the voicing a little so the chord is wide, lowest note left.
    static const double pans[4] = {-0.3, 0.1, -0.1, 0.3};
    for (int i = 0; i < 4; ++i)
        playAt(v, seconds, length, c.tones[i] + transpose, velocity, pans[i], tone);
}

void Composer::phrase(Voice v, const std::string& text, double beat, double endBeat, double velocity,
                      double tone, int transpose) {
    for (const PhraseNote& n : parsePhrase(text)) {
        const double noteBeat = beat + n.step / 4.0;
        if (noteBeat >= endBeat) break;
        // Slightly detached, and never held past the cut-off.
        const double beats = std::min(n.length / 4.0 - 0.06, endBeat - noteBeat);
        play(v, noteBeat, beats, n.pitch + transpose, velocity, 0.0, tone);
    }
}

}  // namespace synth
