// The DirectDraw subset the display uses, plus the run-time loading it is
// reached through. On Windows the system's own; elsewhere one core
// (platform/standin) over an SDL window, renderer and streaming texture
// (platform/sdl) or the browser's canvas (platform/web).
//
//   HMODULE lib = LoadLibraryA("ddraw.dll");
//   auto create = (DirectDrawCreateProc)GetProcAddress(lib, "DirectDrawCreate");
//   IDirectDraw* dd; create(nullptr, &dd, nullptr);
//   dd->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
//   dd->SetDisplayMode(640, 480, 32);      // the back buffer's pixel format
//   dd->CreateSurface(&desc, &primary, nullptr);   // renderer + texture
//   primary->GetAttachedSurface(&caps, &back);
//   back->Lock(...); ... back->Unlock(...); primary->Flip(nullptr, DDFLIP_WAIT);
//
// The "display mode" is the texture's pixel format, not a monitor mode: the
// window becomes a borderless full-screen window at desktop resolution, and
// Flip shows the picture scaled to fit with its aspect ratio kept, black
// around it, with vsync where the renderer has it.
//
// Environment:
//   QVO_DISPLAY_FORMAT  forces the back-buffer format, one of xrgb8888,
//                       xbgr8888, rgb24, bgr24, rgb565, bgr565, rgb555, bgr555
//                       (modes of other bit counts are then refused);
//   QVO_WINDOWED=1      a 640 x 480 window (scaled by a whole factor when the
//                       screen allows) instead of full screen.
//
// With no display (win32::displayAvailable() false, or SDL's video failing)
// DirectDrawCreate fails. Tests put a scripted DirectDraw in its place with
// ddraw::setCreateHook.
#pragma once

#include "platform/win32window.h"

#ifdef _WIN32

#include <ddraw.h>

// The records' sizes as the system checks them in dwSize.
constexpr DWORD DDSURFACEDESC_SIZE = sizeof(DDSURFACEDESC);
constexpr DWORD DDPIXELFORMAT_SIZE = sizeof(DDPIXELFORMAT);

using DirectDrawCreateProc = HRESULT(WINAPI*)(GUID* device, IDirectDraw** directDraw, IUnknown* outer);

#else

#include <cstdint>
#include <functional>

using HRESULT = std::int32_t;
using HANDLE = void*;
using FARPROC = void (*)();

struct GUID;
struct IUnknown;
struct RECT;

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = HRESULT(0x80004005u);
constexpr HRESULT DDERR_INVALIDPARAMS = HRESULT(0x80070057u);
constexpr HRESULT DDERR_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT DDERR_INVALIDMODE = HRESULT(0x887600FAu);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = HRESULT(0x887600E1u);
constexpr HRESULT DDERR_NOTFOUND = HRESULT(0x887600FFu);
constexpr HRESULT DDERR_SURFACELOST = HRESULT(0x887601C2u);
constexpr HRESULT DDERR_SURFACEBUSY = HRESULT(0x887601AEu);
constexpr HRESULT DDERR_NOTLOCKED = HRESULT(0x887602ACu);
constexpr HRESULT DDERR_NODIRECTDRAWHW = HRESULT(0x88760255u);
constexpr HRESULT DDERR_UNSUPPORTED = HRESULT(0x80004001u);

constexpr DWORD DDSCL_FULLSCREEN = 0x00000001;
constexpr DWORD DDSCL_NORMAL = 0x00000008;
constexpr DWORD DDSCL_EXCLUSIVE = 0x00000010;

constexpr DWORD DDSD_CAPS = 0x00000001;
constexpr DWORD DDSD_HEIGHT = 0x00000002;
constexpr DWORD DDSD_WIDTH = 0x00000004;
constexpr DWORD DDSD_PITCH = 0x00000008;
constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x00000020;
constexpr DWORD DDSD_LPSURFACE = 0x00000800;
constexpr DWORD DDSD_PIXELFORMAT = 0x00001000;

constexpr DWORD DDSCAPS_BACKBUFFER = 0x00000004;
constexpr DWORD DDSCAPS_COMPLEX = 0x00000008;
constexpr DWORD DDSCAPS_FLIP = 0x00000010;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x00004000;

constexpr DWORD DDPF_PALETTEINDEXED8 = 0x00000020;
constexpr DWORD DDPF_RGB = 0x00000040;

constexpr DWORD DDLOCK_WAIT = 0x00000001;
constexpr DWORD DDFLIP_WAIT = 0x00000001;

// The published sizes of the version-1 records: the callers put these in
// dwSize and the stand-in checks them (the records here are not laid out
// byte for byte like the 32-bit originals).
constexpr DWORD DDSURFACEDESC_SIZE = 108;
constexpr DWORD DDPIXELFORMAT_SIZE = 32;

struct DDPIXELFORMAT {
    DWORD dwSize = 0;
    DWORD dwFlags = 0;
    DWORD dwFourCC = 0;
    DWORD dwRGBBitCount = 0;
    DWORD dwRBitMask = 0;
    DWORD dwGBitMask = 0;
    DWORD dwBBitMask = 0;
    DWORD dwRGBAlphaBitMask = 0;
};

struct DDSCAPS {
    DWORD dwCaps = 0;
};

struct DDSURFACEDESC {
    DWORD dwSize = 0;
    DWORD dwFlags = 0;
    DWORD dwHeight = 0;
    DWORD dwWidth = 0;
    std::int32_t lPitch = 0;
    DWORD dwBackBufferCount = 0;
    DWORD dwRefreshRate = 0;
    DWORD dwAlphaBitDepth = 0;
    DWORD dwReserved = 0;
    void* lpSurface = nullptr;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
};

// A failed call returns a negative result.
struct IDirectDrawSurface {
    virtual ~IDirectDrawSurface() = default;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;
    virtual HRESULT Flip(IDirectDrawSurface* target, DWORD flags) = 0;
    virtual HRESULT GetAttachedSurface(DDSCAPS* caps, IDirectDrawSurface** attached) = 0;
    virtual HRESULT GetPixelFormat(DDPIXELFORMAT* format) = 0;
    virtual HRESULT Lock(RECT* rect, DDSURFACEDESC* desc, DWORD flags, HANDLE event) = 0;
    virtual HRESULT Restore() = 0;
    virtual HRESULT Unlock(void* surface) = 0;
};

struct IDirectDraw {
    virtual ~IDirectDraw() = default;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;
    virtual HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface, IUnknown* outer) = 0;
    virtual HRESULT RestoreDisplayMode() = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel) = 0;
};

using DirectDrawCreateProc = HRESULT (*)(GUID* device, IDirectDraw** directDraw, IUnknown* outer);

HRESULT DirectDrawCreate(GUID* device, IDirectDraw** directDraw, IUnknown* outer);

// "ddraw.dll" (any letter case) is the only library there is.
HMODULE LoadLibraryA(const char* fileName);
// Only "DirectDrawCreate" is exported.
FARPROC GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);

#endif  // _WIN32
