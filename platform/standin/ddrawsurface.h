// The DirectDraw objects as the SDL and web stand-ins both make them: one
// primary surface per DirectDraw, flipping with one back buffer. The primary
// owns the pixels; its back buffer is a view of them that lives and dies
// with it. A backend says where the pixels are and how a flip shows them.
#pragma once

#include "platform/ddraw.h"

namespace ddraw {

// Counts references; the last Release deletes it.
class CountedDirectDraw : public IDirectDraw {
public:
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

protected:
    // What CreateSurface asks before making a primary surface; DD_OK when it
    // may (exclusive mode and a display mode set).
    HRESULT checkSurfaceRequest(const DDSURFACEDESC* desc, IDirectDrawSurface** surface, bool exclusive,
                                bool modeSet, bool hasPrimary) const;

    // A flipping chain asked for: the primary gets a back buffer.
    static bool flipping(const DDSURFACEDESC& desc);

private:
    std::uint32_t references = 1;
};

class StandInSurface : public IDirectDrawSurface {
public:
    // The pixels as a lock hands them out.
    struct Pixels {
        void* data = nullptr;
        int pitch = 0;
        DWORD width = 0;
        DWORD height = 0;
    };

    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    HRESULT Flip(IDirectDrawSurface* target, DWORD flags) override;
    HRESULT GetAttachedSurface(DDSCAPS* caps, IDirectDrawSurface** attached) override;
    HRESULT GetPixelFormat(DDPIXELFORMAT* format) override;
    HRESULT Lock(RECT* rect, DDSURFACEDESC* desc, DWORD flags, HANDLE event) override;
    HRESULT Restore() override { return DD_OK; }
    HRESULT Unlock(void* surface) override;

    // Attaches the back buffer (owned from then on).
    void attachBack(StandInSurface* backBuffer) { back = backBuffer; }

protected:
    explicit StandInSurface(bool isPrimary) : isPrimary(isPrimary) {}
    ~StandInSurface() override;

    // Whether the surface has pixels at all (a primary without a back buffer
    // has none to lock).
    virtual bool hasPixels() const = 0;
    // DD_OK with the pixels, or the failure (DDERR_SURFACELOST).
    virtual HRESULT lockPixels(Pixels& pixels) = 0;
    virtual void unlockPixels() = 0;
    // Shows the back buffer's picture (the back buffer is unlocked).
    virtual HRESULT present(DWORD flags) = 0;
    virtual void describe(DDPIXELFORMAT& format) const = 0;

    const bool isPrimary;

private:
    StandInSurface* back = nullptr;
    bool locked = false;
    std::uint32_t references = 1;
};

}  // namespace ddraw
