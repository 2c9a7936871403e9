// The encoder that writes the AVI file with FFmpeg: libavcodec's encoder for
// the chosen codec (settings from the dialog's options), libswscale for its
// pixel format, libavformat's AVI muxer (OpenDML past 1 GiB), PCM sound.
// Uncompressed frames are stored as handed in, bottom-up DIB rows. Ut Video
// and HuffYUV frames are made by our own coders (utvideoframe.h,
// huffyuvframe.h), several at once (coderpool.h), in the same bytes
// libavcodec would make.
#pragma once

#include "platform/ffmpeg/aviencoder.h"

#include <memory>
#include <string>

class FfmpegEncoder : public AviEncoder {
public:
    explicit FfmpegEncoder(std::string path);
    ~FfmpegEncoder() override;

    HRESULT setVideo(const AviVideoFormat& format) override;
    HRESULT setAudio(const WAVEFORMATEX& format) override;
    HRESULT start() override;
    HRESULT writeFrame(std::int64_t index, const std::uint8_t* dib) override;
    HRESULT writeFrame(std::int64_t index, std::vector<std::uint8_t>& frame) override;
    HRESULT writeAudio(std::int64_t first, std::int64_t count, const std::uint8_t* samples) override;
    HRESULT endVideo() override;
    HRESULT finish() override;

    struct State;

private:
    std::unique_ptr<State> state;
};
