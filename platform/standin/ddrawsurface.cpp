#include "platform/standin/ddrawsurface.h"

namespace ddraw {

std::uint32_t CountedDirectDraw::AddRef() { return ++references; }

std::uint32_t CountedDirectDraw::Release() {
    if (references == 0) return 0;
    if (--references > 0) return references;
    delete this;
    return 0;
}

HRESULT CountedDirectDraw::checkSurfaceRequest(const DDSURFACEDESC* desc, IDirectDrawSurface** surface,
                                               bool exclusive, bool modeSet, bool hasPrimary) const {
    if (!desc || !surface || desc->dwSize != DDSURFACEDESC_SIZE || !(desc->dwFlags & DDSD_CAPS))
        return DDERR_INVALIDPARAMS;
    if (!(desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE)) return DDERR_UNSUPPORTED;
    if (!exclusive) return DDERR_NOEXCLUSIVEMODE;
    if (!modeSet) return DDERR_INVALIDMODE;
    if (hasPrimary) return DDERR_GENERIC;
    return DD_OK;
}

bool CountedDirectDraw::flipping(const DDSURFACEDESC& desc) {
    return (desc.dwFlags & DDSD_BACKBUFFERCOUNT) && desc.dwBackBufferCount >= 1 &&
           (desc.ddsCaps.dwCaps & DDSCAPS_FLIP);
}

StandInSurface::~StandInSurface() { delete back; }

std::uint32_t StandInSurface::AddRef() { return isPrimary ? ++references : 1; }

std::uint32_t StandInSurface::Release() {
    if (!isPrimary) return 1;  // goes with its primary
    if (references == 0) return 0;
    if (--references > 0) return references;
    delete this;
    return 0;
}

HRESULT StandInSurface::Flip(IDirectDrawSurface*, DWORD flags) {
    if (!isPrimary || !back) return DDERR_INVALIDPARAMS;
    if (back->locked) return DDERR_SURFACEBUSY;
    return present(flags);
}

HRESULT StandInSurface::GetAttachedSurface(DDSCAPS* caps, IDirectDrawSurface** attached) {
    if (!caps || !attached) return DDERR_INVALIDPARAMS;
    if (!back || caps->dwCaps != DDSCAPS_BACKBUFFER) return DDERR_NOTFOUND;
    *attached = back;
    return DD_OK;
}

HRESULT StandInSurface::GetPixelFormat(DDPIXELFORMAT* format) {
    if (!format || format->dwSize != DDPIXELFORMAT_SIZE) return DDERR_INVALIDPARAMS;
    describe(*format);
    return DD_OK;
}

HRESULT StandInSurface::Lock(RECT*, DDSURFACEDESC* desc, DWORD, HANDLE) {
    if (!desc || desc->dwSize != DDSURFACEDESC_SIZE) return DDERR_INVALIDPARAMS;
    if (!hasPixels()) return DDERR_UNSUPPORTED;
    if (locked) return DDERR_SURFACEBUSY;
    Pixels pixels;
    if (HRESULT failed = lockPixels(pixels); failed != DD_OK) return failed;
    locked = true;
    desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE | DDSD_PIXELFORMAT;
    desc->dwWidth = pixels.width;
    desc->dwHeight = pixels.height;
    desc->lPitch = pixels.pitch;
    desc->lpSurface = pixels.data;
    desc->ddpfPixelFormat.dwSize = DDPIXELFORMAT_SIZE;
    describe(desc->ddpfPixelFormat);
    return DD_OK;
}

HRESULT StandInSurface::Unlock(void*) {
    if (!locked) return DDERR_NOTLOCKED;
    locked = false;
    unlockPixels();
    return DD_OK;
}

}  // namespace ddraw
