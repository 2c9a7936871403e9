// The SDL-backed DirectDraw on SDL's dummy video driver: the formats it
// reports, the calls it refuses, and a whole frame presented through the
// display module and read back from the frames the dummy driver saves.
#include "display/ddrawdisplay.h"
#include "display/rowconverters.h"
#include "platform/ddraw.h"
#include "tests/support/scratchdir.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <string>
#include <vector>

namespace {

const bool dummyVideo = (setenv("SDL_VIDEODRIVER", "dummy", 1), true);

LRESULT quietProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

struct FormatCase {
    const char* name;
    DWORD bits;
    DWORD red, green, blue;
    RowConverter converter;
};

const FormatCase formatCases[] = {
    {"xrgb8888", 32, 0xFF0000, 0x00FF00, 0x0000FF, convertRowCopy32},
    {"xbgr8888", 32, 0x0000FF, 0x00FF00, 0xFF0000, convertRowSwap32},
    {"bgr24", 24, 0xFF0000, 0x00FF00, 0x0000FF, convertRowTo24},
    {"rgb24", 24, 0x0000FF, 0x00FF00, 0xFF0000, convertRowTo24Swapped},
    {"rgb565", 16, 0xF800, 0x07E0, 0x001F, convertRowTo565},
    {"bgr565", 16, 0x001F, 0x07E0, 0xF800, convertRowTo565Swapped},
    {"rgb555", 16, 0x7C00, 0x03E0, 0x001F, convertRowTo555},
    {"bgr555", 16, 0x001F, 0x03E0, 0x7C00, convertRowTo555Swapped},
};

class SdlDirectDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dummyVideo);
        WNDCLASSA wc{};
        wc.lpfnWndProc = quietProc;
        wc.lpszClassName = "SdlDirectDrawTest";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "SdlDirectDrawTest", "SdlDirectDrawTest", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(ddraw::createSdlDirectDraw(&directDraw), DD_OK);
    }
    void TearDown() override {
        if (directDraw) directDraw->Release();
        DestroyWindow(window);
        unsetenv("QVO_DISPLAY_FORMAT");
    }

    static DDSURFACEDESC chain(DWORD backBuffers) {
        DDSURFACEDESC desc{};
        desc.dwSize = DDSURFACEDESC_SIZE;
        desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        desc.dwBackBufferCount = backBuffers;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;
        return desc;
    }

    HWND window = nullptr;
    IDirectDraw* directDraw = nullptr;
};

TEST_F(SdlDirectDrawTest, ModesNeedExclusiveFullScreenFirst) {
    EXPECT_LT(directDraw->SetDisplayMode(640, 480, 32), 0);
    DDSURFACEDESC desc = chain(2);
    IDirectDrawSurface* primary = nullptr;
    EXPECT_LT(directDraw->CreateSurface(&desc, &primary, nullptr), 0);
    int notAWindow;
    EXPECT_LT(directDraw->SetCooperativeLevel(&notAWindow, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), 0);
    ASSERT_EQ(directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    EXPECT_EQ(directDraw->SetDisplayMode(640, 480, 32), DD_OK);
    EXPECT_LT(directDraw->SetDisplayMode(640, 480, 8), 0);
    EXPECT_LT(directDraw->SetDisplayMode(0, 480, 32), 0);
}

TEST_F(SdlDirectDrawTest, EachForcedFormatIsReportedWithItsMasksAndPitch) {
    ASSERT_EQ(directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    for (const FormatCase& f : formatCases) {
        SCOPED_TRACE(f.name);
        setenv("QVO_DISPLAY_FORMAT", f.name, 1);
        for (DWORD bits : {32u, 24u, 16u})
            EXPECT_EQ(directDraw->SetDisplayMode(640, 480, bits) == DD_OK, bits == f.bits) << bits;

        DDSURFACEDESC desc = chain(2);
        IDirectDrawSurface* primary = nullptr;
        ASSERT_EQ(directDraw->CreateSurface(&desc, &primary, nullptr), DD_OK);
        DDSCAPS caps;
        caps.dwCaps = DDSCAPS_BACKBUFFER;
        IDirectDrawSurface* back = nullptr;
        ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);

        DDPIXELFORMAT format;
        format.dwSize = DDPIXELFORMAT_SIZE;
        ASSERT_EQ(primary->GetPixelFormat(&format), DD_OK);
        EXPECT_TRUE(format.dwFlags & DDPF_RGB);
        EXPECT_EQ(format.dwRGBBitCount, f.bits);
        EXPECT_EQ(selectRowConverter(format.dwRGBBitCount, format.dwRBitMask, format.dwGBitMask, format.dwBBitMask),
                  f.converter);

        DDSURFACEDESC locked{};
        locked.dwSize = DDSURFACEDESC_SIZE;
        ASSERT_EQ(back->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
        EXPECT_GE(locked.lPitch, std::int32_t(640 * f.bits / 8));
        EXPECT_EQ(locked.dwWidth, 640u);
        EXPECT_EQ(locked.dwHeight, 480u);
        EXPECT_LT(back->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), 0);  // already locked
        EXPECT_LT(primary->Flip(nullptr, DDFLIP_WAIT), 0);                 // not while locked
        EXPECT_EQ(back->Unlock(locked.lpSurface), DD_OK);
        EXPECT_LT(back->Unlock(locked.lpSurface), 0);
        EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
        primary->Release();
    }
}

TEST_F(SdlDirectDrawTest, UnknownForcedFormatFallsBackToTheDefault) {
    setenv("QVO_DISPLAY_FORMAT", "yuv420", 1);
    ASSERT_EQ(directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    EXPECT_EQ(directDraw->SetDisplayMode(640, 480, 32), DD_OK);
}

TEST_F(SdlDirectDrawTest, PrimaryWithoutFlippingChainHasNoBackBuffer) {
    ASSERT_EQ(directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    ASSERT_EQ(directDraw->SetDisplayMode(640, 480, 32), DD_OK);
    DDSURFACEDESC desc{};
    desc.dwSize = DDSURFACEDESC_SIZE;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY;
    IDirectDrawSurface* primary = nullptr;
    ASSERT_EQ(directDraw->CreateSurface(&desc, &primary, nullptr), DD_OK);
    DDSCAPS caps;
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    IDirectDrawSurface* back = nullptr;
    EXPECT_LT(primary->GetAttachedSurface(&caps, &back), 0);
    // Only one primary at a time.
    DDSURFACEDESC second = chain(1);
    IDirectDrawSurface* other = nullptr;
    EXPECT_LT(directDraw->CreateSurface(&second, &other, nullptr), 0);
    primary->Release();
}

TEST_F(SdlDirectDrawTest, DisplayModulePresentsAScaledUprightFrame) {
    // The module builds its own window and DirectDraw: drop the fixture's.
    directDraw->Release();
    directDraw = nullptr;
    ScratchDir scratch(true);
    setenv("SDL_VIDEO_DUMMY_SAVE_FRAMES", "1", 1);
    ddraw::CreateHook previous = ddraw::setCreateHook(ddraw::createSdlDirectDraw);
    setenv("QVO_DISPLAY_FORMAT", "rgb565", 1);

    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    ASSERT_TRUE(PostMessageA(getWindowHandle(), WM_ACTIVATEAPP, 1, 0));
    std::vector<std::uint32_t> frame(640 * 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            frame[y * 640 + x] = y < 240 ? (x < 320 ? 0xFF0000 : 0x00FF00) : (x < 320 ? 0x0000FF : 0xFFFFFF);
    EXPECT_EQ(presentFrame(frame.data()), 1);
    shutdownDisplay();
    windowProc(getWindowHandle(), WM_ACTIVATEAPP, 0, 0);
    ddraw::setCreateHook(previous);
    unsetenv("SDL_VIDEO_DUMMY_SAVE_FRAMES");

    std::string saved;
    if (DIR* dir = opendir(scratch.path().c_str())) {
        while (dirent* entry = readdir(dir))
            if (std::string(entry->d_name).find(".bmp") != std::string::npos) saved = scratch.path(entry->d_name);
        closedir(dir);
    }
    ASSERT_FALSE(saved.empty()) << "the dummy driver saved no frame";
    SDL_Surface* shot = SDL_LoadBMP(saved.c_str());
    ASSERT_NE(shot, nullptr) << SDL_GetError();
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(shot, SDL_PIXELFORMAT_RGB888, 0);
    SDL_FreeSurface(shot);
    ASSERT_NE(rgb, nullptr);
    // The picture fills the screen's height with its aspect ratio kept.
    auto at = [&](double fx, double fy) {
        int x = int(fx * rgb->w), y = int(fy * rgb->h);
        return static_cast<const std::uint32_t*>(rgb->pixels)[y * (rgb->pitch / 4) + x] & 0xFFFFFF;
    };
    EXPECT_EQ(at(0.5 - 0.3 * 4 / 3 * rgb->h / rgb->w, 0.2), 0xFF0000u);
    EXPECT_EQ(at(0.5 + 0.3 * 4 / 3 * rgb->h / rgb->w, 0.2), 0x00FF00u);
    EXPECT_EQ(at(0.5 - 0.3 * 4 / 3 * rgb->h / rgb->w, 0.8), 0x0000FFu);
    EXPECT_EQ(at(0.5 + 0.3 * 4 / 3 * rgb->h / rgb->w, 0.8), 0xFFFFFFu);
    SDL_FreeSurface(rgb);
}

}  // namespace
