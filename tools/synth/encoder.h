// MP3 encoding through LAME: 192 kbit/s constant bit rate, with the
// LAME/Info tag written so that gapless decoders (libmpg123 among them)
// return exactly the encoded samples, without the codec's delay and padding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace synth {

// Encodes interleaved 44.1 kHz 16-bit stereo to `path`; throws
// std::runtime_error naming the file on failure.
void encodeMp3(const std::vector<std::int16_t>& interleaved, const std::string& path);

}  // namespace synth
