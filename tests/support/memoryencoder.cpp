#include "tests/support/memoryencoder.h"

MemoryEncoder::Record& MemoryEncoder::install() {
    static Record record;
    record = Record{};
    vfw::setEncoderFactory([](const std::string&) { return std::make_unique<MemoryEncoder>(record); });
    return record;
}

void MemoryEncoder::uninstall() { vfw::setEncoderFactory(nullptr); }

std::size_t MemoryEncoder::Record::count(char kind) const {
    std::size_t n = 0;
    for (const auto& w : writes) n += w.kind == kind;
    return n;
}

std::int64_t MemoryEncoder::Record::samples() const {
    std::int64_t n = 0;
    for (const auto& w : writes)
        if (w.kind == 'a') n += w.count;
    return n;
}

HRESULT MemoryEncoder::setVideo(const AviVideoFormat& format) {
    record.video = format;
    return 0;
}

HRESULT MemoryEncoder::setAudio(const WAVEFORMATEX& format) {
    record.audio = true;
    record.wave = format;
    return 0;
}

HRESULT MemoryEncoder::start() {
    record.started = true;
    return 0;
}

HRESULT MemoryEncoder::recordWrite(Write write) {
    record.writes.push_back(std::move(write));
    return int(record.writes.size()) == record.failWrite ? record.failCode : 0;
}

HRESULT MemoryEncoder::writeFrame(std::int64_t index, const std::uint8_t* dib) {
    return recordWrite({'v', index, 1, std::vector<std::uint8_t>(dib, dib + record.video.frameBytes)});
}

HRESULT MemoryEncoder::writeAudio(std::int64_t first, std::int64_t count, const std::uint8_t* samples) {
    return recordWrite({'a', first, count, std::vector<std::uint8_t>(samples, samples + count * record.wave.nBlockAlign)});
}

HRESULT MemoryEncoder::endVideo() {
    record.videoEnded = true;
    return 0;
}

HRESULT MemoryEncoder::finish() {
    record.finished = !record.failFinish;
    return record.failFinish ? record.failCode : 0;
}
