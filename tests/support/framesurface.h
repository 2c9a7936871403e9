// The demo's 640x480 framebuffer for tests, and pictures of frames.
#pragma once

#include <cstdint>
#include <string>

class Surface;

// Stores the display settings of start-up and makes a surface.
Surface* newFrameSurface();

std::uint32_t* framePixels(Surface* surface);
void fillFrame(Surface* surface, std::uint32_t value);

// Writes two 640x480 24-bit frames (BGR, top row first) side by side as a
// binary PPM, actual on the left, and returns the path.
std::string writeSideBySide(const std::string& path, const unsigned char* actual24,
                            const unsigned char* expected24);
