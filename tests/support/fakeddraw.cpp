#include "tests/support/fakeddraw.h"

#include <cstdio>
#include <cstring>

namespace {

std::string hex(DWORD v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", unsigned(v));
    return text;
}

FakePixelFormat formatFor(const FakeDirectDrawScript& script, DWORD bits) {
    auto found = script.formats.find(bits);
    if (found != script.formats.end()) return found->second;
    FakePixelFormat f;
    f.bits = bits;
    if (bits == 24) {
        f.red = 0xFF0000, f.green = 0x00FF00, f.blue = 0x0000FF;
    } else if (bits == 16) {
        f.red = 0xF800, f.green = 0x07E0, f.blue = 0x001F;
    }
    return f;
}

class Surface : public IDirectDrawSurface {
public:
    Surface(FakeDirectDraw& fake, IDirectDraw* owner, bool isPrimary, bool hasBack, DWORD width, DWORD height)
        : fake(fake), owner(owner), isPrimary(isPrimary), hasBack(hasBack), width(width), height(height) {}

    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override {
        if (!isPrimary) return 1;
        fake.record("Release primary");
        ++fake.primaryReleases;
        --fake.liveObjects;
        delete back;
        owner->Release();
        delete this;
        return 0;
    }
    HRESULT Flip(IDirectDrawSurface* target, DWORD flags) override {
        fake.record("Flip " + std::string(target ? "surface" : "null") + " " + hex(flags));
        return DD_OK;
    }
    HRESULT GetAttachedSurface(DDSCAPS* caps, IDirectDrawSurface** attached) override {
        fake.record("GetAttachedSurface " + hex(caps->dwCaps));
        if (!hasBack || caps->dwCaps != DDSCAPS_BACKBUFFER) return DDERR_NOTFOUND;
        if (!back) back = new Surface(fake, owner, false, false, width, height);
        *attached = back;
        return DD_OK;
    }
    HRESULT GetPixelFormat(DDPIXELFORMAT* format) override {
        fake.record("GetPixelFormat size " + std::to_string(format->dwSize));
        if (fake.script.pixelFormatFails) return DDERR_GENERIC;
        FakePixelFormat f = formatFor(fake.script, fake.modeBits);
        format->dwFlags = f.flags;
        format->dwRGBBitCount = f.bits;
        format->dwRBitMask = f.red;
        format->dwGBitMask = f.green;
        format->dwBBitMask = f.blue;
        return DD_OK;
    }
    HRESULT Lock(RECT* rect, DDSURFACEDESC* desc, DWORD flags, HANDLE event) override {
        fake.record("Lock " + std::string(rect ? "rect" : "null") + " size " + std::to_string(desc->dwSize) + " " +
                    hex(flags) + (event ? " event" : ""));
        if (fake.script.lockFails) return DDERR_SURFACELOST;
        DWORD w = fake.script.lockedWidth ? fake.script.lockedWidth : width;
        DWORD h = fake.script.lockedHeight ? fake.script.lockedHeight : height;
        fake.pitch = fake.script.pitch ? fake.script.pitch : std::int32_t(w * (fake.modeBits / 8));
        fake.backBuffer.assign(std::size_t(fake.pitch) * h, 0xEE);
        desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE;
        desc->dwWidth = w;
        desc->dwHeight = h;
        desc->lPitch = fake.pitch;
        desc->lpSurface = fake.backBuffer.data();
        return DD_OK;
    }
    HRESULT Restore() override {
        fake.record("Restore");
        return DD_OK;
    }
    HRESULT Unlock(void* surface) override {
        fake.record(std::string("Unlock ") + (surface == fake.backBuffer.data() ? "locked" : "other"));
        return DD_OK;
    }

private:
    FakeDirectDraw& fake;
    IDirectDraw* owner;
    bool isPrimary;
    bool hasBack;
    DWORD width, height;
    Surface* back = nullptr;
};

class DirectDraw : public IDirectDraw {
public:
    explicit DirectDraw(FakeDirectDraw& fake) : fake(fake) {}

    std::uint32_t AddRef() override { return ++references; }
    std::uint32_t Release() override {
        if (--references > 0) return references;
        fake.record("Release directDraw");
        ++fake.directDrawReleases;
        --fake.liveObjects;
        delete this;
        return 0;
    }
    HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface, IUnknown* outer) override {
        fake.record("CreateSurface size " + std::to_string(desc->dwSize) + " flags " + hex(desc->dwFlags) +
                    " back " + std::to_string(desc->dwBackBufferCount) + " caps " + hex(desc->ddsCaps.dwCaps) +
                    (outer ? " outer" : ""));
        if (fake.script.primaryFails) return DDERR_GENERIC;
        bool chain = (desc->ddsCaps.dwCaps & DDSCAPS_FLIP) != 0;
        if (chain && desc->dwBackBufferCount > fake.script.maxBackBuffers) return DDERR_OUTOFMEMORY;
        ++fake.liveObjects;
        AddRef();
        *surface = new Surface(fake, this, true, chain, width, height);
        return DD_OK;
    }
    HRESULT RestoreDisplayMode() override {
        fake.record("RestoreDisplayMode");
        return DD_OK;
    }
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        fake.record("SetCooperativeLevel " + std::string(window ? "window " : "null ") + hex(flags));
        return fake.script.cooperativeLevelFails ? DDERR_GENERIC : DD_OK;
    }
    HRESULT SetDisplayMode(DWORD w, DWORD h, DWORD bits) override {
        fake.record("SetDisplayMode " + std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bits));
        if (fake.script.refusedBits.count(bits)) return DDERR_INVALIDMODE;
        width = w;
        height = h;
        fake.modeBits = bits;
        return DD_OK;
    }

private:
    FakeDirectDraw& fake;
    std::uint32_t references = 1;
    DWORD width = 0, height = 0;
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

int FakeDirectDraw::count(const std::string& callPrefix) const {
    int n = 0;
    for (const std::string& c : calls)
        if (c.compare(0, callPrefix.size(), callPrefix) == 0) ++n;
    return n;
}

void FakeDirectDraw::record(const std::string& call) {
    calls.push_back(call);
    if (script.echoToStderr) std::fprintf(stderr, "ddraw: %s\n", call.c_str());
}
