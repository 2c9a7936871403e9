// A 640x480 frame compared with the frame expected, pixel by pixel. When they
// differ, both are written as PPM images next to the test output
// (BUILD/tests/frame-failures/, or $QVO_FRAME_FAILURES) with a third that
// marks the differing pixels in white, and the paths are printed, so a
// failure can be looked at and not only counted.
//
//   EXPECT_EQ(differingPixels("black-at-152s", frame, [](int x, int y, std::uint32_t actual) {
//       return 0u;       // the colour this pixel should have; `actual` where any is right
//   }), 0);
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// expected(x, y, actual) gives the colour pixel (x, y) should have, as
// 0x00RRGGBB; a check that accepts a range returns the actual colour when it
// is in range and the nearest right one when not.
using ExpectedPixel = std::function<std::uint32_t(int x, int y, std::uint32_t actual)>;

// The number of pixels that differ; on a difference the pictures are written
// under the running test's name and `name`.
int differingPixels(const std::string& name, const std::uint32_t* frame, const ExpectedPixel& expected);

// Writes a 640x480 frame of 0x00RRGGBB pixels as a binary PPM; false on failure.
bool writePpm(const std::string& path, const std::uint32_t* frame);
