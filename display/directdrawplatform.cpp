#include "display/directdrawplatform.h"

#include "display/ddrawdisplay.h"
#include "source/settings.h"

#include <cstddef>
#include <cstring>
#include <new>

WindowImpl* DirectDrawPlatform::createWindow(const std::string& title) { return new DirectDrawWindow(title); }

SurfaceImpl* DirectDrawPlatform::createSurface() { return new MemorySurface(); }

DirectDrawWindow::DirectDrawWindow(const std::string& title) : WindowImpl(title) {}

int DirectDrawWindow::open() {
    SettingsServer* settings = SettingsServer::getInstance();
    std::int32_t height = settings->getInt(SettingKey::Height);
    std::int32_t width = settings->getInt(SettingKey::Width);
    return initDisplay("Tirrow", width, height);
}

void DirectDrawWindow::close() { shutdownDisplay(); }

bool DirectDrawWindow::shouldQuit() { return false; }

void DirectDrawWindow::setSurface(Surface* attached) { surface = attached; }

int DirectDrawWindow::update() {
    // Without a surface there is nothing to show, but the messages still
    // flow, so Escape keeps working.
    return presentFrame(surface ? surface->getPixels() : nullptr);
}

MemorySurface::MemorySurface() {
    SettingsServer* settings = SettingsServer::getInstance();
    right = settings->getInt(SettingKey::Width);
    bottom = settings->getInt(SettingKey::Height);
    bitsPerPixel = settings->getInt(SettingKey::BitsPerPixel);
    // Formed in 64 bits so odd settings cannot wrap around into a small
    // block that the effects would then overrun; a negative size is empty.
    std::int64_t bytes = std::int64_t(bottom - top) * std::int64_t(right - left) * std::int64_t(bitsPerPixel / 8);
    if (bytes < 0) bytes = 0;
    std::size_t size = std::size_t(bytes);
    // Zeroed: the pre-roll presents this block before anything is drawn.
    pixels = ::operator new(size == 0 ? 1 : size);
    std::memset(pixels, 0, size);
}

MemorySurface::~MemorySurface() { ::operator delete(pixels); }

void* MemorySurface::getPixels() { return pixels; }
std::int32_t MemorySurface::getLeft() { return left; }
std::int32_t MemorySurface::getTop() { return top; }
std::int32_t MemorySurface::getRight() { return right; }
std::int32_t MemorySurface::getBottom() { return bottom; }
std::int32_t MemorySurface::getBitsPerPixel() { return bitsPerPixel; }
