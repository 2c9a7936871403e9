// libFuzzer target for the MP3 tag reader: any bytes as an MP3 image. The
// clips come out of the pack, so their ID3v2 sizes, Xing/Info counts and
// LAME delays are as untrusted as the pack itself.
//
// Besides the sanitizers' own checks (libFuzzer hands over a buffer of
// exactly the input's size, so any read past it is caught) it holds the
// reader to what the audio stand-ins rely on: an accepted image names a
// real MPEG layer III format, its first sound frame lies inside the data and
// starts with a frame sync, and a length is given only from both tags and is
// no more than the frames hold.
#include "platform/mp3info.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

[[noreturn]] static void broken(const char* what) {
    std::fprintf(stderr, "MP3 tag reader broke its promise: %s\n", what);
    std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mp3::Info info;
    info.sampleFrames = 12345;  // stale values must not survive a call
    if (!mp3::readInfo(data, size, info)) {
        if (info.sampleFrames != -1) broken("a refused image has a length");
        return 0;
    }
    switch (info.sampleRate) {
    case 8000: case 11025: case 12000: case 16000: case 22050: case 24000: case 32000: case 44100: case 48000: break;
    default: broken("sample rate");
    }
    if (info.channels != 1 && info.channels != 2) broken("channels");
    if (info.samplesPerFrame != 1152 && info.samplesPerFrame != 576) broken("samples per frame");
    if (info.bitrate < 8 || info.bitrate > 320) broken("bit rate");
    if (info.firstFrameBytes < 4 || info.audioOffset > size || info.firstFrameBytes > size - info.audioOffset)
        broken("first sound frame outside the data");
    if (data[info.audioOffset] != 0xFF || (data[info.audioOffset + 1] & 0xE0) != 0xE0)
        broken("first sound frame has no sync");
    if (info.encoderDelay < 0 || info.encoderDelay > 4095 || info.padding < 0 || info.padding > 4095)
        broken("delay or padding beyond 12 bits");
    if (info.sampleFrames != -1) {
        if (!info.hasLengthTag || !info.hasLameTag) broken("a length without both tags");
        if (info.sampleFrames <= 0 || info.sampleFrames > info.frames * info.samplesPerFrame)
            broken("a length the frames cannot hold");
    }
    return 0;
}
