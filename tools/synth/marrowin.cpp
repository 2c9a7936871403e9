// The main clip, composed to the demo's timeline. Every kick lands on a beat
// cue; the sections change where the picture changes (the bars, the glow,
// the streaked noise, the curtain snaps, the letterbox).
#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "demo/timeline.h"
#include "tools/synth/compose.h"

namespace synth {
namespace {

const char* const melodies[][2] = {
    // Over Am F C G | Am F Dm E.
    {"A", "E5/4 A5/4 G5/2 E5/2 C5/4  F5/6 E5/2 C5/4 A4/4  G4/2 C5/2 E5/4 G5/4 E5/4  D5/8 B4/4 r/4 "
          "E5/4 A5/4 B5/2 C6/2 B5/4  A5/6 G5/2 F5/4 E5/4  D5/4 F5/4 A5/4 F5/4  G#5/8 E5/4 B4/4"},
    {"B", "A5/2 r/2 A5/2 G5/2 E5/4 C5/4  C6/4 A5/4 F5/4 C5/4  E5/2 G5/2 C6/4 B5/4 G5/4  B5/8 D6/4 B5/4 "
          "C6/6 B5/2 A5/4 E5/4  F5/4 A5/4 C6/4 A5/4  F5/4 E5/4 D5/4 F5/4  E5/12 r/4"},
    // Over Dm Bb C Am | Dm Bb E E.
    {"C", "D5/6 E5/2 F5/4 A5/4  F5/6 D5/2 Bb4/8  C5/4 E5/4 G5/4 E5/4  A4/12 r/4 "
          "D5/4 F5/4 A5/4 D6/4  D6/6 C6/2 Bb5/8  B5/4 G#5/4 E5/4 D5/4  E5/12 r/4"},
    {"C2", "A5/4 F5/4 D5/4 F5/4  F5/4 D5/4 Bb4/4 D5/4  E5/4 G5/4 C6/4 G5/4  A5/8 E5/4 C5/4 "
           "D5/6 F5/2 A5/4 F5/4  Bb5/6 A5/2 F5/4 D5/4  E5/4 G#5/4 B5/4 D6/4  E6/8 D6/2 B5/2 G#5/4"},
    // Over F G Am Am, twice: the farewell.
    {"D", "C6/8 A5/8  B5/8 G5/8  A5/16  E5/8 r/8  C6/8 A5/8  D6/8 B5/8  C6/8 B5/4 G5/4  A5/16"},
};

std::string melody(const std::string& name) {
    for (const auto& m : melodies)
        if (name == m[0]) return m[1];
    throw std::invalid_argument("unknown melody " + name);
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// How a section hands over to the next one.
enum class Ending {
    Plain,
    Fill,     // a snare roll and a riser over the last bar, the hats stop
    BuildUp,  // a riser across the whole section, a snare roll speeding up over its last two bars
};

// One section of the arrangement. Bars count from the section's first
// beat; the patterns are sixteen steps per bar. Every 8-bar block starts
// with a crash, ends with a short snare fill and switches the A/B variants.
struct Section {
    const char* name;
    const char* progression;  // one chord per bar, cycling
    const char* hat;          // closed hats: x normal, X accent
    const char* openHat;
    const char* clap;
    const char* rim;
    const char* bassA;        // x root, o octave, 5 fifth
    const char* bassB;
    const char* arpA;         // chord-tone index per step; 4-7 an octave up
    const char* arpB;
    const char* lead;         // a melody name per 8-bar block, "-" for none
    double pad;               // pad level, 0 for none
    Ending ending;
};

const Section sections[] = {
    {"groove", "Am Am F F C C G G", "..X...X...X...X.", nullptr, nullptr, nullptr,
     "..x...x...x...x.", "..x...x...x...o.", nullptr, nullptr, "-", 0.55, Ending::Fill},
    {"bars", "Am F C G Am F C E", "xxXxxxXxxxXxxxXx", "..x...x...x...x.", "....x.......x...", nullptr,
     "..x...x...x...o.", "..x...x.5.x...o.", "0123012301230123", "0213021302130213", "-", 0.5, Ending::Fill},
    {"lead", "Am F C G Am F Dm E", "xxXxxxXxxxXxxxXx", "..x...x...x...x.", "....x.......x...", nullptr,
     ".xox.xxo.xox.xxo", ".xxx.xox.xxx.x5o", "0.2.1.3.0.2.1.3.", "4.2.3.1.4.2.3.1.", "A B", 0.45, Ending::Fill},
    {"streak", "Dm Bb C Am Dm Bb E E", "xXxxxXxxxXxxxXxx", "..x...x...x...x.", "....x.......x...",
     "...x..x.....x..x", ".x.x.xo..x.x.x5o", ".xox.x5x.xox.xxo", "0123210123210123", "4321234543212345",
     "- C C2", 0.4, Ending::Plain},
    {"break", "F G Esus4 E", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "-", 0.7,
     Ending::BuildUp},
    {"peak", "Am F C G Am F Dm E", "xxXxxxXxxxXxxxXx", "..x...x...x...x.", "....x.......x...",
     "...x..x.....x..x", ".xox.xxo.xox.xxo", ".xxx.xox.xxx.x5o", "0123456701234567", "7654321076543210",
     "A B", 0.5, Ending::Plain},
    {"drop", "E", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "-", 0.0, Ending::Plain},
    {"closing", "F G Am Am", "..X...X...X...X.", nullptr, "....x.......x...", nullptr, "..x...x...x...x.",
     "..x...x...x...x.", "3.2.1.0.3.2.1.0.", nullptr, "D", 0.55, Ending::Plain},
};
constexpr int sectionCount = int(std::size(sections));

std::vector<int> entriesOf(const CueList& list) {
    std::vector<int> out;
    for (int e : list.entries)
        if (e != -1) out.push_back(e);
    return out;
}

// The beat grid: one beat per beat cue. An entry that is out of order (the
// list holds one typo, 8055 between 79664 and 80385) cannot be a beat time;
// the beat it stands for lies between its neighbours.
std::vector<double> beatSeconds(const std::vector<int>& cues) {
    std::vector<double> beats;
    for (std::size_t i = 0; i < cues.size(); ++i) {
        const bool outOfOrder = i > 0 && i + 1 < cues.size() && cues[i] < cues[i - 1];
        const double ms = outOfOrder ? std::floor((cues[i - 1] + cues[i + 1]) / 2.0) : double(cues[i]);
        beats.push_back(ms / 1000.0);
    }
    return beats;
}

// Where each section starts, in beats, in table order.
std::vector<int> sectionStarts(const TempoMap& tempo) {
    const auto nearest = [&](double seconds) { return int(std::lround(tempo.beatAt(seconds))); };
    const int bars = nearest(entriesOf(barCues).front() / 1000.0);             // the bars appear
    const int lead = bars + 4 * int(std::lround((tempo.beatAt(48.0) - bars) / 4.0));  // the glow, on a bar line
    const int streak = nearest(entriesOf(streakCues).front() / 1000.0);      // the noise streaks
    const std::vector<int> resets = entriesOf(curtainResetCues);             // the curtain snaps shut
    const int snap1 = nearest(resets.at(0) / 1000.0);
    const int peak = streak + 4 * int(std::ceil((snap1 + 12 - streak) / 4.0));  // three bars of break
    const int snap2 = nearest(resets.at(1) / 1000.0);
    const int closing = nearest(entriesOf(letterboxCues).front() / 1000.0);  // the letterbox
    return {0, bars, lead, streak, snap1, peak, snap2, closing};
}

class Marrowin {
public:
    Marrowin(Score& score, const TempoMap& tempo) : score(score), tempo(tempo), c(score, tempo) {}

    void intro(const std::vector<int>& titles);
    void section(int index, int first, int end);
    void kicks(int beats);
    void accents(const std::vector<int>& flashes, const std::vector<int>& starts, int end);
    void snaps(const std::vector<int>& resets);

private:
    Chord chordAt(int sectionIndex, int bar) const {
        const std::vector<std::string> names = words(sections[sectionIndex].progression);
        return chordNamed(names[std::size_t(bar) % names.size()]);
    }

    Score& score;
    const TempoMap& tempo;
    Composer c;
};

// Before the beat: one swelling chord per title cue, an arpeggio creeping
// in from the third, a riser into the hit that starts the groove.
void Marrowin::intro(const std::vector<int>& titles) {
    const char* const names[] = {"Am9", "F", "C", "Esus4"};
    for (int i = 0; i < 4; ++i) {
        const double start = titles.at(i) / 1000.0;
        const double length = titles.at(i + 1) / 1000.0 - start;
        const Chord chord = chordNamed(names[i]);
        c.chordAt(Voice::SwellPad, chord, start, length, 0.55 + 0.1 * i, 0.3 + 0.15 * i);
        c.playAt(Voice::SubBass, start, length - 0.3, chord.root + 12, 0.5, 0.0, 0.3);
        c.playAt(Voice::Crash, start, 3.0, 0, 0.18 + 0.05 * i);
    }
    // Eighth notes on the grid extended backwards from the first beat.
    const double arpFrom = std::ceil(tempo.beatAt(titles.at(2) / 1000.0));
    const char* order = "01232101";
    for (double beat = arpFrom; beat < 0.0; beat += 0.5) {
        const double t = tempo.seconds(beat);
        int slot = 2;
        if (t >= titles.at(3) / 1000.0) slot = 3;
        const Chord chord = chordNamed(names[slot]);
        const int step = int(std::lround((beat - arpFrom) * 2.0));
        const double rise = (beat - arpFrom) / -arpFrom;
        c.play(Voice::Arp, beat, 0.4, chord.tones[std::size_t(order[step % 8] - '0')] + 12, 0.25 + 0.35 * rise,
               step % 2 ? 0.4 : -0.4, 0.2 + 0.4 * rise);
    }
    const double riseFrom = titles.at(3) / 1000.0, hit = titles.at(4) / 1000.0;
    c.playAt(Voice::Riser, riseFrom, hit - riseFrom, 0, 0.7);
    // The hit that opens the curtain fully, just before the first kick.
    c.playAt(Voice::Crash, hit, 3.5, 0, 1.0);
    c.chordAt(Voice::Stab, chordNamed("Am"), hit, 0.5, 0.7, 0.9, 12);
}

void Marrowin::kicks(int beats) {
    for (int beat = 0; beat < beats; ++beat) {
        c.play(Voice::Kick, beat, 1.0, 0, 1.0);  // held until the next beat, which chokes it
        score.kickTimes.push_back(tempo.seconds(beat));
    }
}

void Marrowin::section(int index, int first, int end) {
    const Section& s = sections[index];
    const std::vector<std::string> leads = words(s.lead);
    const int bars = (end - first + 3) / 4;
    for (int bar = 0; bar < bars; ++bar) {
        const int barBeat = first + 4 * bar;
        const int block = bar / 8;
        const bool blockB = block % 2 == 1;
        const bool lastBarOfBlock = bar % 8 == 7;
        const bool lastBar = bar == bars - 1;
        const bool fillBar = lastBar && s.ending == Ending::Fill;
        const Chord chord = chordAt(index, bar);
        const double barEnd = std::min(barBeat + 4, end);

        // Pads hold across bars that repeat the chord.
        if (s.pad > 0.0 && (bar == 0 || chordAt(index, bar - 1).tones != chord.tones)) {
            int hold = 1;
            while (bar + hold < bars && chordAt(index, bar + hold).tones == chord.tones) ++hold;
            c.chord(Voice::Pad, chord, barBeat, std::min(4.0 * hold, double(end - barBeat)), s.pad, 0.35);
        }
        if (bar % 8 == 0 && (s.hat || s.bassA)) c.play(Voice::Crash, barBeat, 2.0, 0, bar == 0 ? 0.8 : 0.5);

        const char* bass = blockB && s.bassB ? s.bassB : s.bassA;
        const char* arp = blockB && s.arpB ? s.arpB : s.arpA;
        for (int step = 0; step < 16; ++step) {
            const double beat = barBeat + step / 4.0;
            if (beat >= end) break;
            const bool fillStep = step >= 12 && ((lastBarOfBlock && !lastBar) || fillBar);
            if (s.hat && hits(s.hat, step) && !(fillBar && step >= 8))
                c.play(Voice::ClosedHat, beat, 0.1, 0, stepOf(s.hat, step) == 'X' ? 0.75 : 0.4,
                       step % 2 ? 0.25 : -0.15, 0.5);
            if (s.openHat && hits(s.openHat, step) && !fillStep)
                c.play(Voice::OpenHat, beat, 0.2, 0, 0.45, 0.2, 0.4);
            if (s.clap && hits(s.clap, step)) c.play(Voice::Clap, beat, 0.2, 0, 0.8, 0.0);
            if (s.rim && hits(s.rim, step)) c.play(Voice::Rim, beat, 0.1, 0, 0.45, -0.35);
            if (fillStep) c.play(Voice::Snare, beat, 0.1, 0, 0.35 + 0.1 * (step - 12), 0.1, 0.4);
            if (bass && hits(bass, step)) {
                int gap = 1;
                while (gap < 2 && !hits(bass, step + gap)) ++gap;
                const char kind = stepOf(bass, step);
                const int pitch = chord.root + (kind == 'o' ? 12 : kind == '5' ? 7 : 0) + 12;
                c.play(Voice::Bass, beat, 0.2 * gap, pitch, kind == 'o' ? 0.85 : 0.75, 0.0,
                       0.4 + 0.3 * double(bar % 8) / 7.0);
            }
            if (arp && arp[step] != '.') {
                const int d = arp[step] - '0';
                c.play(Voice::Arp, beat, 0.22, chord.tones[std::size_t(d % 4)] + 12 * (d / 4) + 12, 0.45,
                       step % 2 ? 0.45 : -0.45, 0.35 + 0.4 * double(bar % 8) / 7.0);
            }
        }
        if (bar % 8 == 0 && !leads.empty()) {
            const std::string& name = leads[std::size_t(block) % leads.size()];
            if (name != "-") c.phrase(Voice::Lead, melody(name), barBeat, end, 0.7, 0.6);
        }
        if (fillBar) c.play(Voice::Riser, barBeat, barEnd - barBeat, 0, 0.5);
    }
    if (s.ending == Ending::BuildUp) {
        for (double beat = end - 8; beat < end; beat += beat < end - 4 ? 0.5 : 0.25)
            c.play(Voice::Snare, beat, 0.1, 0, 0.2 + 0.6 * (beat - (end - 8)) / 8.0, 0.0, 0.5);
        c.play(Voice::Riser, first, end - first, 0, 0.8);
    }
}

// The title flashes: a bright chord stab on each flash cue, voiced on the
// chord that is playing at that moment.
void Marrowin::accents(const std::vector<int>& flashes, const std::vector<int>& starts, int end) {
    for (int ms : flashes) {
        const double t = ms / 1000.0;
        const double beat = tempo.beatAt(t);
        int index = sectionCount - 1;
        while (index > 0 && beat < starts[std::size_t(index)] - 0.01) --index;
        if (beat >= end) continue;
        const int bar = int((beat - starts[std::size_t(index)]) / 4.0 + 1e-6);
        c.chordAt(Voice::Stab, chordAt(index, std::max(0, bar)), t, 0.3, 0.55, 0.8, 12);
        c.playAt(Voice::OpenHat, t, 0.2, 0, 0.5, -0.2, 0.7);
    }
}

void Marrowin::snaps(const std::vector<int>& resets) {
    for (int ms : resets) {
        c.playAt(Voice::Snap, ms / 1000.0, 0.5, 0, 0.9);
        c.playAt(Voice::Crash, ms / 1000.0, 3.0, 0, 0.7);
    }
}

}  // namespace

Score composeMarrowin() {
    buildCueLists();
    const std::vector<int> grid = entriesOf(gridCues);
    const TempoMap tempo(beatSeconds(grid));
    const int beats = int(grid.size());

    Score score;
    score.title = "kov-marrowin(clip)";
    score.length = 155.0;
    score.fadeStart = 148.0;
    score.fadeEnd = 152.0;
    score.echoSeconds = 0.75 * (tempo.seconds(beats - 1) - tempo.seconds(0)) / (beats - 1);  // dotted eighth

    Marrowin piece(score, tempo);
    piece.intro(entriesOf(titleCues));
    piece.kicks(beats);
    const std::vector<int> starts = sectionStarts(tempo);
    for (int i = 0; i < sectionCount; ++i)
        piece.section(i, starts[std::size_t(i)], i + 1 < sectionCount ? starts[std::size_t(i) + 1] : beats);
    piece.accents(entriesOf(flashCues), starts, beats);
    piece.snaps(entriesOf(curtainResetCues));

    // The last kick closes the piece: a crash and the tonic left to ring out.
    Composer c(score, tempo);
    c.play(Voice::Crash, beats - 1, 4.0, 0, 0.9);
    c.chordAt(Voice::Pad, chordNamed("Am9"), tempo.seconds(beats - 1), 2.0, 0.6, 0.3);
    c.playAt(Voice::SubBass, tempo.seconds(beats - 1) + 0.05, 2.0, 45, 0.4, 0.0, 0.2);
    return score;
}

}  // namespace synth
