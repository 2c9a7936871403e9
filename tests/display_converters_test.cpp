// The row converters: every SIMD implementation against the scalar reference,
// the reference against the format table, and the format selection.
#include "display/rowconverters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using rowconv::ConverterSet;
using rowconv::FormatCount;

std::vector<const ConverterSet*> simdSets() {
    std::vector<const ConverterSet*> sets;
    for (const ConverterSet* set : {rowconv::sse2Set(), rowconv::ssse3Set(), rowconv::avx2Set()})
        if (set) sets.push_back(set);
    return sets;
}

// Converts into a buffer with guard bytes on both sides, so a converter that
// writes one byte too many (or too few) is caught.
std::vector<std::uint8_t> convert(RowConverter converter, const std::vector<std::uint32_t>& row, int pixelBytes) {
    constexpr int guard = 64;
    std::vector<std::uint8_t> out(row.size() * pixelBytes + 2 * guard, 0xCD);
    converter(row.data(), out.data() + guard, std::int32_t(row.size()));
    for (int i = 0; i < guard; ++i) {
        EXPECT_EQ(out[i], 0xCD) << "wrote before the row";
        EXPECT_EQ(out[out.size() - 1 - i], 0xCD) << "wrote past the row of " << row.size();
    }
    return {out.begin() + guard, out.end() - guard};
}

TEST(RowConverters, EverySimdSetMatchesTheReferenceOnRandomRows) {
    std::mt19937 random(20261206);
    std::vector<int> lengths;
    for (int n = 0; n <= 70; ++n) lengths.push_back(n);
    lengths.push_back(640);
    lengths.push_back(643);
    const auto sets = simdSets();
    for (int length : lengths) {
        // The source is read from an odd offset too, as rows need not be
        // aligned beyond 4 bytes.
        std::vector<std::uint32_t> row(length);
        for (auto& p : row) p = random();
        for (int f = 0; f < FormatCount; ++f) {
            auto expected = convert(rowconv::scalarSet().convert[f], row, rowconv::bytesPerPixel[f]);
            for (const ConverterSet* set : sets) {
                if (!set->convert[f]) continue;
                EXPECT_EQ(convert(set->convert[f], row, rowconv::bytesPerPixel[f]), expected)
                    << set->name << " " << rowconv::formatNames[f] << " length " << length;
            }
            EXPECT_EQ(convert(rowconv::chosen(rowconv::Format(f)), row, rowconv::bytesPerPixel[f]), expected);
        }
    }
}

TEST(RowConverters, UnalignedRowsConvertLikeAlignedOnes) {
    std::mt19937 random(7);
    std::vector<std::uint32_t> backing(650);
    for (auto& p : backing) p = random();
    for (int f = 0; f < FormatCount; ++f) {
        std::vector<std::uint32_t> row(backing.begin() + 1, backing.begin() + 644);
        auto expected = convert(rowconv::scalarSet().convert[f], row, rowconv::bytesPerPixel[f]);
        std::vector<std::uint8_t> out(643 * rowconv::bytesPerPixel[f] + 1);
        rowconv::chosen(rowconv::Format(f))(backing.data() + 1, out.data() + 1, 643);
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 1, out.end()), expected) << rowconv::formatNames[f];
    }
}

// The reference pixel 0x00123456 (r 0x12, g 0x34, b 0x56) in each format;
// the bits above the colour only survive the plain copy.
TEST(RowConverters, ReferencePixelsGiveTheTableValues) {
    const std::vector<std::vector<std::uint8_t>> expected = {
        {0x56, 0x34, 0x12, 0x00}, {0x12, 0x34, 0x56, 0x00}, {0x56, 0x34, 0x12}, {0x12, 0x34, 0x56},
        {0xAA, 0x11},             {0xA2, 0x51},             {0xCA, 0x08},       {0xC2, 0x28},
    };
    std::vector<const ConverterSet*> sets = simdSets();
    sets.insert(sets.begin(), &rowconv::scalarSet());
    for (std::uint32_t pixel : {0x00123456u, 0xAB123456u}) {
        for (int f = 0; f < FormatCount; ++f) {
            auto want = expected[f];
            if (f == rowconv::Copy32) want[3] = std::uint8_t(pixel >> 24);
            // A whole row of the pixel goes through the SIMD steps and the tail.
            std::vector<std::uint32_t> row(643, pixel);
            std::vector<std::uint8_t> wantRow;
            for (int i = 0; i < 643; ++i) wantRow.insert(wantRow.end(), want.begin(), want.end());
            for (const ConverterSet* set : sets) {
                if (!set->convert[f]) continue;
                EXPECT_EQ(convert(set->convert[f], row, rowconv::bytesPerPixel[f]), wantRow)
                    << set->name << " " << rowconv::formatNames[f] << std::hex << " pixel " << pixel;
            }
        }
    }
}

TEST(RowConverters, ChannelsAreCutNotRounded) {
    // Every channel at 0xFF except the low bits that each format drops.
    std::vector<std::uint32_t> row(19, 0x00070307);
    std::vector<std::uint8_t> zeros(19 * 2, 0);
    EXPECT_EQ(convert(convertRowTo565, row, 2), zeros);
    row.assign(19, 0x00070707);
    EXPECT_EQ(convert(convertRowTo555, row, 2), zeros);
    EXPECT_EQ(convert(convertRowTo555Swapped, row, 2), zeros);
    // White keeps bit 15 clear in the 5-5-5 formats.
    row.assign(19, 0xFFFFFFFF);
    auto white = convert(convertRowTo555, row, 2);
    EXPECT_EQ(white[0], 0xFF);
    EXPECT_EQ(white[1], 0x7F);
}

TEST(SelectRowConverter, MatchesBitCountAndAllThreeMasksExactly) {
    EXPECT_EQ(selectRowConverter(32, 0xFF0000, 0x00FF00, 0x0000FF), &convertRowCopy32);
    EXPECT_EQ(selectRowConverter(32, 0x0000FF, 0x00FF00, 0xFF0000), &convertRowSwap32);
    EXPECT_EQ(selectRowConverter(24, 0xFF0000, 0x00FF00, 0x0000FF), &convertRowTo24);
    EXPECT_EQ(selectRowConverter(24, 0x0000FF, 0x00FF00, 0xFF0000), &convertRowTo24Swapped);
    EXPECT_EQ(selectRowConverter(16, 0xF800, 0x07E0, 0x001F), &convertRowTo565);
    EXPECT_EQ(selectRowConverter(16, 0x001F, 0x07E0, 0xF800), &convertRowTo565Swapped);
    EXPECT_EQ(selectRowConverter(16, 0x7C00, 0x03E0, 0x001F), &convertRowTo555);
    EXPECT_EQ(selectRowConverter(16, 0x001F, 0x03E0, 0x7C00), &convertRowTo555Swapped);

    EXPECT_EQ(selectRowConverter(15, 0x7C00, 0x03E0, 0x001F), nullptr);
    EXPECT_EQ(selectRowConverter(8, 0, 0, 0), nullptr);
    EXPECT_EQ(selectRowConverter(24, 0xF800, 0x07E0, 0x001F), nullptr);
    EXPECT_EQ(selectRowConverter(32, 0xFF0000, 0x00FF00, 0x0000FE), nullptr);
    EXPECT_EQ(selectRowConverter(32, 0xFF000000, 0x00FF0000, 0x0000FF00), nullptr);
}

}  // namespace
