// The SDL-backed DirectDraw on SDL's dummy video driver: the forced format
// and the calls it refuses. The picture in each of the eight formats (so
// the masks, pitch and size reported) is checked on an X server end to end.
#include "platform/sdl/video.h"
#include "platform/ddraw.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const bool dummyVideo = (setenv("SDL_VIDEODRIVER", "dummy", 1), true);

LRESULT quietProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

class SdlDirectDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dummyVideo);
        WNDCLASSA wc{};
        wc.lpfnWndProc = quietProc;
        wc.lpszClassName = "SdlDirectDrawTest";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(ddraw::createSdlDirectDraw(&directDraw), DD_OK);
    }
    void TearDown() override {
        directDraw->Release();
        DestroyWindow(window);
        unsetenv("QVO_DISPLAY_FORMAT");
    }

    HRESULT createPrimary(DWORD backBuffers, IDirectDrawSurface** primary) {
        DDSURFACEDESC desc{};
        desc.dwSize = DDSURFACEDESC_SIZE;
        desc.dwFlags = DDSD_CAPS | (backBuffers ? DDSD_BACKBUFFERCOUNT : 0);
        desc.dwBackBufferCount = backBuffers;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY |
                              (backBuffers ? DDSCAPS_FLIP | DDSCAPS_COMPLEX : 0);
        return directDraw->CreateSurface(&desc, primary, nullptr);
    }

    HWND window = nullptr;
    IDirectDraw* directDraw = nullptr;
    IDirectDrawSurface* primary = nullptr;
    IDirectDrawSurface* back = nullptr;
    DDSCAPS backCaps{DDSCAPS_BACKBUFFER};
};

TEST_F(SdlDirectDrawTest, ForcedFormatIsTheOnlyModeAndItsBackBufferLocksOnce) {
    setenv("QVO_DISPLAY_FORMAT", "bgr555", 1);
    EXPECT_LT(directDraw->SetDisplayMode(640, 480, 16), 0);  // not before exclusive full screen
    ASSERT_EQ(directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    EXPECT_LT(directDraw->SetDisplayMode(640, 480, 32), 0);
    EXPECT_LT(directDraw->SetDisplayMode(640, 480, 24), 0);
    ASSERT_EQ(directDraw->SetDisplayMode(640, 480, 16), DD_OK);
    // Without a flipping chain there is no back buffer.
    ASSERT_EQ(createPrimary(0, &primary), DD_OK);
    EXPECT_LT(primary->GetAttachedSurface(&backCaps, &back), 0);
    primary->Release();
    ASSERT_EQ(createPrimary(2, &primary), DD_OK);
    ASSERT_EQ(primary->GetAttachedSurface(&backCaps, &back), DD_OK);
    DDSURFACEDESC locked{};
    locked.dwSize = DDSURFACEDESC_SIZE;
    ASSERT_EQ(back->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_LT(back->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), 0);
    EXPECT_LT(primary->Flip(nullptr, DDFLIP_WAIT), 0);  // not while locked
    EXPECT_EQ(back->Unlock(locked.lpSurface), DD_OK);
    EXPECT_LT(back->Unlock(locked.lpSurface), 0);
    EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    primary->Release();

    setenv("QVO_DISPLAY_FORMAT", "yuv420", 1);  // unknown: the default, which takes every mode
    EXPECT_EQ(directDraw->SetDisplayMode(640, 480, 32), DD_OK);
}

}  // namespace
