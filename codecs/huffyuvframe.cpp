#include "codecs/huffyuvframe.h"

#include "codecs/bgrrows.h"
#include "codecs/bitwriter.h"
#include "codecs/rowdiff.h"

#include <algorithm>
#include <cstring>

namespace huffyuv {
namespace {

// The format's first bytes: left prediction with colour decorrelated, 24
// bits a pixel, progressive, one set of tables for the whole stream.
constexpr std::uint8_t leftDecorrelated = 0x40;
constexpr std::uint8_t bitsPerPixel = 24;
constexpr std::uint8_t progressiveStaticTables = 0x20;

// A table is stored as runs: a byte of length (low 5 bits) and count (high 3
// bits), the count 0 meaning it follows in the next byte.
const std::uint8_t* readLengths(const std::uint8_t* in, const std::uint8_t* end, std::array<std::uint8_t, 256>& lengths) {
    int filled = 0;
    while (filled < 256) {
        if (in >= end) return nullptr;
        const int length = *in & 31;
        int repeat = *in++ >> 5;
        if (repeat == 0) {
            if (in >= end) return nullptr;
            repeat = *in++;
        }
        if (length == 0 || repeat == 0 || filled + repeat > 256) return nullptr;
        std::fill_n(lengths.begin() + filled, repeat, std::uint8_t(length));
        filled += repeat;
    }
    return in;
}

// Codes from the lengths as HuffYUV assigns them: from the longest length to
// the shortest, symbols in order, counting up; each length must leave an
// even count for the next shorter one. False when the lengths make no code.
bool assignCodes(const std::array<std::uint8_t, 256>& lengths, std::array<BitCode, 256>& codes) {
    std::uint32_t next = 0;
    for (std::uint32_t length = 32; length > 0; --length) {
        for (int symbol = 0; symbol < 256; ++symbol)
            if (lengths[symbol] == length) codes[symbol] = BitCode{next++, length};
        if (next & 1) return false;
        next >>= 1;
    }
    return true;
}

// Pixels x..width of a row, green, blue and red residuals in that order.
// A pixel's three codes are joined into one where they fit 32 bits, as they
// mostly do: the joining does not wait for the bits before. The writer comes
// in and goes out by value so that it can stay in registers.
QVO_BMI2_CLONES BitWriter codePixels(BitWriter bits, const std::uint8_t* const residuals[3], int x, int width,
                                     const BitCode* greens, const BitCode* blues, const BitCode* reds) {
    const std::uint8_t *g = residuals[0], *b = residuals[1], *r = residuals[2];
    for (; x < width; ++x) {
        const BitCode green = greens[g[x]], blue = blues[b[x]], red = reds[r[x]];
        const std::uint32_t length = green.length + blue.length + red.length;
        if (length <= 32) {
            bits.put(std::uint32_t((std::uint64_t(green.bits) << blue.length | blue.bits) << red.length | red.bits),
                     length);
        } else {
            bits.put(green.bits, green.length);
            bits.put(blue.bits, blue.length);
            bits.put(red.bits, red.length);
        }
    }
    return bits;
}

}  // namespace

std::optional<Tables> tablesOf(const std::uint8_t* extradata, int size) {
    if (!extradata || size < 4) return std::nullopt;
    if (extradata[0] != leftDecorrelated || extradata[1] != bitsPerPixel || extradata[2] != progressiveStaticTables ||
        extradata[3] != 0)
        return std::nullopt;
    Tables tables;
    const std::uint8_t* in = extradata + 4;
    const std::uint8_t* const end = extradata + size;
    std::array<BitCode, 256> codes;
    for (auto& lengths : tables.lengths) {
        in = readLengths(in, end, lengths);
        if (!in || !assignCodes(lengths, codes)) return std::nullopt;
    }
    return tables;
}

FrameEncoder::FrameEncoder(int width, int height, const Tables& tables) : width(width), height(height) {
    for (int t = 0; t < 3; ++t) assignCodes(tables.lengths[t], codes[t]);
    // Three codes of at most 31 bits a pixel, and the first pixel's word.
    packet.resize(12 * std::size_t(width) * height + 8);
}

// The bitstream starts at the picture's bottom row. Each colour is predicted
// from the pixel to its left, the row before's last one at the start of a
// row; the very first pixel is stored as it is (red, green, blue, 0).
std::span<const std::uint8_t> FrameEncoder::encode(const std::uint8_t* dib, bool bottomUp, bool portable) {
    BitWriter bits(packet.data());
    const std::size_t rowBytes = std::size_t(width) * 3;
    const bgrrows::detail::RowFunction split = bgrrows::detail::bestRow(bgrrows::Layout::PlanarGbr, portable);
    std::vector<std::uint8_t> buffer(std::size_t(width) * 6);
    std::uint8_t* const planes[3] = {buffer.data(), buffer.data() + width, buffer.data() + 2 * width};  // G, B, R
    std::uint8_t* const residuals[3] = {planes[2] + width, planes[2] + 2 * width, planes[2] + 3 * width};
    std::uint8_t previous[3] = {};
    const BitCode* greens = codes[1].data();
    const BitCode* blues = codes[0].data();
    const BitCode* reds = codes[2].data();
    for (int row = 0; row < height; ++row) {
        split(dib + rowBytes * std::size_t(bottomUp ? row : height - 1 - row), planes, width);
        for (int c = 0; c < 3; ++c) previous[c] = rowdiff::left(planes[c], previous[c], width, residuals[c], portable);
        rowdiff::subtract(residuals[1], residuals[0], width, 0, portable);
        rowdiff::subtract(residuals[2], residuals[0], width, 0, portable);
        int x = 0;
        if (row == 0) {
            bits.put(planes[2][0], 8);
            bits.put(planes[0][0], 8);
            bits.put(planes[1][0], 8);
            bits.put(0, 8);
            x = 1;
        }
        bits = codePixels(bits, residuals, x, width, greens, blues, reds);
    }
    return {packet.data(), bits.finish()};
}

}  // namespace huffyuv
