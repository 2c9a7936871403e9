// qvo-titles: renders the three title words into 180x65 one-bit rasters.
//
//   qvo-titles FONT OUTDIR     writes OUTDIR/quel.raw, varn.raw, ossa.raw
//
// The words share one pixel size and one baseline so that, stacked in the
// demo, they read as one title. Each raster is row-major, ink 0 and
// background 255 (the demo treats every byte other than 255 as ink).
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int rasterWidth = 180;
constexpr int rasterHeight = 65;
constexpr int margin = 3;            // clear pixels kept around the ink
constexpr unsigned char inkThreshold = 128;

struct Word {
    const char* text;
    const char* file;
};
const Word words[] = {{"Quel", "quel.raw"}, {"Varn", "varn.raw"}, {"Ossa", "ossa.raw"}};

// A glyph's coverage placed relative to the word's pen origin on the baseline.
struct PlacedGlyph {
    int left, top;                   // top = rows above the baseline
    int width, rows;
    std::vector<unsigned char> coverage;
};

struct Layout {
    std::vector<PlacedGlyph> glyphs;
    int inkLeft = INT_MAX, inkRight = INT_MIN;   // columns, from the pen origin
    int ascent = INT_MIN, descent = INT_MIN;     // rows above / below the baseline
};

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "qvo-titles: %s\n", message.c_str());
    std::exit(1);
}

Layout layOut(FT_Face face, const char* text) {
    Layout layout;
    int penX = 0;
    FT_UInt previous = 0;
    for (const char* c = text; *c; ++c) {
        const FT_UInt index = FT_Get_Char_Index(face, FT_ULong(static_cast<unsigned char>(*c)));
        if (previous && FT_HAS_KERNING(face)) {
            FT_Vector kern;
            if (FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &kern) == 0) penX += int(kern.x >> 6);
        }
        if (FT_Load_Glyph(face, index, FT_LOAD_RENDER) != 0) fail(std::string("cannot render the glyph '") + *c + "'");
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) fail("the font did not render to 8-bit coverage");
        PlacedGlyph glyph{penX + slot->bitmap_left, slot->bitmap_top, int(bitmap.width), int(bitmap.rows), {}};
        glyph.coverage.resize(std::size_t(glyph.width) * std::size_t(glyph.rows));
        for (int y = 0; y < glyph.rows; ++y)
            std::copy_n(bitmap.buffer + y * bitmap.pitch, glyph.width, glyph.coverage.begin() + y * glyph.width);
        if (glyph.width > 0 && glyph.rows > 0) {
            layout.inkLeft = std::min(layout.inkLeft, glyph.left);
            layout.inkRight = std::max(layout.inkRight, glyph.left + glyph.width);
            layout.ascent = std::max(layout.ascent, glyph.top);
            layout.descent = std::max(layout.descent, glyph.rows - glyph.top);
        }
        layout.glyphs.push_back(std::move(glyph));
        penX += int(slot->advance.x >> 6);
        previous = index;
    }
    return layout;
}

struct Fit {
    std::vector<Layout> layouts;
    int ascent = 0, descent = 0;
};

// The largest pixel size at which every word fits inside the margins, all
// measured against one shared baseline.
Fit fitLargest(FT_Face face) {
    for (int size = rasterHeight * 2; size >= 6; --size) {
        if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(size)) != 0) fail("cannot set the pixel size");
        Fit fit;
        fit.ascent = INT_MIN;
        fit.descent = INT_MIN;
        bool fits = true;
        for (const Word& word : words) {
            fit.layouts.push_back(layOut(face, word.text));
            const Layout& l = fit.layouts.back();
            fit.ascent = std::max(fit.ascent, l.ascent);
            fit.descent = std::max(fit.descent, l.descent);
            if (l.inkRight - l.inkLeft > rasterWidth - 2 * margin) fits = false;
        }
        if (fit.ascent + fit.descent > rasterHeight - 2 * margin) fits = false;
        if (fits) return fit;
    }
    fail("the words do not fit at any size");
}

std::vector<unsigned char> rasterise(const Layout& layout, int baseline) {
    std::vector<unsigned char> coverage(rasterWidth * rasterHeight, 0);
    const int originX = (rasterWidth - (layout.inkRight - layout.inkLeft)) / 2 - layout.inkLeft;
    for (const PlacedGlyph& g : layout.glyphs) {
        for (int y = 0; y < g.rows; ++y) {
            for (int x = 0; x < g.width; ++x) {
                const int px = originX + g.left + x;
                const int py = baseline - g.top + y;
                if (px < 0 || px >= rasterWidth || py < 0 || py >= rasterHeight) continue;
                unsigned char& c = coverage[py * rasterWidth + px];
                c = std::max(c, g.coverage[y * g.width + x]);
            }
        }
    }
    std::vector<unsigned char> raster(coverage.size());
    std::transform(coverage.begin(), coverage.end(), raster.begin(),
                   [](unsigned char c) { return c >= inkThreshold ? 0 : 255; });
    return raster;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qvo-titles FONT OUTDIR\n");
        return 2;
    }
    const std::string fontPath = argv[1];
    const std::string outDir = argv[2];

    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) fail("cannot initialise FreeType");
    FT_Face face;
    if (FT_New_Face(library, fontPath.c_str(), 0, &face) != 0)
        fail("cannot open the font " + fontPath + " (Debian package fonts-dejavu-core)");

    const Fit fit = fitLargest(face);
    // One baseline for all three, with the shared ink extent centred vertically.
    const int baseline = (rasterHeight - (fit.ascent + fit.descent)) / 2 + fit.ascent;

    for (std::size_t i = 0; i < std::size(words); ++i) {
        const std::vector<unsigned char> raster = rasterise(fit.layouts[i], baseline);
        const std::string path = outDir + "/" + words[i].file;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) fail("cannot create " + path);
        const bool written = std::fwrite(raster.data(), 1, raster.size(), out) == raster.size();
        if (std::fclose(out) != 0 || !written) fail("cannot write " + path);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return 0;
}
