#include "codecs/utvideoframe.h"

#include "codecs/bgrrows.h"
#include "codecs/bitwriter.h"
#include "codecs/rowdiff.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace utvideo {
namespace {

constexpr std::uint8_t unused = 255;

std::uint32_t loadLe32(const std::uint8_t* in) {
    return std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8 | std::uint32_t(in[2]) << 16 | std::uint32_t(in[3]) << 24;
}

// The first row of slice `slice`: the plane is cut as evenly as whole rows allow.
int sliceStart(int height, int slices, int slice) { return int(std::int64_t(height) * slice / slices); }

// Canonical codes from the lengths, as the decoder rebuilds them: symbols in
// order of length, then of value; the longest code is all zeros and each
// shorter one follows on from it.
void assignCodes(const std::array<std::uint8_t, 256>& lengths, std::array<BitCode, 256>& codes) {
    std::array<std::uint8_t, 256> order;
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return lengths[a] < lengths[b]; });
    std::uint32_t next = 0;
    for (int i = 255; i >= 0; --i) {
        const int length = lengths[order[i]];
        codes[order[i]] = BitCode{length == unused ? 0 : next >> (32 - length), length == unused ? 0u : length};
        if (length != unused) next += 0x80000000u >> (length - 1);
    }
}

// One row of one plane predicted from its left, counted into four tables
// in turn, so that a run of one symbol is not one long chain of increments
// each waiting for the last. Returns the row's last byte.
std::uint8_t predictRow(const std::uint8_t* row, std::uint8_t previous, int width, std::uint8_t* out,
                        std::uint32_t (*tables)[256], bool portable) {
    previous = rowdiff::left(row, previous, width, out, portable);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        ++tables[0][out[x]];
        ++tables[1][out[x + 1]];
        ++tables[2][out[x + 2]];
        ++tables[3][out[x + 3]];
    }
    for (; x < width; ++x) ++tables[0][out[x]];
    return previous;
}

// The symbols as codes. Four codes are joined into one where they fit 32
// bits, as they mostly do in a dark picture: the joining does not wait for
// the bits before, and the bits then take one step instead of four.
QVO_BMI2_CLONES std::size_t writeCodes(const std::uint8_t* symbols, std::size_t count, const BitCode* codes,
                                       std::uint8_t* out) {
    BitWriter bits(out);
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const BitCode a = codes[symbols[i]], b = codes[symbols[i + 1]], c = codes[symbols[i + 2]],
                      d = codes[symbols[i + 3]];
        const std::uint32_t length = a.length + b.length + c.length + d.length;
        if (length <= 32) {
            const std::uint64_t joined = ((std::uint64_t(a.bits) << b.length | b.bits) << c.length | c.bits)
                                             << d.length |
                                         d.bits;
            bits.put(std::uint32_t(joined), length);
        } else {
            bits.put(a.bits, a.length);
            bits.put(b.bits, b.length);
            bits.put(c.bits, c.length);
            bits.put(d.bits, d.length);
        }
    }
    for (; i < count; ++i) bits.put(codes[symbols[i]].bits, codes[symbols[i]].length);
    return bits.finish();
}

}  // namespace

int slicesOf(const std::uint8_t* extradata, int size) {
    // Encoder version, original format, frame information size, flags: the
    // slice count less one is the flags' top byte.
    if (!extradata || size < 16) return 0;
    return int(loadLe32(extradata + 12) >> 24) + 1;
}

std::array<std::uint8_t, 256> codeLengths(const std::array<std::uint64_t, 256>& counts) {
    std::array<std::uint8_t, 256> lengths;
    lengths.fill(unused);
    int used[256];
    int size = 0;
    for (int symbol = 0; symbol < 256; ++symbol)
        if (counts[symbol]) used[size++] = symbol;
    if (size == 0) return lengths;
    if (size == 1) {
        lengths[used[0]] = 1;
        return lengths;
    }
    // A binary heap kept at its full size: a node taken out is marked with
    // the largest value and sinks to the bottom; the merged node replaces
    // the second smallest at the root.
    struct Node {
        std::uint64_t value;
        int name;
    };
    Node heap[256];
    int up[512];
    std::uint8_t depth[512];
    const auto sift = [&](int root) {
        while (root * 2 + 1 < size) {
            int child = root * 2 + 1;
            if (child < size - 1 && heap[child].value > heap[child + 1].value) ++child;
            if (heap[root].value <= heap[child].value) break;
            std::swap(heap[root], heap[child]);
            root = child;
        }
    };
    for (std::uint64_t offset = 1;; offset <<= 1) {
        for (int i = 0; i < size; ++i) heap[i] = Node{(counts[used[i]] << 14) + offset, i};
        for (int i = size / 2 - 1; i >= 0; --i) sift(i);
        for (int next = size; next < 2 * size - 1; ++next) {
            const std::uint64_t smallest = heap[0].value;
            up[heap[0].name] = next;
            heap[0].value = INT64_MAX;
            sift(0);
            up[heap[0].name] = next;
            heap[0].name = next;
            heap[0].value += smallest;
            sift(0);
        }
        depth[2 * size - 2] = 0;
        for (int i = 2 * size - 3; i >= size; --i) depth[i] = std::uint8_t(depth[up[i]] + 1);
        bool fits = true;
        for (int i = 0; i < size && fits; ++i) {
            lengths[used[i]] = std::uint8_t(depth[up[i]] + 1);
            fits = lengths[used[i]] < 32;
        }
        if (fits) return lengths;
    }
}

FrameEncoder::FrameEncoder(int width, int height, int slices)
    : width(width), height(height), slices(std::clamp(slices, 1, std::max(1, height))) {
    const std::size_t pixels = std::size_t(width) * height;
    for (auto& plane : residuals) plane.resize(pixels);
    // Per plane: the lengths, the slice ends, and at most 31 bits a symbol
    // with each slice's last word; then the frame's information word.
    packet.resize(3 * (256 + 8 * std::size_t(this->slices) + 4 * pixels) + 4);
}

void FrameEncoder::predict(const std::uint8_t* dib, bool bottomUp, bool portable) {
    const bgrrows::detail::RowFunction split = bgrrows::detail::bestRow(bgrrows::Layout::PlanarGbr, portable);
    std::vector<std::uint8_t> row(std::size_t(width) * 3);
    std::uint8_t* const planes[3] = {row.data(), row.data() + width, row.data() + 2 * width};
    std::uint32_t tables[3][4][256] = {};
    const std::size_t rowBytes = std::size_t(width) * 3;
    for (int slice = 0; slice < slices; ++slice) {
        std::uint8_t previous[3] = {0x80, 0x80, 0x80};
        const int end = sliceStart(height, slices, slice + 1);
        for (int y = sliceStart(height, slices, slice); y < end; ++y) {
            split(dib + rowBytes * std::size_t(bottomUp ? height - 1 - y : y), planes, width);
            // B - G + 128 and R - G + 128, as Ut Video stores colour.
            rowdiff::subtract(planes[1], planes[0], width, 0x80, portable);
            rowdiff::subtract(planes[2], planes[0], width, 0x80, portable);
            for (int p = 0; p < 3; ++p)
                previous[p] = predictRow(planes[p], previous[p], width, residuals[p].data() + std::size_t(width) * y,
                                         tables[p], portable);
        }
    }
    for (int p = 0; p < 3; ++p)
        for (int symbol = 0; symbol < 256; ++symbol)
            counts[p][symbol] = std::uint64_t(tables[p][0][symbol]) + tables[p][1][symbol] + tables[p][2][symbol] +
                                tables[p][3][symbol];
}

// The plane's code lengths, where each slice ends, and the slices' codes.
std::size_t FrameEncoder::writePlane(int plane, std::uint8_t* out) const {
    const std::array<std::uint64_t, 256>& count = counts[plane];
    std::uint8_t* const ends = out + 256;
    // A plane of one symbol: its length 0, no code for the others, and
    // every slice empty.
    const auto only = std::find_if(count.begin(), count.end(), [](std::uint64_t n) { return n != 0; });
    if (only != count.end() && *only == std::uint64_t(width) * height) {
        std::memset(out, 0xFF, 256);
        out[only - count.begin()] = 0;
        std::memset(ends, 0, 4 * std::size_t(slices));
        return 256 + 4 * std::size_t(slices);
    }
    const std::array<std::uint8_t, 256> lengths = codeLengths(count);
    std::array<BitCode, 256> codes;
    assignCodes(lengths, codes);
    std::memcpy(out, lengths.data(), 256);
    std::uint8_t* const data = ends + 4 * std::size_t(slices);
    std::size_t written = 0;
    for (int slice = 0; slice < slices; ++slice) {
        const int first = sliceStart(height, slices, slice);
        const int end = sliceStart(height, slices, slice + 1);
        written += writeCodes(residuals[plane].data() + std::size_t(width) * first, std::size_t(width) * (end - first),
                              codes.data(), data + written);
        storeLe32(ends + 4 * slice, std::uint32_t(written));
    }
    return 256 + 4 * std::size_t(slices) + written;
}

std::span<const std::uint8_t> FrameEncoder::encode(const std::uint8_t* dib, bool bottomUp, bool portable) {
    predict(dib, bottomUp, portable);
    std::size_t size = 0;
    for (int p = 0; p < 3; ++p) size += writePlane(p, packet.data() + size);
    storeLe32(packet.data() + size, 1 << 8);  // the frame's prediction: left
    return {packet.data(), size + 4};
}

}  // namespace utvideo
