// The display seen from the demo: a Window to present on and a Surface, the
// 640x480 framebuffer of 0x00RRGGBB words the effects draw into. Both are
// handles whose bodies come from the one GraphicsPlatform, chosen by the
// settings on first use.
//
//   Window* window = new Window("");   // throws Exception* "Invalid platform!"
//   Surface* surface = new Surface();
//   window->setSurface(surface);
//   window->open();                    // 1 on success, 0 without a display
//   ... draw into surface->getPixels() ...
//   window->update();                  // pump messages, convert, flip
#pragma once

#include <cstdint>
#include <string>

class Surface;

class WindowImpl {
public:
    explicit WindowImpl(const std::string& title);
    virtual ~WindowImpl();
    virtual int open() = 0;
    virtual void close() = 0;
    virtual bool shouldQuit() = 0;
    virtual void setSurface(Surface* surface) = 0;
    virtual int update() = 0;
};

class SurfaceImpl {
public:
    virtual ~SurfaceImpl();
    virtual void* getPixels() = 0;
    virtual std::int32_t getLeft() = 0;
    virtual std::int32_t getTop() = 0;
    virtual std::int32_t getRight() = 0;
    virtual std::int32_t getBottom() = 0;
    virtual std::int32_t getBitsPerPixel() = 0;
};

class GraphicsPlatform {
public:
    virtual ~GraphicsPlatform();
    virtual WindowImpl* createWindow(const std::string& title) = 0;
    virtual void destroyWindow(WindowImpl* body);
    virtual SurfaceImpl* createSurface() = 0;
    virtual void destroySurface(SurfaceImpl* body);
};

namespace GraphicsFactory {
GraphicsPlatform* getPlatform();
}

class Window {
public:
    explicit Window(const std::string& title);
    virtual ~Window();
    virtual int open();
    virtual void close();
    virtual bool shouldQuit();
    virtual void setSurface(Surface* surface);
    virtual int update();

private:
    WindowImpl* body;
};

class Surface {
public:
    Surface();
    virtual ~Surface();
    virtual void* getPixels();
    virtual std::int32_t getLeft();
    virtual std::int32_t getTop();
    virtual std::int32_t getRight();
    virtual std::int32_t getBottom();
    virtual std::int32_t getBitsPerPixel();

private:
    SurfaceImpl* body;
};
