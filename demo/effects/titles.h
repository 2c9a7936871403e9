// The three title words and their reveal.
//
// A TitleImage is an 8-bit raster used as a one-bit mask: 255 is transparent,
// every other value is ink. blendTinted pulls the frame's pixels under the
// ink toward a tint by a factor; drawTitles reveals slot 0, 1, 2 on the title
// cues, each reveal dropping every visible title back to a dim factor.
#pragma once

#include <cstdint>

class Surface;

class TitleImage {
public:
    // Wraps a raster of at least width x height bytes (not copied, not owned).
    TitleImage(const unsigned char* raster, std::int32_t width, std::int32_t height);
    ~TitleImage();
    TitleImage(const TitleImage&) = delete;
    TitleImage& operator=(const TitleImage&) = delete;

    // Loads a title raster from the process-wide file server. A raster that
    // is missing or holds fewer than width x height bytes throws a copy of
    // exFileNotFound / exInvalidData with the name as extra text.
    static TitleImage* load(const char* name, std::int32_t width, std::int32_t height);

    // Blends the ink onto the surface with the top-left pixel at (x, y):
    // each channel v becomes trunc((v * (1/255) * (1 - factor) + factor * tint) * 255).
    void blendTinted(Surface* surface, std::int32_t x, std::int32_t y, float tintR, float tintG,
                     float tintB, float factor, std::int32_t key) const;

    std::int32_t width;
    std::int32_t height;
    const unsigned char* raster;

private:
    bool ownsRaster = false;  // a pack entry handed over by the file server
};

// Where each title slot is drawn: 0 "ossa" low, 1 "quel" high, 2 "varn" middle.
struct TitlePlace {
    std::int32_t x;
    std::int32_t y;
};
extern const TitlePlace titlePlaces[3];

extern std::int32_t revealedTitles;  // -2 at start; the newest revealed slot

// Per-frame title reveal onto the process-wide surface and title images.
void drawTitles();
