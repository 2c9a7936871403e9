#include "tests/support/framesurface.h"

#include <cmath>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "demo/clock.h"
#include "demo/commandline.h"

#include "display/graphics.h"
#include "demo/demostate.h"
#include "demo/frameloop.h"
#include "demo/headlessrender.h"

Surface* newFrameSurface() {
    storeDisplaySettings();
    return new Surface();
}

std::uint32_t* framePixels(Surface* surface) { return static_cast<std::uint32_t*>(surface->getPixels()); }

void fillFrame(Surface* surface, std::uint32_t value) {
    std::uint32_t* pixels = framePixels(surface);
    const int count = surface->getRight() * surface->getBottom();
    for (int i = 0; i < count; ++i) pixels[i] = value;
}

void setDemoTime(int ms) {
    videoMode = true;
    float units = float(double(ms) * 0.071);
    for (int tries = 0; tries < 64; ++tries) {
        setVideoTime(units);
        if (demoTime() == ms) return;
        units = std::nextafter(units, demoTime() < ms ? 1e30f : -1e30f);
    }
    throw std::runtime_error("no video time reads " + std::to_string(ms) + " ms");
}

std::string writeSideBySide(const std::string& path, const unsigned char* actual24,
                            const unsigned char* expected24) {
    constexpr int width = 640, height = 480, gap = 8;
    std::vector<unsigned char> image(std::size_t(2 * width + gap) * height * 3, 128);
    for (int y = 0; y < height; ++y)
        for (int side = 0; side < 2; ++side) {
            const unsigned char* in = (side == 0 ? actual24 : expected24) + std::size_t(y) * width * 3;
            unsigned char* out = image.data() + (std::size_t(y) * (2 * width + gap) + side * (width + gap)) * 3;
            for (int x = 0; x < width; ++x) {
                out[3 * x] = in[3 * x + 2];  // PPM wants red first
                out[3 * x + 1] = in[3 * x + 1];
                out[3 * x + 2] = in[3 * x];
            }
        }
    std::ofstream file(path, std::ios::binary);
    file << "P6\n" << 2 * width + gap << ' ' << height << "\n255\n";
    file.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    return path;
}

void FrameTest::SetUp() {
    resetEffects();
    frame.reset(newFrameSurface());
    pixels = framePixels(frame.get());
    surface = frame.get();
    setDemoTime(0);
}

void FrameTest::TearDown() {
    surface = nullptr;
    resetEffects();
}
