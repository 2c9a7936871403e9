// Where the audio stand-in sends its sound, and the seams around it.
//
//   bass::useOfflineOutput(true);   // before BASS_Init: no device at all
//   BASS_Init(-1, 44100, 0, 0);     // then as usual
//
// The offline output runs the mixing thread as fast as it can decode: every
// block still passes the DSP procedures in order, and BASS_ChannelIsActive
// turns 0 only after the last block went through them. The video renderer
// uses it to capture the music faster than real time.
//
// Call all of this from one thread (the one that calls BASS_*).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/bass.h"

namespace bass {

// Chooses the output of the next BASS_Init (device by default).
void useOfflineOutput(bool offline);
bool offlineOutput();

// True when QVO_REALTIME_CAPTURE=1 asks video mode to capture through the
// real device at real-time pace instead of the offline output.
bool realtimeCaptureRequested();

// Sample frames per mixing block (the device's buffer; the offline output
// uses the same size).
constexpr int blockFrames = 1024;

// On a device, a stream with DSP procedures shows them its sound in pieces
// of this many sample frames, spread over real time one block ahead of the
// output, so that a capture waiting for each video frame's sound keeps real
// time at any frame rate. (The offline output hands them whole blocks.)
constexpr int captureFrames = 32;

// Seconds from a block's callback until it begins to be heard, as the
// device reports it: one buffer on a sound card, 0 on SDL's dummy and disk
// outputs, which take each block as it is made.
double outputLatencySeconds();

// The stream's position in bytes since the last BASS_StreamPlay, as the
// mixer sees it: what went through the DSP procedures to the output, plus
// what was skipped to keep a device stream on the wall clock (streams with
// DSP procedures are never skipped).
std::uint64_t decodedBytes(HSTREAM handle);

// The stream's position being heard now, in seconds since its sample 0: the
// first sample of the block the device last asked for begins to be heard
// the output's latency after it asked (later by any silence the mixer put
// first to keep time), and the rest follow at the output rate. Negative
// before the first sound of a play; the position mixed so far, offline.
double heardSeconds(HSTREAM handle);

// Why the last BASS_Init, BASS_StreamCreateFile or BASS_StreamPlay returned 0.
const char* lastError();

#ifndef _WIN32
// Test seam: the clock (nanoseconds, any origin) a device stream is kept
// in step with. Null restores the steady clock. (Only SDL's outputs are
// kept in step: waveOut runs on the sound card's own clock.)
void setDeviceClock(std::int64_t (*clock)());
#endif

// Test seam: every BASS_* call is named to the filter before it does
// anything; when the filter returns false the call fails as if the device,
// the data or the stream were at fault (BASS_Init, BASS_StreamCreateFile and
// BASS_StreamPlay return 0; the others do nothing). A null filter lets every
// call through. Returns the previous filter.
enum class Call { Init, StreamCreateFile, Start, StreamPlay, Stop, StreamFree, Free, ChannelSetDSP, ChannelIsActive };
using CallFilter = std::function<bool(Call)>;
CallFilter setCallFilter(CallFilter filter);

const char* callName(Call call);

// For the backends: the text lastError() returns, and the filter's answer
// for a call (recording the injected failure when it refuses).
std::string& lastErrorText();
bool callAllowed(Call call);

}  // namespace bass
