// The mix: renders every note of a score onto a channel strip per voice
// (level, sidechain ducking, reverb and echo sends), sums, fades and brings
// the result to 16-bit stereo with headroom.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/synth/dsp.h"
#include "tools/synth/score.h"

namespace synth {

// The mixed piece in floating point, before the master level.
Stereo mixScore(const Score& score);

// Scales to the given peak (below 1 for headroom: MP3 decoders overshoot
// sharp peaks a little) and rounds to interleaved 16-bit samples.
std::vector<std::int16_t> toPcm16(const Stereo& mix, double peak);

}  // namespace synth
