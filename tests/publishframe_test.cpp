// The publish converter: its colour arithmetic against BT.709 itself, its
// planes against the sample-by-sample reference, and the promise that at x4
// nothing is filtered.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "codecs/publishframe.h"

namespace {

using publishframe::Geometry;

struct Planes {
    Planes(const Geometry& g, int slack) {
        strides[0] = g.width + slack;
        strides[1] = strides[2] = g.width / 2 + slack;
        // Filled with a value no sample takes, so a skipped one shows.
        y.assign(std::size_t(strides[0]) * g.height, 7);
        cb.assign(std::size_t(strides[1]) * g.height / 2, 7);
        cr.assign(std::size_t(strides[2]) * g.height / 2, 7);
        data[0] = y.data();
        data[1] = cb.data();
        data[2] = cr.data();
    }
    std::uint8_t at(int plane, int x, int yy) const { return data[plane][std::size_t(yy) * strides[plane] + x]; }
    std::vector<std::uint8_t> y, cb, cr;
    std::uint8_t* data[3];
    int strides[3];
};

std::vector<std::uint8_t> noise(std::size_t bytes, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> v(bytes);
    for (auto& b : v) b = std::uint8_t(random());
    return v;
}

TEST(PublishFrame, ColoursAreBt709LimitedRangeRounded) {
    // Every colour, against the formula in double precision: the fixed point
    // may differ only where the exact value is within a hair of a half.
    const double kr = 0.2126, kb = 0.0722, kg = 1 - kr - kb;
    double worst = 0;
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                const double luma = kr * r + kg * g + kb * b;
                const double y = 16 + 219 / 255.0 * luma;
                const double cb = 128 + 224 / 255.0 * (b - luma) / (2 * (1 - kb));
                const double cr = 128 + 224 / 255.0 * (r - luma) / (2 * (1 - kr));
                const publishframe::Ycc c = publishframe::toYcc(r, g, b);
                worst = std::max({worst, std::abs(c.y - y), std::abs(c.cb - cb), std::abs(c.cr - cr)});
            }
        }
    }
    EXPECT_LT(worst, 0.5005);
    const publishframe::Ycc black = publishframe::toYcc(0, 0, 0), white = publishframe::toYcc(255, 255, 255),
                            red = publishframe::toYcc(255, 0, 0), blue = publishframe::toYcc(0, 0, 255);
    EXPECT_EQ((std::vector<int>{black.y, black.cb, black.cr}), (std::vector<int>{16, 128, 128}));
    EXPECT_EQ((std::vector<int>{white.y, white.cb, white.cr}), (std::vector<int>{235, 128, 128}));
    EXPECT_EQ((std::vector<int>{red.y, red.cb, red.cr}), (std::vector<int>{63, 102, 240}));
    EXPECT_EQ((std::vector<int>{blue.y, blue.cb, blue.cr}), (std::vector<int>{32, 240, 118}));
}

TEST(PublishFrame, PictureIsCentredOnEvenOffsetsAndMustFit) {
    Geometry g;
    ASSERT_TRUE(publishframe::fits(640, 480, 3840, 2160, 4, g));
    EXPECT_EQ((std::vector<int>{g.left, g.top, g.factor}), (std::vector<int>{640, 120, 4}));
    ASSERT_TRUE(publishframe::fits(640, 480, 2560, 1440, 3, g));
    EXPECT_EQ((std::vector<int>{g.left, g.top}), (std::vector<int>{320, 0}));
    ASSERT_TRUE(publishframe::fits(13, 7, 64, 40, 4, g));  // 6 and 6: odd halves rounded down to even
    EXPECT_EQ((std::vector<int>{g.left, g.top}), (std::vector<int>{6, 6}));
    EXPECT_FALSE(publishframe::fits(640, 480, 2560, 1440, 4, g));  // 1920 rows in 1440
    EXPECT_FALSE(publishframe::fits(640, 480, 3841, 2160, 4, g));  // odd width: no 4:2:0
    EXPECT_FALSE(publishframe::fits(0, 480, 3840, 2160, 4, g));
}

// Fast and reference alike over several sizes, factors, pixel sizes and
// padded rows, noise everywhere (the demo's own content).
TEST(PublishFrame, ConvertMatchesTheReferenceEverywhere) {
    struct Case {
        int sw, sh, bpp, w, h, factor;
    };
    const Case cases[] = {{640, 480, 3, 3840, 2160, 4}, {640, 480, 3, 2560, 1440, 3}, {640, 480, 4, 3840, 2160, 4},
                          {37, 23, 3, 160, 90, 3},      {13, 7, 4, 64, 40, 4},        {31, 17, 3, 66, 40, 2},
                          {9, 5, 3, 48, 30, 5},         {20, 10, 4, 20, 10, 1}};
    unsigned seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.sw) + "x" + std::to_string(c.sh) + " x" + std::to_string(c.factor) + " in " +
                     std::to_string(c.w) + "x" + std::to_string(c.h) + ", " + std::to_string(c.bpp) + " bytes");
        Geometry g;
        ASSERT_TRUE(publishframe::fits(c.sw, c.sh, c.w, c.h, c.factor, g));
        const int stride = c.sw * c.bpp + 5;
        const std::vector<std::uint8_t> source = noise(std::size_t(stride) * c.sh, seed++);
        Planes fast(g, 3), reference(g, 3);
        publishframe::convert(source.data(), c.sw, c.sh, c.bpp, stride, g, fast.data, fast.strides);
        publishframe::convertReference(source.data(), c.sw, c.sh, c.bpp, stride, g, reference.data,
                                       reference.strides);
        for (int p = 0; p < 3; ++p) {
            const int pw = p ? c.w / 2 : c.w, ph = p ? c.h / 2 : c.h;
            int mismatches = 0, firstX = -1, firstY = -1;
            for (int y = 0; y < ph; ++y)
                for (int x = 0; x < pw; ++x)
                    if (fast.at(p, x, y) != reference.at(p, x, y) && mismatches++ == 0) firstX = x, firstY = y;
            EXPECT_EQ(mismatches, 0) << "plane " << p << ", first at " << firstX << "," << firstY;
        }
    }
}

// At x4 each luma block is the pixel's own luma and each chroma sample its
// own Cb and Cr: a replicate, so nothing of a neighbour bleeds in. At x3 a
// chroma sample is the rounded mean of what its four luma positions show.
TEST(PublishFrame, FactorFourReplicatesAndFactorThreeAveragesStraddledChroma) {
    const std::vector<std::uint8_t> source = noise(640 * 480 * 3, 99);
    const auto pixel = [&](int x, int y) {
        const std::uint8_t* p = &source[(std::size_t(y) * 640 + x) * 3];
        return publishframe::toYcc(p[2], p[1], p[0]);
    };
    Geometry g;
    ASSERT_TRUE(publishframe::fits(640, 480, 3840, 2160, 4, g));
    Planes out(g, 0);
    publishframe::convert(source.data(), 640, 480, 3, 640 * 3, g, out.data, out.strides);
    int wrong = 0;
    for (int sy = 0; sy < 480; sy += 7) {
        for (int sx = 0; sx < 640; sx += 5) {
            const publishframe::Ycc c = pixel(sx, sy);
            for (int d = 0; d < 16; ++d) wrong += out.at(0, 640 + 4 * sx + d % 4, 120 + 4 * sy + d / 4) != c.y;
            for (int d = 0; d < 4; ++d) {
                wrong += out.at(1, 320 + 2 * sx + d % 2, 60 + 2 * sy + d / 2) != c.cb;
                wrong += out.at(2, 320 + 2 * sx + d % 2, 60 + 2 * sy + d / 2) != c.cr;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    // The bars are black: corners and the sides next to the picture.
    for (auto [x, y] : {std::pair{0, 0}, {639, 1000}, {3200, 1000}, {1000, 119}, {1000, 2040}})
        EXPECT_EQ(out.at(0, x, y), 16) << x << "," << y;
    EXPECT_EQ(out.at(1, 319, 500), 128);
    EXPECT_EQ(out.at(2, 1600, 500), 128);

    ASSERT_TRUE(publishframe::fits(640, 480, 2560, 1440, 3, g));
    Planes three(g, 0);
    publishframe::convert(source.data(), 640, 480, 3, 640 * 3, g, three.data, three.strides);
    // Chroma sample (161, 1) covers luma columns 322, 323 and rows 2, 3: source
    // columns 0 and 1 (322 is the first's last), rows 0 and 1.
    const int cb = (pixel(0, 0).cb + pixel(1, 0).cb + pixel(0, 1).cb + pixel(1, 1).cb + 2) / 4;
    EXPECT_EQ(three.at(1, 161, 1), cb);
    // Sample (160, 0) lies within pixel (0, 0)'s block alone: its own value.
    EXPECT_EQ(three.at(2, 160, 0), pixel(0, 0).cr);
    EXPECT_EQ(three.at(0, 322, 2), pixel(0, 0).y);
    EXPECT_EQ(three.at(0, 323, 3), pixel(1, 1).y);
}

}  // namespace
