// The audio-library calls the demo makes: ours on every platform, over
// libmpg123 and SDL2 audio output (platform/sdl), over the system's ACM MP3
// codec and waveOut (platform/windows), or over the browser's decoder and
// Web Audio (platform/web), all three with one front and mixer
// (platform/mixer). All decode an MP3 image held in memory gaplessly:
// sample 0 is the first sample the encoder was given.
//
//   BASS_Init(-1, 44100, 0, 0)              nonzero when an output opened
//   h = BASS_StreamCreateFile(1, data, 0, size, 0)   decode in place
//   BASS_ChannelSetDSP(h, proc, 0)          proc sees every decoded block,
//                                           in order, before output
//   BASS_Start(); BASS_StreamPlay(h, 0, 0)  play from the beginning
//   BASS_ChannelIsActive(h)                 nonzero while playing
//   BASS_Stop(); BASS_StreamFree(h); BASS_Free();
//
// Output is 44100 Hz, 16-bit stereo. An offline output (see bass::) runs the
// same mixing thread with no device and no real-time pacing, for rendering
// video faster than real time (not in the browser, which has no threads).
#pragma once

#include <cstdint>

using BASS_DWORD = std::uint32_t;
using BASS_BOOL = int;
using HSTREAM = std::uint32_t;
using HDSP = std::uint32_t;

using DSPPROC = void(HDSP handle, BASS_DWORD channel, void* buffer, BASS_DWORD length, BASS_DWORD user);

BASS_BOOL BASS_Init(int device, BASS_DWORD freq, BASS_DWORD flags, void* win);
HSTREAM BASS_StreamCreateFile(BASS_BOOL mem, const void* file, BASS_DWORD offset, BASS_DWORD length,
                              BASS_DWORD flags);
BASS_BOOL BASS_Start();
BASS_BOOL BASS_StreamPlay(HSTREAM handle, BASS_BOOL flush, BASS_DWORD flags);
BASS_BOOL BASS_Stop();
void BASS_StreamFree(HSTREAM handle);
void BASS_Free();
HDSP BASS_ChannelSetDSP(BASS_DWORD handle, DSPPROC* proc, BASS_DWORD user);
BASS_DWORD BASS_ChannelIsActive(BASS_DWORD handle);
