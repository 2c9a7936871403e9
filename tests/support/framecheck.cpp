#include "tests/support/framecheck.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

constexpr int width = 640, height = 480;

std::string failureFolder() {
    if (const char* chosen = std::getenv("QVO_FRAME_FAILURES")) return chosen;
    return std::string(QVO_BINARY_DIR) + "/tests/frame-failures";
}

// "Suite.Test-name", with characters a file name should not hold replaced.
std::string pictureStem(const std::string& name) {
    std::string stem = name;
    if (const auto* test = ::testing::UnitTest::GetInstance()->current_test_info())
        stem = std::string(test->test_suite_name()) + "." + test->name() + "-" + name;
    for (char& c : stem)
        if (c == '/' || c == ' ' || c == '\\') c = '_';
    return stem;
}

}  // namespace

bool writePpm(const std::string& path, const std::uint32_t* frame) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    std::vector<unsigned char> row(width * 3);
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = frame[y * width + x];
            row[std::size_t(3 * x)] = std::uint8_t(p >> 16);
            row[std::size_t(3 * x + 1)] = std::uint8_t(p >> 8);
            row[std::size_t(3 * x + 2)] = std::uint8_t(p);
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return std::fclose(f) == 0 && ok;
}

int differingPixels(const std::string& name, const std::uint32_t* frame, const ExpectedPixel& expected) {
    std::vector<std::uint32_t> wanted(width * height), marks(width * height);
    int differing = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t i = std::size_t(y * width + x);
            wanted[i] = expected(x, y, frame[i]) & 0xFFFFFFu;
            const bool wrong = wanted[i] != (frame[i] & 0xFFFFFFu);
            // Differences in white over a dimmed copy of the frame.
            marks[i] = wrong ? 0xFFFFFFu : (frame[i] >> 2) & 0x3F3F3Fu;
            differing += wrong;
        }
    if (differing == 0) return 0;

    const std::string folder = failureFolder();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string stem = folder + "/" + pictureStem(name);
    const std::string actual = stem + "-actual.ppm", expectedPath = stem + "-expected.ppm", diff = stem + "-diff.ppm";
    if (writePpm(actual, frame) && writePpm(expectedPath, wanted.data()) && writePpm(diff, marks.data()))
        std::printf("%d pixels differ in %s:\n  actual:   %s\n  expected: %s\n  differences: %s\n", differing,
                    name.c_str(), actual.c_str(), expectedPath.c_str(), diff.c_str());
    else
        std::printf("%d pixels differ in %s; the pictures could not be written to %s\n", differing, name.c_str(),
                    folder.c_str());
    return differing;
}
