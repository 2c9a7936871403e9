#include "display/ddrawdisplay.h"

#include "display/rowconverters.h"
#include "platform/ddraw.h"

#include <algorithm>
#include <cstdint>

namespace {

struct DisplayState {
    HMODULE library = nullptr;
    IDirectDraw* directDraw = nullptr;
    IDirectDrawSurface* primary = nullptr;
    IDirectDrawSurface* backBuffer = nullptr;
    HWND window = nullptr;
    WNDCLASSA windowClass;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t active = 0;
    RowConverter converter = nullptr;
};

DisplayState display;
const char* failureReason = "";

bool failed(HRESULT result) { return result < 0; }

// initDisplay's failures, each with the step that failed, for the user.
int failure(const char* reason) {
    failureReason = reason;
    return 0;
}

HRESULT createPrimary(DWORD flags, DWORD backBuffers, DWORD caps) {
    DDSURFACEDESC desc{};
    desc.dwSize = DDSURFACEDESC_SIZE;
    desc.dwFlags = flags;
    desc.dwBackBufferCount = backBuffers;
    desc.ddsCaps.dwCaps = caps;
    return display.directDraw->CreateSurface(&desc, &display.primary, nullptr);
}

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, display.window, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

int initDisplay(const char* className, std::int32_t width, std::int32_t height) {
    display.width = width;
    display.height = height;

    failureReason = "";
    display.library = LoadLibraryA("ddraw.dll");
    if (!display.library) return failure("DirectDraw (ddraw.dll) could not be loaded");
    // Through void(*)(): the generic function pointer, whatever FARPROC is here.
    auto create = reinterpret_cast<DirectDrawCreateProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(display.library, "DirectDrawCreate")));
    if (!create) return failure("ddraw.dll has no DirectDrawCreate");
    if (failed(create(nullptr, &display.directDraw, nullptr)))
        return failure("there is no display to show the demo on");

    HINSTANCE instance = GetModuleHandleA(nullptr);
    display.windowClass = WNDCLASSA{};
    display.windowClass.style = 0;
    display.windowClass.lpfnWndProc = windowProc;
    display.windowClass.hInstance = instance;
    display.windowClass.hIcon = LoadIconA(instance, "IDI_MAIN");
    display.windowClass.lpszClassName = className;
    RegisterClassA(&display.windowClass);

    display.window = CreateWindowExA(0, className, className, WS_POPUP | WS_SYSMENU, 0, 0, 0, 0, nullptr, nullptr,
                                     nullptr, nullptr);

    if (failed(display.directDraw->SetCooperativeLevel(display.window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)))
        return failure("the screen could not be taken over (exclusive full-screen mode refused)");

    if (failed(display.directDraw->SetDisplayMode(DWORD(width), DWORD(height), 32)) &&
        failed(display.directDraw->SetDisplayMode(DWORD(width), DWORD(height), 24)) &&
        failed(display.directDraw->SetDisplayMode(DWORD(width), DWORD(height), 16)))
        return failure("the screen cannot switch to 640x480 at 32, 24 or 16 bits per pixel");

    constexpr DWORD flipCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;
    if (failed(createPrimary(DDSD_CAPS | DDSD_BACKBUFFERCOUNT, 2, flipCaps)) &&
        failed(createPrimary(DDSD_CAPS | DDSD_BACKBUFFERCOUNT, 1, flipCaps)) &&
        failed(createPrimary(DDSD_CAPS, 0, DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY)))
        return failure("the screen's surface could not be created");

    DDSCAPS backCaps;
    backCaps.dwCaps = DDSCAPS_BACKBUFFER;
    if (failed(display.primary->GetAttachedSurface(&backCaps, &display.backBuffer))) {
        display.backBuffer = nullptr;
        return failure("the screen has no back buffer to draw into");
    }

    DDPIXELFORMAT format;
    format.dwSize = DDPIXELFORMAT_SIZE;
    if (failed(display.primary->GetPixelFormat(&format)) || !(format.dwFlags & DDPF_RGB))
        return failure("the screen's pixel format is not RGB");

    display.converter =
        selectRowConverter(format.dwRGBBitCount, format.dwRBitMask, format.dwGBitMask, format.dwBBitMask);
    if (!display.converter) return failure("the screen's pixel format is not one the demo can draw in");

    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, 0);
    // Whether exclusive mode shows the window is up to the DirectDraw at
    // hand (Wine's leaves it hidden, and then nothing is seen): show it.
    ShowWindow(display.window, SW_SHOW);
    return 1;
}

const char* displayFailure() { return failureReason; }

void shutdownDisplay() {
    if (display.primary) {
        display.primary->Release();
        display.primary = nullptr;
        // The back buffer went with its primary; keeping the pointer would
        // leave a dangling surface for the next frame.
        display.backBuffer = nullptr;
    }
    // A later initDisplay that fails before choosing a converter must not
    // draw with this one into a surface of another format.
    display.converter = nullptr;
    if (display.directDraw) {
        display.directDraw->RestoreDisplayMode();
        display.directDraw->SetCooperativeLevel(display.window, DDSCL_NORMAL);
        display.directDraw->Release();
        display.directDraw = nullptr;
    }
    DestroyWindow(display.window);
    if (display.library) {
        FreeLibrary(display.library);
        display.library = nullptr;
    }
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 1, nullptr, 0);
}

int presentFrame(const void* pixels) {
    pumpMessages();

    // After a failed initDisplay or after shutdownDisplay there is nothing
    // to draw into; the messages above still flow.
    if (!display.directDraw || !display.primary || !display.backBuffer || !display.converter || !pixels) return 0;

    if (display.active == 0) {
        Sleep(1);
        return 1;
    }

    display.primary->Restore();

    DDSURFACEDESC locked{};
    locked.dwSize = DDSURFACEDESC_SIZE;
    if (failed(display.backBuffer->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr))) return 0;

    // Never more rows or pixels than the locked surface has.
    std::int32_t rows = display.height;
    std::int32_t columns = display.width;
    if (locked.dwFlags & DDSD_HEIGHT) rows = std::min<std::int64_t>(rows, locked.dwHeight);
    if (locked.dwFlags & DDSD_WIDTH) columns = std::min<std::int64_t>(columns, locked.dwWidth);

    const auto* source = static_cast<const std::uint32_t*>(pixels);
    auto* destination = static_cast<std::uint8_t*>(locked.lpSurface);
    for (std::int32_t y = 0; y < rows; ++y) {
        display.converter(source, destination, columns);
        source += display.width;
        destination += locked.lPitch;
    }

    display.backBuffer->Unlock(locked.lpSurface);
    display.primary->Flip(nullptr, DDFLIP_WAIT);
    Sleep(0);
    return 1;
}

LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            shutdownDisplay();
            ExitProcess(0);
        case WM_ACTIVATEAPP:
            display.active = std::int32_t(wParam);
            return 0;
        case WM_SETCURSOR:
            SetCursor(nullptr);
            return 0;
        case WM_KEYDOWN:
            if ((wParam & 0xFF) == VK_ESCAPE) {
                shutdownDisplay();
                ExitProcess(0);
            }
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND getWindowHandle() { return display.window; }
