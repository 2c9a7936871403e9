// The demo's 640x480 framebuffer for effect tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "display/graphics.h"

// The noise register exactly as defined, one step at a time, from 1638.
inline std::int32_t plainStep(std::int32_t& s) {
    const std::int32_t t = s ^ (s >> 3);
    s = ((t & 1) << 30) | (s >> 1);
    return t >> 1;
}

// Switches the clock to video mode and stores the frame-derived time whose
// demoTime() reading is exactly ms.
void setDemoTime(int ms);

// Every effect back at process start, a fresh frame as the process-wide
// surface, the clock in video mode at 0 ms.
class FrameTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void fill(std::uint32_t value) { std::fill(pixels, pixels + 640 * 480, value); }
    std::uint32_t px(int x, int y) const { return pixels[y * 640 + x]; }
    long count(std::uint32_t value) const { return long(std::count(pixels, pixels + 640 * 480, value)); }

    std::unique_ptr<Surface> frame;
    std::uint32_t* pixels = nullptr;
};
