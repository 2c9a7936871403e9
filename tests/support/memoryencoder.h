// An AVI encoder that writes no file: it records what the file layer hands
// it and fails when told to, so the writer's rules can be checked without
// ffprobe. It still runs on the file layer's encoder thread.
//
//   MemoryEncoder::Record& r = MemoryEncoder::install();  // for files opened from now on
//   r.failWrite = 3;                                     // the 3rd write fails, with r.failCode
//   ... render ...
//   r.writes, r.finished
//   MemoryEncoder::uninstall();
#pragma once

#include "platform/ffmpeg/aviencoder.h"

#include <cerrno>
#include <vector>

class MemoryEncoder : public AviEncoder {
public:
    struct Write {
        char kind;  // 'v' a frame, 'a' sound
        std::int64_t first;
        std::int64_t count;
        std::vector<std::uint8_t> data;
    };
    struct Record {
        AviVideoFormat video;
        bool audio = false;
        WAVEFORMATEX wave{};
        bool started = false;
        bool videoEnded = false;
        bool finished = false;
        std::vector<Write> writes;  // in the order they came
        int failWrite = 0;          // 1-based count over frames and sound; 0: none
        bool failFinish = false;
        HRESULT failCode = -ENOSPC;

        std::size_t count(char kind) const;
        std::int64_t samples() const;  // sound sample frames written
    };

    static Record& install();
    static void uninstall();

    explicit MemoryEncoder(Record& record) : record(record) {}
    HRESULT setVideo(const AviVideoFormat& format) override;
    HRESULT setAudio(const WAVEFORMATEX& format) override;
    HRESULT start() override;
    HRESULT writeFrame(std::int64_t index, const std::uint8_t* dib) override;
    HRESULT writeAudio(std::int64_t first, std::int64_t count, const std::uint8_t* samples) override;
    HRESULT endVideo() override;
    HRESULT finish() override;

private:
    HRESULT recordWrite(Write write);
    Record& record;
};
