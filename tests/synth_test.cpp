// The music synthesizer: its sine table, its note names, its score of the main
// clip against the demo's timeline, and its voices. The rendered, encoded and
// decoded clips are checked on the built pack (datapack_test: kick onsets,
// length, headroom, fade-out, the same bytes on a second run); the beat grid
// shows there too, in kicks landing on the demo's beat cues.
#include "demo/timeline.h"
#include "tools/synth/compose.h"
#include "tools/synth/tempo.h"
#include "tools/synth/voices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <tuple>
#include <vector>

using namespace synth;

namespace {

TEST(Dsp, TableSineMatchesTheLibrarySine) {
    for (double c : {0.0, 0.125, 0.25, 0.3333, 0.5, 0.75, 0.999999, 1.0, 7.6, -0.25, -1e-18, -3.1})
        EXPECT_NEAR(sineCycles(c), std::sin(2.0 * pi * c), 1e-6) << c;
}

// The score spells its notes as text: a typo must stop the build, not play.
TEST(Compose, ReadsNotesAndPhrases) {
    for (auto [name, number] : {std::pair<const char*, int>{"A4", 69}, {"C#5", 73}, {"Bb4", 70}, {"C0", 12}})
        EXPECT_EQ(noteNumber(name), number) << name;
    for (const char* bad : {"H4", "A", "A#", "A10", "a4"}) EXPECT_THROW(noteNumber(bad), std::invalid_argument) << bad;
    const std::vector<PhraseNote> phrase = parsePhrase("E5/4 r/2  G#4/6");
    ASSERT_EQ(phrase.size(), 2u);
    EXPECT_EQ(std::tuple(phrase[1].step, phrase[1].length, phrase[1].pitch), std::tuple(6, 6, 68));  // after the rest
    EXPECT_THROW(parsePhrase("E5/0"), std::invalid_argument);
}

std::vector<int> cueTimes(const CueList& list) {
    std::vector<int> out;
    for (int e : list.entries)
        if (e != -1) out.push_back(e);
    return out;
}

// Besides the kicks (heard in the decoded clip): a swell on each title cue and
// a crash on the last, the flash accents, the curtain snaps, and the lead
// coming in with the glow, a little before 48 s.
TEST(Marrowin, FollowsTheDemosCues) {
    const Score score = composeMarrowin();
    const auto hasNoteAt = [&](const std::vector<Note>& notes, int ms) {
        return std::any_of(notes.begin(), notes.end(), [&](const Note& n) { return std::fabs(n.start - ms / 1000.0) < 1e-9; });
    };
    buildCueLists();
    const std::vector<int> titles = cueTimes(titleCues);
    for (std::size_t i = 0; i < titles.size(); ++i)
        EXPECT_TRUE(hasNoteAt(score.part(i + 1 < titles.size() ? Voice::SwellPad : Voice::Crash), titles[i])) << titles[i];
    for (int ms : cueTimes(flashCues)) EXPECT_TRUE(hasNoteAt(score.part(Voice::Stab), ms)) << ms;
    for (int ms : cueTimes(curtainResetCues)) EXPECT_TRUE(hasNoteAt(score.part(Voice::Snap), ms)) << ms;
    double firstLead = 1e9;
    for (const Note& n : score.part(Voice::Lead)) firstLead = std::min(firstLead, n.start);
    EXPECT_NEAR(firstLead, 48.0, 1.0);
    for (const auto& part : score.parts)
        for (const Note& n : part) EXPECT_TRUE(n.start >= 0.0 && n.start + n.length < score.fadeEnd + 4.0) << n.start;
}

// Every voice sounds, stays finite and bounded, and ends quietly: no click
// when its buffer stops.
TEST(Voices, RenderBoundedSoundThatEndsQuietly) {
    for (int v = 0; v < voiceCount; ++v) {
        const Stereo a = renderNote(Voice(v), {0.0, 0.3, 57.0, 1.0, 0.0, 0.7}, 1234);
        ASSERT_GT(a.size(), 0u) << "voice " << v;
        float peak = 0.0f;
        for (std::size_t i = 0; i < a.size(); ++i) {
            ASSERT_TRUE(std::isfinite(a.left[i]) && std::isfinite(a.right[i])) << "voice " << v;
            peak = std::max({peak, std::fabs(a.left[i]), std::fabs(a.right[i])});
        }
        EXPECT_GT(peak, 0.01f) << "voice " << v << " is silent";
        EXPECT_LT(peak, 4.0f) << "voice " << v;
        EXPECT_LT(std::fabs(a.left.back()) + std::fabs(a.right.back()), 0.01f) << "voice " << v << " clicks";
    }
    // A kick held for 70 ms (the next kick follows that closely) stops in time.
    EXPECT_EQ(renderNote(Voice::Kick, {0.0, 0.07, 0.0, 1.0, 0.0, 0.5}, 1).size(), toFrames(0.07));
}

}  // namespace
