// What the AVI file layer (avifile.cpp) hands its encoder, in this order:
//
//   setVideo(format)          the compressed stream: size, rate, codec
//   setAudio(wave)            with sound only
//   start()                   the file is created, its header written
//   writeFrame / writeAudio   in the caller's interleaving
//   endVideo()                the codec's held-back frames
//   finish()                  the index; the file is closed and complete
//
// Every call returns 0 or a negative error code (FFmpeg's, or -errno).
// FfmpegEncoder writes the file; ThreadedEncoder runs any encoder on a
// thread of its own; the tests' MemoryEncoder records what it is given.
#pragma once

#include "platform/ffmpeg/codecchoice.h"
#include "platform/vfw.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct AviVideoFormat {
    int width = 0;
    int height = 0;
    bool bottomUp = true;        // a positive DIB height: the first row is the bottom one
    std::size_t frameBytes = 0;  // one frame as handed in
    DWORD rate = 0;              // frames per second = rate / scale
    DWORD scale = 1;
    const vfw::CodecChoice* codec = nullptr;
    AVICOMPRESSOPTIONS options{};
};

class AviEncoder {
public:
    virtual ~AviEncoder() = default;
    virtual HRESULT setVideo(const AviVideoFormat& format) = 0;
    virtual HRESULT setAudio(const WAVEFORMATEX& format) = 0;
    virtual HRESULT start() = 0;
    // One frame of format.frameBytes, rows as the DIB has them.
    virtual HRESULT writeFrame(std::int64_t index, const std::uint8_t* dib) = 0;
    // The same, from a buffer the encoder may take: it may swap in one of
    // its own of the same size, saving a copy.
    virtual HRESULT writeFrame(std::int64_t index, std::vector<std::uint8_t>& frame) {
        return writeFrame(index, frame.data());
    }
    // count sample frames from sample `first` on; a gap before it is silence.
    virtual HRESULT writeAudio(std::int64_t first, std::int64_t count, const std::uint8_t* samples) = 0;
    virtual HRESULT endVideo() = 0;
    virtual HRESULT finish() = 0;
};

namespace vfw {

// Test seam: makes the encoder of each file AVIFileOpenA opens (null: an
// FfmpegEncoder writing the path). The file layer runs it on a thread of its
// own, as it does the real one.
using EncoderFactory = std::function<std::unique_ptr<AviEncoder>(const std::string& path)>;
void setEncoderFactory(EncoderFactory factory);

// Test seam: consulted before each call named below does its work; a nonzero
// result makes the call fail with that code. Names: "AVIFileOpenA",
// "AVIFileCreateStreamA", "AVIMakeCompressedStream", "AVIStreamSetFormat",
// "AVIStreamWrite". streamType is the stream's fccType (0 for the file).
using FailureHook = std::function<HRESULT(const char* call, FOURCC streamType)>;
void setFailureHook(FailureHook hook);

}  // namespace vfw
