// The DirectDraw subset over the page's 640x480 canvas. The one display mode
// is 32 bits in the canvas's own byte order, R, G, B, A: its masks say so,
// and the display picks the row converter that writes that order. Flip
// hands the back buffer to putImageData and, with DDFLIP_WAIT, waits for the
// browser's next animation frame, where the page gets its turn.
#include "platform/ddraw.h"

#include "platform/web/browser.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace web {
void noteYield();
}

namespace {

constexpr DWORD redMask = 0x000000FF, greenMask = 0x0000FF00, blueMask = 0x00FF0000, alphaMask = 0xFF000000;

class CanvasSurface;

class CanvasDirectDraw : public IDirectDraw {
public:
    std::uint32_t AddRef() override { return ++references; }

    std::uint32_t Release() override {
        if (references == 0) return 0;
        if (--references > 0) return references;
        delete this;
        return 0;
    }

    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        if (flags & DDSCL_NORMAL) {
            qvo_leave_full_screen();
            exclusive = false;
            return DD_OK;
        }
        if ((flags & (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)) != (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN) || !window)
            return DDERR_INVALIDPARAMS;
        // Full screen needs the user's gesture in a browser: the page offers
        // it (double click, F); here the canvas is shown, fitted to the page.
        exclusive = true;
        ShowWindow(window, SW_SHOW);
        return DD_OK;
    }

    HRESULT SetDisplayMode(DWORD modeWidth, DWORD modeHeight, DWORD bits) override {
        if (!exclusive) return DDERR_NOEXCLUSIVEMODE;
        if (modeWidth != 640 || modeHeight != 480 || bits != 32) return DDERR_INVALIDMODE;
        modeSet = true;
        return DD_OK;
    }

    HRESULT RestoreDisplayMode() override {
        qvo_leave_full_screen();
        return DD_OK;
    }

    HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface, IUnknown* outer) override;

    CanvasSurface* primary = nullptr;

private:
    std::uint32_t references = 1;
    bool exclusive = false;
    bool modeSet = false;
};

// The primary surface owns the pixels; its back buffer is a view of them
// that lives and dies with it.
class CanvasSurface : public IDirectDrawSurface {
public:
    CanvasSurface(CanvasDirectDraw* owner, std::vector<std::uint32_t>* pixels, bool isPrimary)
        : owner(owner), pixels(pixels), isPrimary(isPrimary) {}

    std::uint32_t AddRef() override { return isPrimary ? ++references : 1; }

    std::uint32_t Release() override {
        if (!isPrimary) return 1;
        if (references == 0) return 0;
        if (--references > 0) return references;
        delete back;
        delete pixels;
        owner->primary = nullptr;
        owner->Release();
        delete this;
        return 0;
    }

    HRESULT Flip(IDirectDrawSurface*, DWORD flags) override {
        if (!isPrimary || !back) return DDERR_INVALIDPARAMS;
        if (back->locked) return DDERR_SURFACEBUSY;
        // The converter leaves the fourth byte 0; the canvas would take it
        // for transparency.
        for (std::uint32_t& p : *pixels) p |= alphaMask;
        qvo_present(pixels->data(), 640, 480);
        if (flags & DDFLIP_WAIT) {
            qvo_wait_frame();
            web::noteYield();
        }
        return DD_OK;
    }

    HRESULT GetAttachedSurface(DDSCAPS* caps, IDirectDrawSurface** attached) override {
        if (!caps || !attached) return DDERR_INVALIDPARAMS;
        if (!back || caps->dwCaps != DDSCAPS_BACKBUFFER) return DDERR_NOTFOUND;
        *attached = back;
        return DD_OK;
    }

    HRESULT GetPixelFormat(DDPIXELFORMAT* format) override {
        if (!format || format->dwSize != DDPIXELFORMAT_SIZE) return DDERR_INVALIDPARAMS;
        describe(*format);
        return DD_OK;
    }

    HRESULT Lock(RECT*, DDSURFACEDESC* desc, DWORD, HANDLE) override {
        if (!desc || desc->dwSize != DDSURFACEDESC_SIZE) return DDERR_INVALIDPARAMS;
        if (!pixels) return DDERR_UNSUPPORTED;
        if (locked) return DDERR_SURFACEBUSY;
        locked = true;
        desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE | DDSD_PIXELFORMAT;
        desc->dwWidth = 640;
        desc->dwHeight = 480;
        desc->lPitch = 640 * 4;
        desc->lpSurface = pixels->data();
        desc->ddpfPixelFormat.dwSize = DDPIXELFORMAT_SIZE;
        describe(desc->ddpfPixelFormat);
        return DD_OK;
    }

    HRESULT Restore() override { return DD_OK; }

    HRESULT Unlock(void*) override {
        if (!locked) return DDERR_NOTLOCKED;
        locked = false;
        return DD_OK;
    }

    CanvasSurface* back = nullptr;

private:
    static void describe(DDPIXELFORMAT& format) {
        format.dwFlags = DDPF_RGB;
        format.dwFourCC = 0;
        format.dwRGBBitCount = 32;
        format.dwRBitMask = redMask;
        format.dwGBitMask = greenMask;
        format.dwBBitMask = blueMask;
        format.dwRGBAlphaBitMask = alphaMask;
    }

    CanvasDirectDraw* owner;
    std::vector<std::uint32_t>* pixels;
    bool isPrimary;
    bool locked = false;
    std::uint32_t references = 1;
};

HRESULT CanvasDirectDraw::CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface, IUnknown*) {
    if (!desc || !surface || desc->dwSize != DDSURFACEDESC_SIZE || !(desc->dwFlags & DDSD_CAPS))
        return DDERR_INVALIDPARAMS;
    if (!(desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE)) return DDERR_UNSUPPORTED;
    if (!exclusive) return DDERR_NOEXCLUSIVEMODE;
    if (!modeSet) return DDERR_INVALIDMODE;
    if (primary) return DDERR_GENERIC;
    const bool flipping = (desc->dwFlags & DDSD_BACKBUFFERCOUNT) && desc->dwBackBufferCount >= 1 &&
                          (desc->ddsCaps.dwCaps & DDSCAPS_FLIP);
    auto* pixels = flipping ? new std::vector<std::uint32_t>(640 * 480, alphaMask) : nullptr;
    primary = new CanvasSurface(this, pixels, true);
    if (flipping) primary->back = new CanvasSurface(this, pixels, false);
    AddRef();
    *surface = primary;
    return DD_OK;
}

char ddrawLibrary;
int openLibraries = 0;

}  // namespace

HRESULT DirectDrawCreate(GUID*, IDirectDraw** directDraw, IUnknown*) {
    if (!directDraw) return DDERR_INVALIDPARAMS;
    *directDraw = new CanvasDirectDraw();
    return DD_OK;
}

HMODULE LoadLibraryA(const char* fileName) {
    if (!fileName) return nullptr;
    std::string name;
    for (const char* c = fileName; *c; ++c) name += char(std::tolower(static_cast<unsigned char>(*c)));
    if (name != "ddraw.dll") return nullptr;
    ++openLibraries;
    return &ddrawLibrary;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
    if (module != &ddrawLibrary || !name || std::strcmp(name, "DirectDrawCreate") != 0) return nullptr;
    return reinterpret_cast<FARPROC>(&DirectDrawCreate);
}

BOOL FreeLibrary(HMODULE module) {
    if (module != &ddrawLibrary || openLibraries == 0) return 0;
    --openLibraries;
    return 1;
}
