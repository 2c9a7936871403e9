// qvo-icon SIZE OUT.png
// qvo-icon --ico OUT.ico
//
// Writes the program's window icon (resources/mainicon.h) as a SIZE x SIZE
// RGBA PNG for the desktop's icon theme, or as a Windows icon file holding
// it at 16, 32, 48 and 256 pixels (PNG images inside, as Windows reads them
// since Vista) for the Windows build's resources. Each output pixel is the area
// average of the art's pixels it covers (alpha-weighted), so whole multiples
// of 32 stay crisp and other sizes get soft edges. The PNG's image data is
// stored uncompressed: icons are small and no compression library is needed.
// Exit 0 on success, 1 when OUT cannot be written, 2 on misuse.
#include "resources/mainicon.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t crc32(const unsigned char* data, std::size_t size, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::uint32_t adler32(const Bytes& data) {
    std::uint32_t a = 1, b = 0;
    for (unsigned char byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void putBig32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void putChunk(Bytes& png, const char* type, const Bytes& data) {
    putBig32(png, std::uint32_t(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    putBig32(png, crc32(png.data() + start, png.size() - start));
}

// A zlib stream of stored (uncompressed) deflate blocks.
Bytes storedZlib(const Bytes& raw) {
    Bytes out{0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t length = std::min<std::size_t>(raw.size() - at, 65535);
        out.push_back(at + length == raw.size() ? 1 : 0);
        out.push_back(static_cast<unsigned char>(length));
        out.push_back(static_cast<unsigned char>(length >> 8));
        out.push_back(static_cast<unsigned char>(~length));
        out.push_back(static_cast<unsigned char>(~length >> 8));
        out.insert(out.end(), raw.begin() + std::ptrdiff_t(at), raw.begin() + std::ptrdiff_t(at + length));
        at += length;
    } while (at < raw.size());
    putBig32(out, adler32(raw));
    return out;
}

// Rows of RGBA, each led by PNG's filter byte 0.
Bytes scaledIcon(int size) {
    const int art = resources::mainIconSize;
    Bytes rows;
    for (int y = 0; y < size; ++y) {
        rows.push_back(0);
        for (int x = 0; x < size; ++x) {
            // The output pixel covers [x0, x1) x [y0, y1) in art pixels.
            const double x0 = double(x) * art / size, x1 = double(x + 1) * art / size;
            const double y0 = double(y) * art / size, y1 = double(y + 1) * art / size;
            double sum[4] = {0, 0, 0, 0};
            for (int ay = int(y0); ay < art && ay < y1; ++ay)
                for (int ax = int(x0); ax < art && ax < x1; ++ax) {
                    const double w = (std::min(x1, ax + 1.0) - std::max(x0, double(ax))) *
                                     (std::min(y1, ay + 1.0) - std::max(y0, double(ay)));
                    const std::uint32_t argb = resources::mainIconColour(resources::mainIconArt[ay][ax]);
                    const double alpha = (argb >> 24) / 255.0;
                    sum[0] += w * alpha * ((argb >> 16) & 0xFF);
                    sum[1] += w * alpha * ((argb >> 8) & 0xFF);
                    sum[2] += w * alpha * (argb & 0xFF);
                    sum[3] += w * alpha;
                }
            const double area = (x1 - x0) * (y1 - y0);
            for (int c = 0; c < 3; ++c)
                rows.push_back(static_cast<unsigned char>(sum[3] > 0 ? sum[c] / sum[3] + 0.5 : 0));
            rows.push_back(static_cast<unsigned char>(sum[3] / area * 255 + 0.5));
        }
    }
    return rows;
}

Bytes png(int size) {
    Bytes file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    putBig32(header, std::uint32_t(size));
    putBig32(header, std::uint32_t(size));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter choice, no interlace
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", storedZlib(scaledIcon(size)));
    putChunk(file, "IEND", {});
    return file;
}

void putLittle(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// An icon directory of PNG images: the 6-byte header, a 16-byte entry per
// image, then the images.
Bytes ico() {
    const int sizes[] = {16, 32, 48, 256};
    std::vector<Bytes> images;
    for (int size : sizes) images.push_back(png(size));
    Bytes file;
    putLittle(file, 0, 2);
    putLittle(file, 1, 2);  // an icon
    putLittle(file, std::uint32_t(images.size()), 2);
    std::uint32_t offset = std::uint32_t(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<unsigned char>(sizes[i] % 256));  // 256 is written as 0
        file.push_back(static_cast<unsigned char>(sizes[i] % 256));
        file.push_back(0);  // no palette
        file.push_back(0);
        putLittle(file, 1, 2);   // planes
        putLittle(file, 32, 2);  // bits per pixel
        putLittle(file, std::uint32_t(images[i].size()), 4);
        putLittle(file, offset, 4);
        offset += std::uint32_t(images[i].size());
    }
    for (const Bytes& image : images) file.insert(file.end(), image.begin(), image.end());
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    const bool icoFile = argc == 3 && std::string(argv[1]) == "--ico";
    const int size = argc == 3 && !icoFile ? std::atoi(argv[1]) : 0;
    if (!icoFile && (size < 1 || size > 1024)) {
        std::fprintf(stderr, "usage: qvo-icon SIZE OUT.png   (SIZE from 1 to 1024)\n"
                             "       qvo-icon --ico OUT.ico\n");
        return 2;
    }
    const Bytes bytes = icoFile ? ico() : png(size);
    std::FILE* out = std::fopen(argv[2], "wb");
    bool ok = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (out) ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
