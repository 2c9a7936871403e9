#include "platform/mp3info.h"

#include <cstring>

namespace mp3 {

namespace {

struct FrameHeader {
    int version;  // 1, 2 or 25 (2.5)
    int bitrate;
    int sampleRate;
    int channels;
    int samplesPerFrame;
    std::size_t bytes;
    std::size_t sideInfoBytes;
};

bool parseHeader(const std::uint8_t* p, FrameHeader& h) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    if (versionBits == 1 || layerBits != 1) return false;  // reserved, or not layer III
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
    static const int bitratesV1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int bitratesV2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int ratesV1[3] = {44100, 48000, 32000};
    h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    h.bitrate = h.version == 1 ? bitratesV1[bitrateIndex] : bitratesV2[bitrateIndex];
    h.sampleRate = ratesV1[rateIndex] / (h.version == 1 ? 1 : h.version == 2 ? 2 : 4);
    h.channels = (p[3] >> 6) == 3 ? 1 : 2;
    h.samplesPerFrame = h.version == 1 ? 1152 : 576;
    const int padding = (p[2] >> 1) & 1;
    h.bytes = std::size_t(h.samplesPerFrame / 8 * h.bitrate * 1000 / h.sampleRate + padding);
    h.sideInfoBytes = h.version == 1 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
    return true;
}

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::size_t id3v2Length(const std::uint8_t* data, std::size_t size) {
    if (size < 10 || std::memcmp(data, "ID3", 3) != 0) return 0;
    const std::size_t body = std::size_t(data[6] & 0x7F) << 21 | std::size_t(data[7] & 0x7F) << 14 |
                             std::size_t(data[8] & 0x7F) << 7 | std::size_t(data[9] & 0x7F);
    const std::size_t footer = (data[5] & 0x10) ? 10 : 0;
    return 10 + body + footer;
}

// Reads a Xing/Info tag inside the frame at p; true when the frame is one
// (it then carries no sound). Positions are counted within the frame, so
// optional fields the tag claims but the frame cannot hold are never pointed
// past.
bool readLengthTag(const std::uint8_t* p, const FrameHeader& h, Info& info) {
    const std::size_t tag = 4 + h.sideInfoBytes;
    const std::size_t end = h.bytes;
    if (tag + 8 > end || (std::memcmp(p + tag, "Xing", 4) != 0 && std::memcmp(p + tag, "Info", 4) != 0)) return false;
    const std::uint32_t flags = bigEndian32(p + tag + 4);
    std::size_t field = tag + 8;
    if (flags & 1) {
        if (field + 4 > end) return true;
        info.hasLengthTag = true;
        info.frames = bigEndian32(p + field);
        field += 4;
    }
    if (flags & 2) field += 4;    // bytes
    if (flags & 4) field += 100;  // seek table
    if (flags & 8) field += 4;    // quality
    // LAME's extension: a 9-byte encoder name, then at offset 21 the delay
    // and padding, 12 bits each.
    if (field + 24 <= end && std::memcmp(p + field, "LAME", 4) == 0) {
        const std::uint8_t* d = p + field + 21;
        info.hasLameTag = true;
        info.encoderDelay = int(d[0]) << 4 | d[1] >> 4;
        info.padding = (int(d[1]) & 0x0F) << 8 | d[2];
    }
    return true;
}

}  // namespace

bool readInfo(const std::uint8_t* data, std::size_t size, Info& info) {
    info = Info{};
    if (!data) return false;
    std::size_t at = id3v2Length(data, size);
    FrameHeader h{};
    if (at + 4 > size || !parseHeader(data + at, h) || at + h.bytes > size) return false;
    info.sampleRate = h.sampleRate;
    info.channels = h.channels;
    info.bitrate = h.bitrate;
    info.samplesPerFrame = h.samplesPerFrame;
    if (readLengthTag(data + at, h, info)) {
        at += h.bytes;
        // The sound starts with the next frame, which must be one.
        if (at + 4 > size || !parseHeader(data + at, h) || at + h.bytes > size) return false;
    }
    info.audioOffset = at;
    info.firstFrameBytes = h.bytes;
    if (info.hasLengthTag && info.hasLameTag) {
        const std::int64_t total = info.frames * info.samplesPerFrame - info.encoderDelay - info.padding;
        if (total > 0) info.sampleFrames = total;
    }
    return true;
}

}  // namespace mp3
