// The demo's 640x480 framebuffer for tests, and pictures of frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "display/graphics.h"

// Stores the display settings of start-up and makes a surface.
Surface* newFrameSurface();

std::uint32_t* framePixels(Surface* surface);
void fillFrame(Surface* surface, std::uint32_t value);

// Switches the clock to video mode and stores the frame-derived time whose
// demoTime() reading is exactly ms.
void setDemoTime(int ms);

// Writes two 640x480 24-bit frames (BGR, top row first) side by side as a
// binary PPM, actual on the left, and returns the path.
std::string writeSideBySide(const std::string& path, const unsigned char* actual24,
                            const unsigned char* expected24);

// A fixture for effect tests: every effect back at process start, a fresh
// frame as the process-wide surface, the clock in video mode at 0 ms.
class FrameTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::uint32_t px(int x, int y) const { return pixels[y * 640 + x]; }

    std::unique_ptr<Surface> frame;
    std::uint32_t* pixels = nullptr;
};
