// The window stand-in over SDL: each window is an SDL window, and SDL's
// events become the queue's messages when it is pumped.
#include "platform/sdl/video.h"
#include "platform/standin/windowcore.h"

#include <SDL.h>
#include <dirent.h>

#include <cstring>

namespace {

using windowcore::post;

struct SdlWindowRecord : windowcore::WindowRecord {
    SDL_Window* sdl = nullptr;
    std::uint32_t sdlId = 0;

    void close() override {
        // A renderer left on the window goes first, whatever the SDL version
        // does with it on its own.
        if (SDL_Renderer* renderer = SDL_GetRenderer(sdl)) SDL_DestroyRenderer(renderer);
        SDL_DestroyWindow(sdl);
        sdl = nullptr;
        sdlId = 0;
        win32::stopVideo();
    }

    bool show(bool visible) override {
        const bool wasVisible = (SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN) != 0;
        if (visible)
            SDL_ShowWindow(sdl);
        else
            SDL_HideWindow(sdl);
        return wasVisible;
    }
};

SdlWindowRecord* recordOfSdlWindow(std::uint32_t id) {
    for (auto& r : windowcore::windows()) {
        auto* w = static_cast<SdlWindowRecord*>(r.get());
        if (w->alive && w->sdlId == id) return w;
    }
    return nullptr;
}

WPARAM virtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return WPARAM('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return WPARAM('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return WPARAM(0x70 + (key - SDLK_F1));
    switch (key) {
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_RETURN: return VK_RETURN;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_TAB: return 0x09;
        case SDLK_BACKSPACE: return 0x08;
        case SDLK_LEFT: return 0x25;
        case SDLK_UP: return 0x26;
        case SDLK_RIGHT: return 0x27;
        case SDLK_DOWN: return 0x28;
        default: return 0;
    }
}

void translate(const SDL_Event& e) {
    switch (e.type) {
        case SDL_QUIT:
            // Also what SIGINT/SIGTERM become: the window closes cleanly.
            for (auto& r : windowcore::windows())
                if (r->alive) post(r.get(), WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT: {
            SdlWindowRecord* r = recordOfSdlWindow(e.window.windowID);
            if (!r) break;
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE: post(r, WM_CLOSE, 0, 0); break;
                case SDL_WINDOWEVENT_FOCUS_GAINED: post(r, WM_ACTIVATEAPP, 1, 0); break;
                case SDL_WINDOWEVENT_FOCUS_LOST: post(r, WM_ACTIVATEAPP, 0, 0); break;
                case SDL_WINDOWEVENT_SHOWN:
                case SDL_WINDOWEVENT_ENTER: windowcore::postCursorOver(r); break;
                default: break;
            }
            break;
        }
        case SDL_MOUSEMOTION:
            if (SdlWindowRecord* r = recordOfSdlWindow(e.motion.windowID)) windowcore::postCursorOver(r);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            SdlWindowRecord* r = recordOfSdlWindow(e.key.windowID);
            WPARAM key = virtualKey(e.key.keysym.sym);
            if (!r || key == 0) break;
            // Repeat count 1, scan code, "was down before" for auto-repeat.
            LPARAM lParam = 1 | (LPARAM(e.key.keysym.scancode & 0xFF) << 16) | (e.key.repeat ? LPARAM(1) << 30 : 0);
            post(r, e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, key, lParam);
            break;
        }
        default: break;
    }
}

std::uint32_t windowIdOf(const SDL_Event& e) {
    switch (e.type) {
        case SDL_WINDOWEVENT: return e.window.windowID;
        case SDL_KEYDOWN:
        case SDL_KEYUP: return e.key.windowID;
        case SDL_TEXTEDITING: return e.edit.windowID;
        case SDL_TEXTINPUT: return e.text.windowID;
        case SDL_MOUSEMOTION: return e.motion.windowID;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: return e.button.windowID;
        case SDL_MOUSEWHEEL: return e.wheel.windowID;
        default: return 0;
    }
}

// An event for an existing SDL window that is not one of ours.
bool addressedElsewhere(const SDL_Event& e) {
    std::uint32_t id = windowIdOf(e);
    return id != 0 && !recordOfSdlWindow(id) && SDL_GetWindowFromID(id) != nullptr;
}

void applyScreenSaver() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    if (win32::screenSaverAllowed())
        SDL_EnableScreenSaver();
    else
        SDL_DisableScreenSaver();
}

}  // namespace

namespace {

// Without a GPU (no DRM device: a virtual X server, a plain VM) OpenGL is
// Mesa's software rasteriser, which takes half a second and some 30 MB to
// start and draws a 640 x 480 picture no faster than SDL's own software
// renderer; and SDL's check of whether a window's pixels should go through
// GL starts it too. There SDL's software paths are the defaults;
// SDL_RENDER_DRIVER and SDL_FRAMEBUFFER_ACCELERATION in the environment
// still decide.
bool gpuPresent() {
    DIR* dri = opendir("/dev/dri");
    if (!dri) return false;
    bool found = false;
    while (const dirent* entry = readdir(dri))
        if (std::strncmp(entry->d_name, "card", 4) == 0 || std::strncmp(entry->d_name, "renderD", 7) == 0) found = true;
    closedir(dri);
    return found;
}

void preferSoftwareWithoutGpu() {
    static const bool gpu = gpuPresent();
    if (gpu) return;
    SDL_SetHintWithPriority(SDL_HINT_RENDER_DRIVER, "software", SDL_HINT_DEFAULT);
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
}

}  // namespace

namespace windowcore::backend {

std::unique_ptr<WindowRecord> openWindow(const WNDCLASSA& windowClass, const char* title, DWORD style, int x, int y,
                                         int width, int height) {
    if (!win32::startVideo()) return nullptr;
    if (width < 1 || height < 1) {
        width = 640;
        height = 480;
    }
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (style & WS_POPUP) flags |= SDL_WINDOW_BORDERLESS;
    SDL_Window* sdl = SDL_CreateWindow(title, x, y, width, height, flags);
    if (!sdl) {
        SDL_Log("CreateWindowExA: %s", SDL_GetError());
        win32::stopVideo();
        return nullptr;
    }
    if (const Icon* icon = classIcon(windowClass)) {
        SDL_Surface* image = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(icon->argb.data()),
                                                                icon->width, icon->height, 32, icon->width * 4,
                                                                SDL_PIXELFORMAT_ARGB8888);
        if (image) {
            SDL_SetWindowIcon(sdl, image);
            SDL_FreeSurface(image);
        }
    }
    auto r = std::make_unique<SdlWindowRecord>();
    r->sdl = sdl;
    r->sdlId = SDL_GetWindowID(sdl);
    return r;
}

void takeEvents() {
    if (!anyLiveWindow()) return;
    SDL_PumpEvents();
    // Takes what concerns this module and leaves events addressed to other
    // SDL windows (the progress dialog) for their owners.
    SDL_FilterEvents(
        [](void*, SDL_Event* e) -> int {
            if (addressedElsewhere(*e)) return 1;
            translate(*e);
            return 0;
        },
        nullptr);
}

void hideCursor(bool hidden) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(hidden ? SDL_DISABLE : SDL_ENABLE);
}

void allowScreenSaver(bool) { applyScreenSaver(); }

}  // namespace windowcore::backend

namespace win32 {

SDL_Window* sdlWindow(HWND window) {
    auto* r = static_cast<SdlWindowRecord*>(windowcore::liveWindow(window));
    return r ? r->sdl : nullptr;
}

bool startVideo() {
    // SDL keeps the screen saver away by default; here only
    // SystemParametersInfoA decides.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    preferSoftwareWithoutGpu();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    applyScreenSaver();
    if (cursorHidden()) SDL_ShowCursor(SDL_DISABLE);
    return true;
}

void stopVideo() { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

}  // namespace win32
