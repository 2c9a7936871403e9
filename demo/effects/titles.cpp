#include "demo/effects/titles.h"

#include <cstdio>

#include "demo/clock.h"
#include "demo/demostate.h"
#include "demo/effects/frame.h"
#include "demo/timeline.h"
#include "source/exceptionserver.h"
#include "source/fileserver.h"
#include "source/processstate.h"

const TitlePlace titlePlaces[3] = {{230, 360}, {230, 50}, {230, 210}};

PROCESS_STATE(std::int32_t, revealedTitles, -2);

namespace {

// The single-precision value nearest to 1/255.
constexpr float inverse255 = 0.0039215689f;

[[noreturn]] void rejectRaster(ExceptionType& error, const char* name) {
    error.setExtraString(name);
    throw ExceptionType(error);
}

}  // namespace

TitleImage::TitleImage(const unsigned char* raster, std::int32_t width, std::int32_t height)
    : width(width), height(height), raster(raster) {}

TitleImage::~TitleImage() {
    if (ownsRaster) delete[] raster;
}

TitleImage* TitleImage::load(const char* name, std::int32_t width, std::int32_t height) {
    // A title without its full raster would be read past its end every frame;
    // refuse it at start-up so the entry point reports it instead.
    const std::int64_t needed = std::int64_t(width) * height;
    const std::int32_t size = fileServer ? fileServer->getFileSize(name) : -1;
    if (size < 0) {
        std::fprintf(stderr, "Title raster \"%s\" is missing.\n", name);
        rejectRaster(exFileNotFound, name);
    }
    if (width <= 0 || height <= 0 || size < needed) {
        std::fprintf(stderr, "Title raster \"%s\" holds %d bytes, %lld needed for %dx%d.\n", name, int(size),
                     static_cast<long long>(needed), int(width), int(height));
        rejectRaster(exInvalidData, name);
    }
    const unsigned char* raster = fileServer->getFile(name);
    if (!raster) {
        std::fprintf(stderr, "Title raster \"%s\" could not be read.\n", name);
        rejectRaster(exFileNotFound, name);
    }
    // The raster stays with the image for the whole run. Pack entries are
    // fresh buffers, loose files belong to the file server.
    TitleImage* image = new TitleImage(raster, width, height);
    image->ownsRaster = packMode;
    return image;
}

void TitleImage::blendTinted(Surface* surface, std::int32_t x, std::int32_t y, float tintR, float tintG,
                             float tintB, float factor, std::int32_t key) const {
    const frame::View view(surface);
    if (!raster || view.width == 0) return;

    const float inv = 1.0f - factor;
    const float add[3] = {factor * tintR, factor * tintG, factor * tintB};

    // Each output channel depends only on its input value: evaluate the blend
    // once per possible value instead of once per pixel.
    std::uint32_t table[3][256];
    for (int c = 0; c < 3; ++c) {
        const int shift = 16 - 8 * c;
        for (int v = 0; v < 256; ++v) {
            const double blended = (double(v) * double(inverse255) * double(inv) + double(add[c])) * 255.0;
            table[c][v] = std::uint32_t(frame::truncToInt(blended)) << shift;
        }
    }

    const std::int32_t rowBegin = frame::clampStart(-y, height);
    const std::int32_t rowEnd = std::max(rowBegin, std::min(height, view.height - y));
    const std::int32_t colBegin = frame::clampStart(-x, width);
    const std::int32_t colEnd = std::max(colBegin, std::min(width, view.width - x));
    for (std::int32_t i = rowBegin; i < rowEnd; ++i) {
        const unsigned char* mask = raster + std::int64_t(i) * width;
        std::uint32_t* out = view.row(y + i) + x;
        for (std::int32_t j = colBegin; j < colEnd; ++j) {
            if (std::int32_t(mask[j]) == key) continue;
            const std::uint32_t p = out[j];
            out[j] = table[0][p >> 16 & 0xFF] | table[1][p >> 8 & 0xFF] | table[2][p & 0xFF];
        }
    }
}

void drawTitles() {
    if (titleCues.finished()) return;
    if (titleCues.fired()) {
        if (titleCues.finished()) return;
        ++revealedTitles;
        if (revealedTitles >= 0) titleFadeTracks[revealedTitles].start(demoTime());
    }
    if (revealedTitles < 0) return;
    for (std::int32_t slot = 0; slot <= revealedTitles; ++slot) {
        // Every visible title follows the newest title's fade.
        const float factor = float(titleFadeTracks[revealedTitles].valueAt(demoTime()));
        if (titleImages[slot])
            titleImages[slot]->blendTinted(surface, titlePlaces[slot].x, titlePlaces[slot].y, 0.7f, 0.7f, 0.9f,
                                           factor, 255);
    }
}

