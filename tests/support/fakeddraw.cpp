#include "platform/sdl/video.h"
#include "tests/support/fakeddraw.h"

#include <cstdarg>
#include <cstdio>

namespace {

// The primary, which is its own back buffer when it has a flipping chain.
class Surface : public IDirectDrawSurface {
public:
    Surface(FakeDirectDraw& fake, bool hasBack) : fake(fake), hasBack(hasBack) {}

    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override {
        fake.record("Release primary");
        --fake.liveObjects;
        delete this;
        return 0;
    }
    HRESULT Flip(IDirectDrawSurface* target, DWORD flags) override {
        return fake.record("Flip %s 0x%X", target ? "surface" : "null", unsigned(flags));
    }
    HRESULT GetAttachedSurface(DDSCAPS* caps, IDirectDrawSurface** attached) override {
        fake.record("GetAttachedSurface 0x%X", unsigned(caps->dwCaps));
        if (!hasBack || caps->dwCaps != DDSCAPS_BACKBUFFER) return DDERR_NOTFOUND;
        *attached = this;
        return DD_OK;
    }
    HRESULT GetPixelFormat(DDPIXELFORMAT* format) override {
        fake.record("GetPixelFormat size %u", unsigned(format->dwSize));
        if (fake.script.pixelFormatFails) return DDERR_GENERIC;
        *format = fake.script.formats.at(fake.modeBits);
        return DD_OK;
    }
    HRESULT Lock(RECT* rect, DDSURFACEDESC* desc, DWORD flags, HANDLE event) override {
        fake.record("Lock %s size %u 0x%X%s", rect ? "rect" : "null", unsigned(desc->dwSize), unsigned(flags),
                    event ? " event" : "");
        if (fake.script.lockFails) return DDERR_SURFACELOST;
        desc->dwWidth = fake.script.lockedWidth ? fake.script.lockedWidth : 640;
        desc->dwHeight = fake.script.lockedHeight ? fake.script.lockedHeight : 480;
        desc->lPitch = fake.script.pitch ? fake.script.pitch : std::int32_t(desc->dwWidth * (fake.modeBits / 8));
        fake.backBuffer.assign(std::size_t(desc->lPitch) * desc->dwHeight, 0xEE);
        desc->lpSurface = fake.backBuffer.data();
        return DD_OK;
    }
    HRESULT Restore() override { return fake.record("Restore"); }
    HRESULT Unlock(void* surface) override {
        return fake.record("Unlock %s", surface == fake.backBuffer.data() ? "locked" : "other");
    }

private:
    FakeDirectDraw& fake;
    bool hasBack;
};

class DirectDraw : public IDirectDraw {
public:
    explicit DirectDraw(FakeDirectDraw& fake) : fake(fake) {}

    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override {
        fake.record("Release directDraw");
        --fake.liveObjects;
        delete this;
        return 0;
    }
    HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface, IUnknown* outer) override {
        fake.record("CreateSurface size %u flags 0x%X back %u caps 0x%X%s", unsigned(desc->dwSize),
                    unsigned(desc->dwFlags), unsigned(desc->dwBackBufferCount), unsigned(desc->ddsCaps.dwCaps),
                    outer ? " outer" : "");
        bool chain = (desc->ddsCaps.dwCaps & DDSCAPS_FLIP) != 0;
        if (chain && desc->dwBackBufferCount > fake.script.maxBackBuffers) return DDERR_OUTOFMEMORY;
        ++fake.liveObjects;
        *surface = new Surface(fake, chain);
        return DD_OK;
    }
    HRESULT RestoreDisplayMode() override { return fake.record("RestoreDisplayMode"); }
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        return fake.record("SetCooperativeLevel %s 0x%X", window ? "window" : "null", unsigned(flags));
    }
    HRESULT SetDisplayMode(DWORD w, DWORD h, DWORD bits) override {
        fake.record("SetDisplayMode %ux%ux%u", unsigned(w), unsigned(h), unsigned(bits));
        if (fake.script.refusedBits.count(bits)) return DDERR_INVALIDMODE;
        fake.modeBits = bits;
        return DD_OK;
    }

private:
    FakeDirectDraw& fake;
};

}  // namespace

FakeDirectDraw::FakeDirectDraw() {
    previous = ddraw::setCreateHook([this](IDirectDraw** out) -> HRESULT {
        record("DirectDrawCreate");
        if (script.createFails) return DDERR_NODIRECTDRAWHW;
        ++liveObjects;
        *out = new DirectDraw(*this);
        return DD_OK;
    });
}

FakeDirectDraw::~FakeDirectDraw() { ddraw::setCreateHook(std::move(previous)); }

HRESULT FakeDirectDraw::record(const char* format, ...) {
    char text[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    calls.push_back(text);
    return DD_OK;
}
