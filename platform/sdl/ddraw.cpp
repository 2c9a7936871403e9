#include "platform/sdl/video.h"
#include "platform/standin/ddrawsurface.h"

#include <SDL.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct DisplayFormat {
    const char* name;
    Uint32 sdlFormat;
};

// The back-buffer formats QVO_DISPLAY_FORMAT can force, by SDL's names.
constexpr DisplayFormat displayFormats[] = {
    {"xrgb8888", SDL_PIXELFORMAT_RGB888}, {"xbgr8888", SDL_PIXELFORMAT_BGR888}, {"rgb24", SDL_PIXELFORMAT_RGB24},
    {"bgr24", SDL_PIXELFORMAT_BGR24},     {"rgb565", SDL_PIXELFORMAT_RGB565},   {"bgr565", SDL_PIXELFORMAT_BGR565},
    {"rgb555", SDL_PIXELFORMAT_RGB555},   {"bgr555", SDL_PIXELFORMAT_BGR555},
};

// DirectDraw counts the padding bit of 5-5-5 and the spare byte of
// x-8-8-8, so the bit count is the pixel's size, not SDL's depth.
DWORD bitCount(Uint32 format) { return DWORD(SDL_BYTESPERPIXEL(format)) * 8; }

// The forced format, 0 when none is asked for. An unknown name is reported
// once and ignored.
Uint32 forcedFormat() {
    const char* wanted = std::getenv("QVO_DISPLAY_FORMAT");
    if (!wanted || !*wanted) return 0;
    std::string name;
    for (const char* c = wanted; *c; ++c) name += char(std::tolower(static_cast<unsigned char>(*c)));
    for (const DisplayFormat& f : displayFormats)
        if (name == f.name) return f.sdlFormat;
    static bool told = false;
    if (!told) {
        told = true;
        std::fprintf(stderr,
                     "QVO_DISPLAY_FORMAT=%s is not one of xrgb8888, xbgr8888, rgb24, bgr24, rgb565, bgr565, "
                     "rgb555, bgr555; using the default format\n",
                     wanted);
    }
    return 0;
}

// The mode's format: the forced one if its size matches, else the common
// layout of that size.
Uint32 formatForBits(DWORD bits) {
    if (Uint32 forced = forcedFormat()) return bitCount(forced) == bits ? forced : 0;
    switch (bits) {
        case 32: return SDL_PIXELFORMAT_RGB888;
        case 24: return SDL_PIXELFORMAT_BGR24;
        case 16: return SDL_PIXELFORMAT_RGB565;
        default: return 0;
    }
}

bool windowedRequested() {
    const char* w = std::getenv("QVO_WINDOWED");
    return w && std::strcmp(w, "1") == 0;
}

class SdlSurface;

class SdlDirectDraw : public ddraw::CountedDirectDraw {
public:
    ~SdlDirectDraw() override {
        if (rendererAlive()) SDL_DestroyRenderer(renderer);
        win32::stopVideo();
    }

    HRESULT SetCooperativeLevel(HWND hwnd, DWORD flags) override {
        if (flags & DDSCL_NORMAL) {
            leaveFullScreen();
            exclusive = false;
            return DD_OK;
        }
        if ((flags & (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)) != (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN))
            return DDERR_INVALIDPARAMS;
        SDL_Window* sdl = win32::sdlWindow(hwnd);
        if (!sdl) return DDERR_INVALIDPARAMS;
        window = sdl;
        windowId = SDL_GetWindowID(sdl);
        exclusive = true;
        takeOverScreen();
        return DD_OK;
    }

    HRESULT SetDisplayMode(DWORD modeWidth, DWORD modeHeight, DWORD bits) override {
        if (!exclusive) return DDERR_NOEXCLUSIVEMODE;
        if (modeWidth < 1 || modeHeight < 1 || modeWidth > 16384 || modeHeight > 16384) return DDERR_INVALIDMODE;
        Uint32 format = formatForBits(bits);
        if (!format) return DDERR_INVALIDMODE;
        width = int(modeWidth);
        height = int(modeHeight);
        modeFormat = format;
        if (forcedFormat())
            std::fprintf(stderr, "QVO_DISPLAY_FORMAT: back buffer %s\n", SDL_GetPixelFormatName(format));
        return DD_OK;
    }

    HRESULT RestoreDisplayMode() override {
        leaveFullScreen();
        return DD_OK;
    }

    HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface, IUnknown* outer) override;

    // The surfaces' view of their owner.
    bool windowAlive() const { return window && SDL_GetWindowFromID(windowId) == window; }
    bool rendererAlive() const { return renderer && windowAlive() && SDL_GetRenderer(window) == renderer; }
    SDL_Renderer* renderer = nullptr;
    Uint32 modeFormat = 0;
    int width = 0;
    int height = 0;
    SdlSurface* primary = nullptr;

private:
    void takeOverScreen() {
        if (windowedRequested()) {
            // The largest whole multiple of 640 x 480 that fits the screen.
            int scale = 1;
            SDL_Rect usable;
            int display = SDL_GetWindowDisplayIndex(window);
            if (SDL_GetDisplayUsableBounds(display < 0 ? 0 : display, &usable) == 0)
                while (640 * (scale + 1) <= usable.w && 480 * (scale + 1) <= usable.h) ++scale;
            SDL_SetWindowBordered(window, SDL_TRUE);
            SDL_SetWindowSize(window, 640 * scale, 480 * scale);
            SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        } else {
            SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        }
        SDL_ShowWindow(window);
        SDL_RaiseWindow(window);
    }

    void leaveFullScreen() {
        if (windowAlive() && (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN)) SDL_SetWindowFullscreen(window, 0);
    }

    SDL_Window* window = nullptr;
    Uint32 windowId = 0;
    bool exclusive = false;
};

// The primary surface owns the texture; its back buffer is a view of the same
// texture that lives and dies with it.
class SdlSurface : public ddraw::StandInSurface {
public:
    SdlSurface(SdlDirectDraw* owner, SDL_Texture* texture, bool isPrimary)
        : StandInSurface(isPrimary), owner(owner), texture(texture) {}

    ~SdlSurface() override {
        if (!isPrimary) return;
        if (texture && owner->rendererAlive()) SDL_DestroyTexture(texture);
        owner->primary = nullptr;
        owner->Release();
    }

private:
    bool hasPixels() const override { return texture != nullptr; }

    HRESULT lockPixels(Pixels& pixels) override {
        if (!owner->rendererAlive()) return DDERR_SURFACELOST;
        if (SDL_LockTexture(texture, nullptr, &pixels.data, &pixels.pitch) != 0) return DDERR_SURFACELOST;
        pixels.width = DWORD(owner->width);
        pixels.height = DWORD(owner->height);
        return DD_OK;
    }

    void unlockPixels() override {
        if (owner->rendererAlive()) SDL_UnlockTexture(texture);
    }

    HRESULT present(DWORD) override {
        if (!owner->rendererAlive()) return DDERR_SURFACELOST;
        SDL_Renderer* r = owner->renderer;
        SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
        SDL_RenderClear(r);
        SDL_RenderCopy(r, texture, nullptr, nullptr);
        SDL_RenderPresent(r);
        return DD_OK;
    }

    void describe(DDPIXELFORMAT& format) const override {
        int bits = 0;
        Uint32 r = 0, g = 0, b = 0, a = 0;
        SDL_PixelFormatEnumToMasks(owner->modeFormat, &bits, &r, &g, &b, &a);
        format.dwFlags = DDPF_RGB;
        format.dwFourCC = 0;
        format.dwRGBBitCount = bitCount(owner->modeFormat);
        format.dwRBitMask = r;
        format.dwGBitMask = g;
        format.dwBBitMask = b;
        format.dwRGBAlphaBitMask = a;
    }

    SdlDirectDraw* owner;
    SDL_Texture* texture;
};

HRESULT SdlDirectDraw::CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface, IUnknown*) {
    if (HRESULT refused = checkSurfaceRequest(desc, surface, exclusive && windowAlive(), modeFormat != 0, primary);
        refused != DD_OK)
        return refused;
    const bool flipping = CountedDirectDraw::flipping(*desc);
    SDL_Texture* texture = nullptr;
    if (flipping) {
        if (!renderer) {
            renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
            if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
            if (!renderer) {
                std::fprintf(stderr, "CreateSurface: no renderer: %s\n", SDL_GetError());
                return DDERR_GENERIC;
            }
            // Scaled to fit with the aspect ratio kept, black around it.
            SDL_RenderSetLogicalSize(renderer, width, height);
        }
        texture = SDL_CreateTexture(renderer, modeFormat, SDL_TEXTUREACCESS_STREAMING, width, height);
        if (!texture) {
            std::fprintf(stderr, "CreateSurface: no %s texture: %s\n", SDL_GetPixelFormatName(modeFormat),
                         SDL_GetError());
            return DDERR_OUTOFMEMORY;
        }
    }
    auto* created = new SdlSurface(this, texture, true);
    if (flipping) created->attachBack(new SdlSurface(this, texture, false));
    primary = created;
    AddRef();
    *surface = created;
    return DD_OK;
}

ddraw::CreateHook& createHook() {
    static ddraw::CreateHook hook;
    return hook;
}

}  // namespace

HRESULT DirectDrawCreate(GUID*, IDirectDraw** directDraw, IUnknown*) {
    if (!directDraw) return DDERR_INVALIDPARAMS;
    *directDraw = nullptr;
    if (createHook()) return createHook()(directDraw);
    // The caller says what a missing display means: nothing to a render.
    if (!win32::displayAvailable()) return DDERR_NODIRECTDRAWHW;
    return ddraw::createSdlDirectDraw(directDraw);
}

namespace ddraw {

CreateHook setCreateHook(CreateHook hook) {
    CreateHook old = std::move(createHook());
    createHook() = std::move(hook);
    return old;
}

HRESULT createSdlDirectDraw(IDirectDraw** directDraw) {
    if (!directDraw) return DDERR_INVALIDPARAMS;
    *directDraw = nullptr;
    if (!win32::startVideo()) {
        std::fprintf(stderr, "DirectDrawCreate: %s\n", SDL_GetError());
        return DDERR_NODIRECTDRAWHW;
    }
    // When the display cannot be reached SDL quietly falls back to a driver
    // with no screen; the demo would then run unseen to its end. Those
    // drivers count only when asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) &&
        !(asked && SDL_strcasecmp(asked, driver) == 0)) {
        std::fprintf(stderr, "No display to show the demo on (cannot open %s).\n",
                     SDL_getenv("DISPLAY") ? SDL_getenv("DISPLAY") : "the display");
        win32::stopVideo();
        return DDERR_NODIRECTDRAWHW;
    }
    *directDraw = new SdlDirectDraw();
    return DD_OK;
}

}  // namespace ddraw
