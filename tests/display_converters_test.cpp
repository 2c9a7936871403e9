// The row converters: every SIMD implementation against the scalar reference,
// the reference against the format table, and the format selection.
#include "display/rowconverters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using rowconv::ConverterSet;
using rowconv::FormatCount;

std::vector<const ConverterSet*> allSets() {
    std::vector<const ConverterSet*> sets{&rowconv::scalarSet()};
    for (const ConverterSet* set : {rowconv::sse2Set(), rowconv::ssse3Set(), rowconv::avx2Set()})
        if (set) sets.push_back(set);
    return sets;
}

// Converts into a buffer with guard bytes on both sides, so a converter that
// writes one byte too many (or too few) is caught. The destination starts
// `shift` bytes off a 64-byte boundary.
std::vector<std::uint8_t> convert(RowConverter converter, const std::uint32_t* row, int count, int format,
                                  int shift = 0) {
    const int guard = 64 + shift, bytes = count * rowconv::bytesPerPixel[format];
    std::vector<std::uint8_t> out(bytes + guard + 64, 0xCD);
    converter(row, out.data() + guard, count);
    for (int i = 0; i < guard; ++i) EXPECT_EQ(out[i], 0xCD) << "wrote before the row";
    for (int i = guard + bytes; i < int(out.size()); ++i) EXPECT_EQ(out[i], 0xCD) << "wrote past " << count;
    return {out.begin() + guard, out.begin() + guard + bytes};
}

TEST(RowConverters, EverySetMatchesTheReferenceOnRandomRowsAlignedOrNot) {
    std::mt19937 random(20261206);
    std::vector<int> lengths;
    for (int n = 0; n <= 70; ++n) lengths.push_back(n);
    lengths.insert(lengths.end(), {640, 643});
    const auto sets = allSets();
    for (int length : lengths) {
        // Rows need not be aligned beyond 4 bytes, nor destinations at all.
        std::vector<std::uint32_t> backing(length + 1);
        for (auto& p : backing) p = random();
        const std::uint32_t* row = backing.data() + length % 2;
        const int shift = length % 4;
        for (int f = 0; f < FormatCount; ++f) {
            auto expected = convert(rowconv::scalarSet().convert[f], row, length, f);
            for (const ConverterSet* set : sets) {
                if (!set->convert[f]) continue;
                EXPECT_EQ(convert(set->convert[f], row, length, f, shift), expected)
                    << set->name << " " << rowconv::formatNames[f] << " length " << length;
            }
            EXPECT_EQ(convert(rowconv::chosen(rowconv::Format(f)), row, length, f, shift), expected);
        }
    }
}

// The reference pixel 0x00123456 (r 0x12, g 0x34, b 0x56) in each format;
// the bits above the colour only survive the plain copy, and white keeps
// bit 15 clear in the 5-5-5 formats. Channels are cut, never rounded. Each
// format is selected by its bit count and exactly its three masks.
TEST(RowConverters, ReferencePixelsGiveTheTableValuesAndMasksSelectTheConverter) {
    const struct {
        RowConverter named;
        std::uint32_t bits, red, green, blue;
        std::vector<std::uint8_t> bytes;
    } table[FormatCount] = {
        {convertRowCopy32, 32, 0xFF0000, 0x00FF00, 0x0000FF, {0x56, 0x34, 0x12, 0x00}},
        {convertRowSwap32, 32, 0x0000FF, 0x00FF00, 0xFF0000, {0x12, 0x34, 0x56, 0x00}},
        {convertRowTo24, 24, 0xFF0000, 0x00FF00, 0x0000FF, {0x56, 0x34, 0x12}},
        {convertRowTo24Swapped, 24, 0x0000FF, 0x00FF00, 0xFF0000, {0x12, 0x34, 0x56}},
        {convertRowTo565, 16, 0xF800, 0x07E0, 0x001F, {0xAA, 0x11}},
        {convertRowTo565Swapped, 16, 0x001F, 0x07E0, 0xF800, {0xA2, 0x51}},
        {convertRowTo555, 16, 0x7C00, 0x03E0, 0x001F, {0xCA, 0x08}},
        {convertRowTo555Swapped, 16, 0x001F, 0x03E0, 0x7C00, {0xC2, 0x28}},
    };
    for (int f = 0; f < FormatCount; ++f) {
        const auto& t = table[f];
        EXPECT_EQ(selectRowConverter(t.bits, t.red, t.green, t.blue), t.named) << rowconv::formatNames[f];
        std::vector<RowConverter> converters{t.named};
        for (const ConverterSet* set : allSets())
            if (set->convert[f]) converters.push_back(set->convert[f]);
        for (std::uint32_t pixel : {0x00123456u, 0xAB123456u, 0xFFFFFFFFu}) {
            auto want = t.bytes;
            if (pixel == 0xFFFFFFFFu) {
                want.assign(want.size(), 0xFF);
                if (f == rowconv::Swap32) want[3] = 0;
                if (f == rowconv::To555 || f == rowconv::To555Swapped) want[1] = 0x7F;
            }
            if (f == rowconv::Copy32) want[3] = std::uint8_t(pixel >> 24);
            // A whole row of the pixel goes through the SIMD steps and the tail.
            std::vector<std::uint32_t> row(643, pixel);
            std::vector<std::uint8_t> wantRow;
            for (int i = 0; i < 643; ++i) wantRow.insert(wantRow.end(), want.begin(), want.end());
            for (std::size_t c = 0; c < converters.size(); ++c)
                EXPECT_EQ(convert(converters[c], row.data(), 643, f), wantRow)
                    << rowconv::formatNames[f] << " converter " << c << std::hex << " pixel " << pixel;
        }
    }
    EXPECT_EQ(selectRowConverter(15, 0x7C00, 0x03E0, 0x001F), nullptr);
    EXPECT_EQ(selectRowConverter(24, 0xF800, 0x07E0, 0x001F), nullptr);
    EXPECT_EQ(selectRowConverter(32, 0xFF0000, 0x00FF00, 0x0000FE), nullptr);
    EXPECT_EQ(selectRowConverter(32, 0xFF000000, 0x00FF0000, 0x0000FF00), nullptr);
}

}  // namespace
