// The music captured for the AVI file: a DSP hook appends every block the
// audio library decodes to one buffer, allocated up front, and silences it;
// the writer waits until enough fresh sound has arrived for each frame.
//
//   videocapture::obtainCaptureBuffer();          // may ask about a smaller one
//   videocapture::hook(channel);                  // before the music plays
//   each frame: videocapture::waitForMoreThan(bytes, channel);
//               then read videocapture::buffer() below what was captured
#pragma once

#include "platform/bass.h"

#include <cstddef>
#include <cstdint>

// The hook, in the audio library's DSP procedure form.
void captureAudio(HDSP handle, BASS_DWORD channel, void* buffer, BASS_DWORD length, BASS_DWORD user);

namespace videocapture {

// Allocates the capture buffer (asking about a smaller one when memory is
// short), or empties it for a new capture when it exists.
void obtainCaptureBuffer();

// Installs captureAudio on the channel; the result is not checked (a hook
// that never runs leaves the waits to the music's end and the sound silent).
void hook(BASS_DWORD channel);

// Blocks until more than `bytes` have been delivered since the last wait
// ended, or the channel is no longer active; then starts the count afresh.
void waitForMoreThan(std::int64_t bytes, BASS_DWORD channel);

std::uint8_t* buffer();
// Bytes the capture buffer holds (100000000, or 35000000 after the
// low-memory fallback), and bytes appended so far; 0 before it exists.
std::int64_t capacity();
std::int64_t captured();

// Test seam for the two audio-library calls the capture makes.
struct AudioSource {
    HDSP (*setDSP)(BASS_DWORD channel, DSPPROC* proc, BASS_DWORD user);
    BASS_DWORD (*isActive)(BASS_DWORD channel);
};
void setAudioSource(const AudioSource* source);  // null: the real ones

// Test seam for the capture buffer's allocation (calloc by default); also
// forgets the buffer there is, so the next writer allocates afresh.
void setAllocator(void* (*allocate)(std::size_t bytes));

}  // namespace videocapture
