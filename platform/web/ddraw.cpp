// The DirectDraw subset over the page's 640x480 canvas. The one display mode
// is 32 bits in the canvas's own byte order, R, G, B, A: its masks say so,
// and the display picks the row converter that writes that order. Flip
// hands the back buffer to putImageData and, with DDFLIP_WAIT, waits for the
// browser's next animation frame, where the page gets its turn.
#include "platform/standin/ddrawsurface.h"

#include "platform/web/browser.h"

#include <vector>

namespace web {
void noteYield();
}

namespace {

constexpr DWORD redMask = 0x000000FF, greenMask = 0x0000FF00, blueMask = 0x00FF0000, alphaMask = 0xFF000000;

class CanvasSurface;

class CanvasDirectDraw : public ddraw::CountedDirectDraw {
public:
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
    bool exclusive = false;
    bool modeSet = false;
};

// The primary surface owns the pixels; its back buffer is a view of them
// that lives and dies with it.
class CanvasSurface : public ddraw::StandInSurface {
public:
    CanvasSurface(CanvasDirectDraw* owner, std::vector<std::uint32_t>* pixels, bool isPrimary)
        : StandInSurface(isPrimary), owner(owner), pixels(pixels) {}

    ~CanvasSurface() override {
        if (!isPrimary) return;
        delete pixels;
        owner->primary = nullptr;
        owner->Release();
    }

private:
    bool hasPixels() const override { return pixels != nullptr; }

    HRESULT lockPixels(Pixels& locked) override {
        locked.data = pixels->data();
        locked.pitch = 640 * 4;
        locked.width = 640;
        locked.height = 480;
        return DD_OK;
    }

    void unlockPixels() override {}

    HRESULT present(DWORD flags) override {
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

    void describe(DDPIXELFORMAT& format) const override {
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
};

HRESULT CanvasDirectDraw::CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface, IUnknown*) {
    if (HRESULT refused = checkSurfaceRequest(desc, surface, exclusive, modeSet, primary); refused != DD_OK)
        return refused;
    const bool flipping = CountedDirectDraw::flipping(*desc);
    auto* pixels = flipping ? new std::vector<std::uint32_t>(640 * 480, alphaMask) : nullptr;
    primary = new CanvasSurface(this, pixels, true);
    if (flipping) primary->attachBack(new CanvasSurface(this, pixels, false));
    AddRef();
    *surface = primary;
    return DD_OK;
}

}  // namespace

HRESULT DirectDrawCreate(GUID*, IDirectDraw** directDraw, IUnknown*) {
    if (!directDraw) return DDERR_INVALIDPARAMS;
    *directDraw = new CanvasDirectDraw();
    return DD_OK;
}

