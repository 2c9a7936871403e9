// The instruments: each renders one note into a short stereo buffer that
// starts at the note's onset. No samples; everything is oscillators, noise
// and filters, seeded per note so every build sounds the same.
#pragma once

#include <cstdint>

#include "tools/synth/dsp.h"
#include "tools/synth/score.h"

namespace synth {

Stereo renderNote(Voice voice, const Note& note, std::uint32_t seed);

}  // namespace synth
