#include "codecs/bgrrows.h"

namespace bgrrows {
namespace detail {
namespace {

void planarGbr(const std::uint8_t* in, std::uint8_t* const out[], int width) {
    for (int x = 0; x < width; ++x) {
        out[1][x] = in[3 * x];
        out[0][x] = in[3 * x + 1];
        out[2][x] = in[3 * x + 2];
    }
}

void bgr0(const std::uint8_t* in, std::uint8_t* const out[], int width) {
    for (int x = 0; x < width; ++x) {
        out[0][4 * x] = in[3 * x];
        out[0][4 * x + 1] = in[3 * x + 1];
        out[0][4 * x + 2] = in[3 * x + 2];
        out[0][4 * x + 3] = 0;
    }
}

}  // namespace

RowFunction portableRow(Layout layout) {
    switch (layout) {
        case Layout::PlanarGbr: return planarGbr;
        case Layout::Bgr0: return bgr0;
    }
    return nullptr;
}

RowFunction bestRow(Layout layout, bool portable) {
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    RowFunction row = portable || !ssse3 ? nullptr : ssse3Row(layout);
    return row ? row : portableRow(layout);
}

}  // namespace detail

void convert(Layout layout, const std::uint8_t* dib, int width, int height, bool bottomUp,
             std::uint8_t* const planes[], const int strides[], bool portable) {
    const detail::RowFunction row = detail::bestRow(layout, portable);
    const int planeCount = layout == Layout::PlanarGbr ? 3 : 1;
    const std::size_t rowBytes = std::size_t(width) * 3;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = dib + rowBytes * std::size_t(bottomUp ? height - 1 - y : y);
        std::uint8_t* out[3] = {};
        for (int p = 0; p < planeCount; ++p) out[p] = planes[p] + std::ptrdiff_t(strides[p]) * y;
        row(in, out, width);
    }
}

}  // namespace bgrrows
