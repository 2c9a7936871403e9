#include "display/graphics.h"

#include "display/directdrawplatform.h"
#include "source/exceptionserver.h"
#include "source/settings.h"

namespace {

GraphicsPlatform* platform = nullptr;
bool created = false;

}  // namespace

GraphicsPlatform* GraphicsFactory::getPlatform() {
    if (created) return platform;
    SettingsServer* settings = SettingsServer::getInstance();
    // The second selector is only looked at when the first one is 1.
    if (settings->getInt(SettingKey::PlatformSelect1) == 1 &&
        settings->getInt(SettingKey::PlatformSelect2) == 1) {
        platform = new DirectDrawPlatform();
        created = true;
        return platform;
    }
    throw new ExceptionSpace::Exception(msgInvalidPlatform, __FILE__, __LINE__);
}

GraphicsPlatform::~GraphicsPlatform() {
    if (platform == this) platform = nullptr;
    created = false;
}

void GraphicsPlatform::destroyWindow(WindowImpl* body) { delete body; }

void GraphicsPlatform::destroySurface(SurfaceImpl* body) { delete body; }

WindowImpl::WindowImpl(const std::string&) {}
WindowImpl::~WindowImpl() = default;
SurfaceImpl::~SurfaceImpl() = default;

Window::Window(const std::string& title) : body(nullptr) {
    body = GraphicsFactory::getPlatform()->createWindow(title);
}

Window::~Window() { GraphicsFactory::getPlatform()->destroyWindow(body); }

int Window::open() { return body->open(); }
void Window::close() { body->close(); }
bool Window::shouldQuit() { return body->shouldQuit(); }
void Window::setSurface(Surface* surface) { body->setSurface(surface); }
int Window::update() { return body->update(); }

Surface::Surface() : body(GraphicsFactory::getPlatform()->createSurface()) {}

Surface::~Surface() { GraphicsFactory::getPlatform()->destroySurface(body); }

void* Surface::getPixels() { return body->getPixels(); }
std::int32_t Surface::getLeft() { return body->getLeft(); }
std::int32_t Surface::getTop() { return body->getTop(); }
std::int32_t Surface::getRight() { return body->getRight(); }
std::int32_t Surface::getBottom() { return body->getBottom(); }
std::int32_t Surface::getBitsPerPixel() { return body->getBitsPerPixel(); }
