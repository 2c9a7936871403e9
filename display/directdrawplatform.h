// The one graphics platform: windows presented through the DirectDraw
// display module and surfaces that are plain blocks of system memory.
#pragma once

#include "display/graphics.h"

#include <cstdint>
#include <string>

class DirectDrawPlatform : public GraphicsPlatform {
public:
    WindowImpl* createWindow(const std::string& title) override;
    SurfaceImpl* createSurface() override;
};

// Full-screen output: open/close/update go to initDisplay, shutdownDisplay
// and presentFrame. The attached surface is only referred to.
class DirectDrawWindow : public WindowImpl {
public:
    explicit DirectDrawWindow(const std::string& title);
    int open() override;
    void close() override;
    bool shouldQuit() override;
    void setSurface(Surface* surface) override;
    int update() override;

private:
    Surface* surface = nullptr;
};

// Width x height pixels of BitsPerPixel/8 bytes each, sized from the
// settings when built and zero-filled so that nothing stale is ever shown.
class MemorySurface : public SurfaceImpl {
public:
    MemorySurface();
    ~MemorySurface() override;
    void* getPixels() override;
    std::int32_t getLeft() override;
    std::int32_t getTop() override;
    std::int32_t getRight() override;
    std::int32_t getBottom() override;
    std::int32_t getBitsPerPixel() override;

private:
    void* pixels = nullptr;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t bitsPerPixel = 0;
};
