// qvo-icon run as the build runs it, its PNGs read back by ImageMagick.
#include "resources/mainicon.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

int run(const std::string& command) {
    const int status = std::system((command + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The icon of that size as ImageMagick decodes it: RGBA bytes, rows from the top.
std::string drawn(const ScratchDir& dir, int size) {
    const std::string png = dir.path("icon" + std::to_string(size) + ".png"), rgba = png + ".rgba";
    if (run(std::string("'" QVO_ICON_TOOL "' ") + std::to_string(size) + " " + png) != 0) return "tool failed";
    if (run("convert " + png + " -depth 8 rgba:" + rgba) != 0) return "not a PNG ImageMagick reads";
    return ScratchDir::read(rgba);
}

std::uint32_t pixel(const std::string& rgba, int size, int x, int y) {
    const std::size_t at = (std::size_t(y) * size + x) * 4;
    const auto byte = [&](int i) { return std::uint32_t(static_cast<unsigned char>(rgba[at + i])); };
    return byte(3) << 24 | byte(0) << 16 | byte(1) << 8 | byte(2);
}

TEST(IconTool, WholeMultiplesOfTheArtRepeatEachArtPixel) {
    ScratchDir dir;
    for (int size : {32, 64, 256}) {
        const std::string rgba = drawn(dir, size);
        ASSERT_EQ(rgba.size(), std::size_t(size) * size * 4) << size << ": " << rgba.substr(0, 40);
        int wrong = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const int scale = size / resources::mainIconSize;
                std::uint32_t expected = resources::mainIconColour(resources::mainIconArt[y / scale][x / scale]);
                if ((expected >> 24) == 0) expected = 0;  // transparent pixels carry no colour
                wrong += pixel(rgba, size, x, y) != expected;
            }
        EXPECT_EQ(wrong, 0) << size;
    }
}

// Other sizes average the art: the same overall colour and coverage as the
// art itself, mostly transparent corners (the art's rounded edge), an opaque
// middle.
TEST(IconTool, OtherSizesKeepTheArtsColourAndShape) {
    ScratchDir dir;
    const auto means = [](const std::string& rgba) {
        double alpha = 0, red = 0;
        for (std::size_t i = 0; i < rgba.size(); i += 4) {
            const double a = static_cast<unsigned char>(rgba[i + 3]);
            alpha += a;
            red += a * static_cast<unsigned char>(rgba[i]);
        }
        return std::pair{alpha / double(rgba.size() / 4), red / alpha};
    };
    const auto [artAlpha, artRed] = means(drawn(dir, 32));
    for (int size : {16, 22, 24, 48}) {
        const std::string rgba = drawn(dir, size);
        ASSERT_EQ(rgba.size(), std::size_t(size) * size * 4) << size << ": " << rgba.substr(0, 40);
        const auto [alpha, red] = means(rgba);
        EXPECT_NEAR(alpha, artAlpha, 1.5) << size;
        EXPECT_NEAR(red, artRed, 1.5) << size;
        EXPECT_LT(pixel(rgba, size, 0, 0) >> 24, 0x80u) << size;
        EXPECT_EQ(pixel(rgba, size, size / 2, size / 2) >> 24, 0xFFu) << size;
    }
}

TEST(IconTool, RefusesBadSizesAndReportsUnwritableFiles) {
    ScratchDir dir;
    for (const char* size : {"0", "-3", "1025", "big"})
        EXPECT_EQ(run(std::string("'" QVO_ICON_TOOL "' ") + size + " " + dir.path("x.png")), 2) << size;
    EXPECT_EQ(run("'" QVO_ICON_TOOL "' 32"), 2);
    EXPECT_EQ(run("'" QVO_ICON_TOOL "' 32 " + dir.path("no/such/folder.png")), 1);
}

}  // namespace
