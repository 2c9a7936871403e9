// The music synthesizer: its beat grid, its score of the main clip against
// the demo's timeline, its voices, the master level and the encoder.
#include "demo/timeline.h"
#include "tests/support/mp3clip.h"
#include "tests/support/scratchdir.h"
#include "tools/synth/compose.h"
#include "tools/synth/encoder.h"
#include "tools/synth/mix.h"
#include "tools/synth/tempo.h"
#include "tools/synth/voices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

using namespace synth;

namespace {

std::vector<int> cueTimes(const CueList& list) {
    std::vector<int> out;
    for (int e : list.entries)
        if (e != -1) out.push_back(e);
    return out;
}

bool hasNoteAt(const Score& score, Voice v, double seconds) {
    const auto& notes = score.part(v);
    return std::any_of(notes.begin(), notes.end(), [&](const Note& n) { return std::fabs(n.start - seconds) < 1e-9; });
}

TEST(TempoMap, FollowsTheBeatsAndExtendsAtTheAverageBeat) {
    const TempoMap tempo({1.0, 1.5, 2.5});  // average beat 0.75 s
    EXPECT_DOUBLE_EQ(tempo.seconds(1.0), 1.5);
    EXPECT_DOUBLE_EQ(tempo.seconds(1.25), 1.75);  // a quarter of the way through the long beat
    EXPECT_DOUBLE_EQ(tempo.seconds(-2.0), -0.5);
    EXPECT_DOUBLE_EQ(tempo.seconds(4.0), 4.0);
    EXPECT_DOUBLE_EQ(tempo.beatLength(1.5), 1.0);
    EXPECT_DOUBLE_EQ(tempo.beatLength(7.0), 0.75);
    for (double beat : {-3.0, -0.4, 0.0, 0.3, 1.0, 1.9, 2.0, 5.5}) EXPECT_NEAR(tempo.beatAt(tempo.seconds(beat)), beat, 1e-12);
    EXPECT_THROW(TempoMap({1.0, 1.0}), std::invalid_argument);
    EXPECT_THROW(TempoMap({1.0}), std::invalid_argument);
}

TEST(Dsp, TableSineMatchesTheLibrarySine) {
    for (double c : {0.0, 0.125, 0.25, 0.3333, 0.5, 0.75, 0.999999, 1.0, 7.6, -0.25, -1e-18, -3.1})
        EXPECT_NEAR(sineCycles(c), std::sin(2.0 * pi * c), 1e-6) << c;
}

TEST(Compose, ReadsNotesChordsAndPhrases) {
    EXPECT_EQ(noteNumber("A4"), 69);
    EXPECT_EQ(noteNumber("C#5"), 73);
    EXPECT_EQ(noteNumber("Bb4"), 70);
    EXPECT_EQ(noteNumber("C0"), 12);
    for (const char* bad : {"H4", "A", "A#", "A10", "a4"}) EXPECT_THROW(noteNumber(bad), std::invalid_argument) << bad;

    const std::vector<PhraseNote> phrase = parsePhrase("E5/4 r/2  G#4/6");
    ASSERT_EQ(phrase.size(), 2u);
    EXPECT_EQ(phrase[0].step, 0);
    EXPECT_EQ(phrase[0].pitch, 76);
    EXPECT_EQ(phrase[1].step, 6);  // the rest takes its time
    EXPECT_EQ(phrase[1].length, 6);
    EXPECT_EQ(phrase[1].pitch, 68);
    EXPECT_THROW(parsePhrase("E5"), std::invalid_argument);
    EXPECT_THROW(parsePhrase("E5/0"), std::invalid_argument);
    EXPECT_THROW(chordNamed("Xm"), std::invalid_argument);
}

// The main clip is composed to the timeline: the kick on every beat cue
// (the out-of-order 8055 replaced by the beat it stands for), the title
// swells, the flash accents and the curtain snaps where the picture has them.
TEST(Marrowin, FollowsTheDemosCues) {
    const Score score = composeMarrowin();
    buildCueLists();
    const std::vector<int> grid = cueTimes(gridCues);
    ASSERT_EQ(score.kickTimes.size(), grid.size());
    int repaired = 0;
    for (std::size_t i = 0; i < grid.size(); ++i) {
        if (i > 0 && grid[i] < grid[i - 1]) {
            ++repaired;
            EXPECT_GT(score.kickTimes[i], grid[i - 1] / 1000.0);
            EXPECT_LT(score.kickTimes[i], grid[i + 1] / 1000.0);
            continue;
        }
        EXPECT_DOUBLE_EQ(score.kickTimes[i], grid[i] / 1000.0) << "beat " << i;
        EXPECT_TRUE(hasNoteAt(score, Voice::Kick, grid[i] / 1000.0)) << "beat " << i;
    }
    EXPECT_EQ(repaired, 1);

    const std::vector<int> titles = cueTimes(titleCues);
    for (std::size_t i = 0; i + 1 < titles.size(); ++i)
        EXPECT_TRUE(hasNoteAt(score, Voice::SwellPad, titles[i] / 1000.0)) << titles[i];
    EXPECT_TRUE(hasNoteAt(score, Voice::Crash, titles.back() / 1000.0));
    for (int ms : cueTimes(flashCues)) EXPECT_TRUE(hasNoteAt(score, Voice::Stab, ms / 1000.0)) << ms;
    for (int ms : cueTimes(curtainResetCues)) EXPECT_TRUE(hasNoteAt(score, Voice::Snap, ms / 1000.0)) << ms;

    // The lead comes in with the glow, a little before 48 s, not earlier.
    double firstLead = 1e9;
    for (const Note& n : score.part(Voice::Lead)) firstLead = std::min(firstLead, n.start);
    EXPECT_NEAR(firstLead, 48.0, 1.0);

    EXPECT_GE(score.length, 154.0);
    EXPECT_LE(score.fadeEnd, 152.5);
    for (const auto& part : score.parts)
        for (const Note& n : part) {
            EXPECT_GE(n.start, 0.0);
            EXPECT_LT(n.start + n.length, score.fadeEnd + 4.0);
        }
}

TEST(Voices, RenderBoundedDeterministicSound) {
    for (int v = 0; v < voiceCount; ++v) {
        SCOPED_TRACE(v);
        const Note note{0.0, 0.3, 57.0, 1.0, 0.0, 0.7};
        const Stereo a = renderNote(Voice(v), note, 1234);
        const Stereo b = renderNote(Voice(v), note, 1234);
        ASSERT_GT(a.size(), 0u);
        EXPECT_EQ(a.left, b.left);
        EXPECT_EQ(a.right, b.right);
        float peak = 0.0f;
        for (std::size_t i = 0; i < a.size(); ++i) {
            ASSERT_TRUE(std::isfinite(a.left[i]) && std::isfinite(a.right[i]));
            peak = std::max({peak, std::fabs(a.left[i]), std::fabs(a.right[i])});
        }
        EXPECT_GT(peak, 0.01f) << "silent";
        EXPECT_LT(peak, 4.0f);
        // Every voice ends quietly: no click when its buffer stops.
        EXPECT_LT(std::fabs(a.left.back()) + std::fabs(a.right.back()), 0.01f);
    }
    // A kick held for 70 ms (the next kick follows that closely) stops in time.
    EXPECT_EQ(renderNote(Voice::Kick, {0.0, 0.07, 0.0, 1.0, 0.0, 0.5}, 1).size(), toFrames(0.07));
}

TEST(Mix, MastersToThePeakAndFadesOut) {
    Score score;
    score.length = 3.0;
    score.fadeStart = 2.0;
    score.fadeEnd = 2.5;
    score.add(Voice::Pad, {0.0, 2.5, 57.0, 1.0, 0.0, 0.5});
    const std::vector<std::int16_t> pcm = toPcm16(mixScore(score), 0.5);
    ASSERT_EQ(pcm.size(), 2 * toFrames(3.0));
    int peak = 0;
    for (std::int16_t s : pcm) peak = std::max(peak, std::abs(int(s)));
    EXPECT_NEAR(peak, 16384, 2);
    for (std::size_t i = 2 * toFrames(2.5); i < pcm.size(); ++i) ASSERT_EQ(pcm[i], 0) << "after the fade";

    const std::vector<std::int16_t> silence = toPcm16(Stereo(100), 0.5);
    EXPECT_TRUE(std::all_of(silence.begin(), silence.end(), [](std::int16_t s) { return s == 0; }));
}

// With its Info tag, the MP3 decodes gaplessly to exactly the samples that
// went in: the demo's cue times count from the first of them.
TEST(Encoder, GaplessDecodeReturnsEveryFrame) {
    ScratchDir dir;
    const std::vector<std::int16_t> pcm = testSignal(44100 + 123);
    encodeMp3(pcm, dir.path("clip.mp3"));
    const std::string bytes = ScratchDir::read(dir.path("clip.mp3"));
    const std::vector<std::int16_t> decoded = decodeMp3(std::vector<unsigned char>(bytes.begin(), bytes.end()));
    ASSERT_EQ(decoded.size(), pcm.size());
    // Lossy, but aligned: the decoded signal correlates with the input at lag 0.
    double same = 0.0, energy = 0.0;
    for (std::size_t i = 0; i < pcm.size(); ++i) same += double(pcm[i]) * decoded[i], energy += double(pcm[i]) * pcm[i];
    EXPECT_GT(same / energy, 0.9);

    EXPECT_THROW(encodeMp3(pcm, dir.path("absent/clip.mp3")), std::runtime_error);
}

}  // namespace
