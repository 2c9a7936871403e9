#include "codecs/publishframe.h"

#include <cstring>
#include <vector>

namespace publishframe {
namespace {

constexpr std::uint8_t blackY = 16, blackC = 128;

// BT.709 luma weights; limited range scales luma to 219 and each colour
// difference to 224 steps of the 255.
constexpr double kr = 0.2126, kb = 0.0722, kg = 1.0 - kr - kb;
constexpr double yScale = 219.0 / 255.0, cScale = 224.0 / 255.0;

// 20-bit fixed point, as fine as 32 bits allow: every sum stays positive
// once its offset is added, so the shift rounds as the division would.
constexpr int fractionBits = 20;
constexpr int fixed(double v) { return int(v * (1 << fractionBits) + (v < 0 ? -0.5 : 0.5)); }
constexpr int yR = fixed(yScale * kr), yG = fixed(yScale * kg), yB = fixed(yScale * kb);
constexpr int bR = fixed(-cScale * kr / (2 * (1 - kb))), bG = fixed(-cScale * kg / (2 * (1 - kb))),
              bB = fixed(cScale * 0.5);
constexpr int rR = fixed(cScale * 0.5), rG = fixed(-cScale * kg / (2 * (1 - kr))),
              rB = fixed(-cScale * kb / (2 * (1 - kr)));

// The source row or column an output line shows, or -1 for the black border.
int sourceIndex(int at, int start, int factor, int size) {
    if (at < start) return -1;
    const int index = (at - start) / factor;
    return index < size ? index : -1;
}

const std::uint8_t* pixelAt(const std::uint8_t* source, int bytesPerPixel, int stride, int x, int y) {
    return source + std::size_t(y) * std::size_t(stride) + std::size_t(x) * std::size_t(bytesPerPixel);
}

Ycc pixelYcc(const std::uint8_t* p) { return toYcc(p[2], p[1], p[0]); }

// One source row converted once, then laid out as often as the factor asks.
struct RowCache {
    std::vector<std::uint8_t> y, cb, cr;
    int row = -2;

    void load(const std::uint8_t* source, int width, int bytesPerPixel, int stride, int sourceRow) {
        if (row == sourceRow) return;
        row = sourceRow;
        y.resize(std::size_t(width));
        cb.resize(std::size_t(width));
        cr.resize(std::size_t(width));
        if (sourceRow < 0) {
            std::memset(y.data(), blackY, y.size());
            std::memset(cb.data(), blackC, cb.size());
            std::memset(cr.data(), blackC, cr.size());
            return;
        }
        const std::uint8_t* p = pixelAt(source, bytesPerPixel, stride, 0, sourceRow);
        for (int x = 0; x < width; ++x, p += bytesPerPixel) {
            const Ycc c = pixelYcc(p);
            y[std::size_t(x)] = c.y;
            cb[std::size_t(x)] = c.cb;
            cr[std::size_t(x)] = c.cr;
        }
    }
};

// Each value `factor` times; the loops the compiler turns into wide stores
// for the common factors.
void replicate(const std::uint8_t* values, int count, int factor, std::uint8_t* out) {
    switch (factor) {
        case 1: std::memcpy(out, values, std::size_t(count)); return;
        case 2:
            for (int i = 0; i < count; ++i) out[2 * i] = out[2 * i + 1] = values[i];
            return;
        case 3:
            for (int i = 0; i < count; ++i) out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = values[i];
            return;
        case 4:
            for (int i = 0; i < count; ++i) {
                const std::uint32_t v = values[i] * 0x01010101u;
                std::memcpy(out + 4 * i, &v, 4);
            }
            return;
        default:
            for (int i = 0; i < count; ++i) std::memset(out + std::size_t(i) * std::size_t(factor), values[i], std::size_t(factor));
    }
}

// A padded output line: border, the values enlarged, border.
void layLine(const std::uint8_t* values, int count, int factor, int left, int width, std::uint8_t black,
             std::uint8_t* out) {
    const int inside = count * factor;
    std::memset(out, black, std::size_t(left));
    replicate(values, count, factor, out + left);
    std::memset(out + left + inside, black, std::size_t(width - left - inside));
}

// Chroma when a chroma sample may straddle blocks (odd factors): the mean
// of its four luma positions' values, from the caches of its two rows.
void averagedChroma(const RowCache& upper, const RowCache& lower, const std::vector<int>& columns, int chromaWidth,
                    std::uint8_t* cbOut, std::uint8_t* crOut) {
    const auto at = [](const std::vector<std::uint8_t>& row, int column) -> int {
        return column < 0 ? blackC : row[std::size_t(column)];
    };
    for (int x = 0; x < chromaWidth; ++x) {
        const int p = columns[std::size_t(2 * x)], q = columns[std::size_t(2 * x + 1)];
        cbOut[x] = std::uint8_t((at(upper.cb, p) + at(upper.cb, q) + at(lower.cb, p) + at(lower.cb, q) + 2) >> 2);
        crOut[x] = std::uint8_t((at(upper.cr, p) + at(upper.cr, q) + at(lower.cr, p) + at(lower.cr, q) + 2) >> 2);
    }
}

}  // namespace

bool fits(int sourceWidth, int sourceHeight, int width, int height, int factor, Geometry& geometry) {
    if (sourceWidth < 1 || sourceHeight < 1 || factor < 1 || width < 2 || height < 2 || width % 2 || height % 2)
        return false;
    if (std::int64_t(sourceWidth) * factor > width || std::int64_t(sourceHeight) * factor > height) return false;
    geometry.width = width;
    geometry.height = height;
    geometry.factor = factor;
    geometry.left = (width - sourceWidth * factor) / 2 & ~1;
    geometry.top = (height - sourceHeight * factor) / 2 & ~1;
    return true;
}

Ycc toYcc(int red, int green, int blue) {
    constexpr int half = 1 << (fractionBits - 1);
    return Ycc{std::uint8_t((yR * red + yG * green + yB * blue + (16 << fractionBits) + half) >> fractionBits),
               std::uint8_t((bR * red + bG * green + bB * blue + (128 << fractionBits) + half) >> fractionBits),
               std::uint8_t((rR * red + rG * green + rB * blue + (128 << fractionBits) + half) >> fractionBits)};
}

void convert(const std::uint8_t* source, int sourceWidth, int sourceHeight, int bytesPerPixel, int sourceStride,
             const Geometry& g, std::uint8_t* const planes[3], const int strides[3]) {
    const int f = g.factor;
    const int chromaWidth = g.width / 2, chromaLeft = g.left / 2;
    RowCache upper, lower;

    // Luma: each source row once, its first output line copied to the rest.
    for (int y = 0; y < g.height; ++y) {
        std::uint8_t* out = planes[0] + std::size_t(y) * std::size_t(strides[0]);
        const int row = sourceIndex(y, g.top, f, sourceHeight);
        if (row < 0) {
            std::memset(out, blackY, std::size_t(g.width));
        } else if ((y - g.top) % f != 0) {
            std::memcpy(out, out - strides[0], std::size_t(g.width));
        } else {
            upper.load(source, sourceWidth, bytesPerPixel, sourceStride, row);
            layLine(upper.y.data(), sourceWidth, f, g.left, g.width, blackY, out);
        }
    }

    std::vector<int> columns;
    if (f % 2) {
        columns.resize(std::size_t(g.width));
        for (int x = 0; x < g.width; ++x) columns[std::size_t(x)] = sourceIndex(x, g.left, f, sourceWidth);
    }
    for (int y = 0; y < g.height / 2; ++y) {
        std::uint8_t* cb = planes[1] + std::size_t(y) * std::size_t(strides[1]);
        std::uint8_t* cr = planes[2] + std::size_t(y) * std::size_t(strides[2]);
        const int a = sourceIndex(2 * y, g.top, f, sourceHeight), b = sourceIndex(2 * y + 1, g.top, f, sourceHeight);
        if (a < 0 && b < 0) {
            std::memset(cb, blackC, std::size_t(chromaWidth));
            std::memset(cr, blackC, std::size_t(chromaWidth));
        } else if (f % 2 == 0) {
            // Both lines show the same source row, and each chroma sample
            // half a block: the pixel's own value, factor/2 times.
            upper.load(source, sourceWidth, bytesPerPixel, sourceStride, a);
            layLine(upper.cb.data(), sourceWidth, f / 2, chromaLeft, chromaWidth, blackC, cb);
            layLine(upper.cr.data(), sourceWidth, f / 2, chromaLeft, chromaWidth, blackC, cr);
        } else if (y > 0 && a == sourceIndex(2 * y - 2, g.top, f, sourceHeight) &&
                   b == sourceIndex(2 * y - 1, g.top, f, sourceHeight)) {
            std::memcpy(cb, cb - strides[1], std::size_t(chromaWidth));
            std::memcpy(cr, cr - strides[2], std::size_t(chromaWidth));
        } else {
            upper.load(source, sourceWidth, bytesPerPixel, sourceStride, a);
            lower.load(source, sourceWidth, bytesPerPixel, sourceStride, b);
            averagedChroma(upper, lower, columns, chromaWidth, cb, cr);
        }
    }
}

void convertReference(const std::uint8_t* source, int sourceWidth, int sourceHeight, int bytesPerPixel,
                      int sourceStride, const Geometry& g, std::uint8_t* const planes[3], const int strides[3]) {
    // The colour every output position shows: a source pixel's or black's.
    const auto shown = [&](int x, int y) {
        const int sx = sourceIndex(x, g.left, g.factor, sourceWidth);
        const int sy = sourceIndex(y, g.top, g.factor, sourceHeight);
        if (sx < 0 || sy < 0) return toYcc(0, 0, 0);
        return pixelYcc(pixelAt(source, bytesPerPixel, sourceStride, sx, sy));
    };
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) planes[0][std::size_t(y) * std::size_t(strides[0]) + std::size_t(x)] = shown(x, y).y;
    for (int y = 0; y < g.height / 2; ++y) {
        for (int x = 0; x < g.width / 2; ++x) {
            int cb = 0, cr = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const Ycc c = shown(2 * x + dx, 2 * y + dy);
                    cb += c.cb;
                    cr += c.cr;
                }
            }
            planes[1][std::size_t(y) * std::size_t(strides[1]) + std::size_t(x)] = std::uint8_t((cb + 2) / 4);
            planes[2][std::size_t(y) * std::size_t(strides[2]) + std::size_t(x)] = std::uint8_t((cr + 2) / 4);
        }
    }
}

}  // namespace publishframe
