// The encoders' input layouts made from the 24-bit DIB, against a reference
// written out here, at widths that leave every kind of tail.
#include "codecs/bgrrows.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(BgrRows, EachLayoutHasTheDibsPixelsUprightWithBothImplementations) {
    using bgrrows::Layout;
    for (int width : {1, 5, 6, 15, 16, 17, 33, 640}) {
        const int height = 3;
        std::vector<std::uint8_t> dib(std::size_t(width) * height * 3);
        for (std::size_t i = 0; i < dib.size(); ++i) dib[i] = std::uint8_t(i * 151 + 7);
        // Pixel (x, y) of the upright picture, from the bottom-up DIB.
        const auto at = [&](int x, int y, int byte) { return dib[(std::size_t(height - 1 - y) * width + x) * 3 + byte]; };
        for (Layout layout : {Layout::PlanarGbr, Layout::Bgr0}) {
            for (bool portable : {true, false}) {
                SCOPED_TRACE(::testing::Message() << "width " << width << " layout " << int(layout)
                                                  << (portable ? " portable" : " ssse3"));
                const int bytesPerPixel = layout == Layout::PlanarGbr ? 1 : 4;
                const int stride = width * bytesPerPixel + 32;  // padded, as AVFrame lines are
                std::vector<std::uint8_t> out(std::size_t(stride) * height * 3, 0xEE);
                std::uint8_t* planes[3] = {out.data(), out.data() + stride * height, out.data() + 2 * stride * height};
                const int strides[3] = {stride, stride, stride};
                bgrrows::convert(layout, dib.data(), width, height, true, planes, strides, portable);
                int wrong = 0;
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        const std::uint8_t b = at(x, y, 0), g = at(x, y, 1), r = at(x, y, 2);
                        const std::uint8_t* p = planes[0] + y * stride;
                        if (layout == Layout::PlanarGbr)
                            wrong += p[x] != g || planes[1][y * stride + x] != b || planes[2][y * stride + x] != r;
                        else
                            wrong += p[4 * x] != b || p[4 * x + 1] != g || p[4 * x + 2] != r || p[4 * x + 3] != 0;
                    }
                EXPECT_EQ(0, wrong) << "pixels not as in the picture";
                EXPECT_EQ(0xEE, planes[0][width * bytesPerPixel]) << "written past the row";
            }
        }
    }
}

}  // namespace
