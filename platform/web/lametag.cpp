#include "platform/web/lametag.h"

#include <cstring>

namespace {

std::uint32_t bigEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// Skips an ID3v2 tag in front of the first frame.
std::size_t firstFrame(const unsigned char* data, std::size_t bytes) {
    if (bytes < 10 || std::memcmp(data, "ID3", 3) != 0) return 0;
    const std::size_t size = std::size_t(data[6] & 0x7F) << 21 | std::size_t(data[7] & 0x7F) << 14 |
                             std::size_t(data[8] & 0x7F) << 7 | (data[9] & 0x7F);
    return 10 + size + ((data[5] & 0x10) ? 10 : 0);
}

}  // namespace

LameTag readLameTag(const unsigned char* data, std::size_t bytes) {
    LameTag tag;
    const std::size_t at = firstFrame(data, bytes);
    if (!data || at + 4 > bytes || data[at] != 0xFF || (data[at + 1] & 0xE0) != 0xE0) return tag;
    const unsigned char* frame = data + at;
    const int version = (frame[1] >> 3) & 3;  // 3: MPEG-1
    const int layer = (frame[1] >> 1) & 3;    // 1: layer III
    if (layer != 1 || version == 1) return tag;
    const bool mono = ((frame[3] >> 6) & 3) == 3;
    const std::size_t sideInfo = version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const std::int64_t samplesPerFrame = version == 3 ? 1152 : 576;

    std::size_t p = at + 4 + sideInfo;
    if (p + 8 > bytes || (std::memcmp(data + p, "Xing", 4) != 0 && std::memcmp(data + p, "Info", 4) != 0))
        return tag;
    const std::uint32_t flags = bigEndian32(data + p + 4);
    p += 8;
    if (!(flags & 1) || p + 4 > bytes) return tag;
    const std::int64_t mpegFrames = bigEndian32(data + p);
    p += 4;
    if (flags & 2) p += 4;
    if (flags & 4) p += 100;
    if (flags & 8) p += 4;
    // The LAME extension: a 9-byte version, then 12 bytes up to the 12-bit
    // delay and 12-bit padding.
    if (p + 24 > bytes || std::memcmp(data + p, "LAME", 4) != 0) return tag;
    const unsigned char* d = data + p + 21;
    const std::int64_t delay = std::int64_t(d[0]) << 4 | d[1] >> 4;
    const std::int64_t padding = std::int64_t(d[1] & 0x0F) << 8 | d[2];
    const std::int64_t total = mpegFrames * samplesPerFrame;
    if (total <= delay + padding) return tag;
    tag.found = true;
    tag.frames = total - delay - padding;
    tag.skip = delay + 529;
    return tag;
}
