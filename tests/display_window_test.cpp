// The DirectDraw display module (init, present, shutdown, window procedure)
// against a scripted DirectDraw, with the window on SDL's dummy driver.
// Escape and close requests ending the process are checked end to end.
#include "platform/standin/windowcore.h"
#include "platform/sdl/video.h"
#include "display/ddrawdisplay.h"
#include "display/rowconverters.h"
#include "platform/ddraw.h"
#include "tests/support/fakeddraw.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// Windows are real SDL windows, but never on a screen.
const bool dummyVideo = (setenv("SDL_VIDEODRIVER", "dummy", 1), true);

using Calls = std::vector<std::string>;

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dummyVideo); }
    void TearDown() override {
        shutdownDisplay();
        windowProc(getWindowHandle(), WM_ACTIVATEAPP, 0, 0);  // inactive for the next test
    }

    void openActive() {
        ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
        ASSERT_TRUE(PostMessageA(getWindowHandle(), WM_ACTIVATEAPP, 1, 0));
    }

    // Presents and returns the result and the calls it made.
    std::pair<int, Calls> present(const void* pixels) {
        std::size_t before = fake.calls.size();
        int result = presentFrame(pixels);
        return {result, Calls(fake.calls.begin() + long(before), fake.calls.end())};
    }

    // A frame whose pixel (x, y) is a distinct colour.
    const std::vector<std::uint32_t> frame = [] {
        std::vector<std::uint32_t> f(640 * 480);
        for (std::uint32_t i = 0; i < f.size(); ++i) f[i] = ((i / 640) << 12) ^ (i % 640 * 0x10305u);
        return f;
    }();

    FakeDirectDraw fake;
};

TEST_F(DisplayTest, RetriesTheChainWithOneBackBufferAndDrawsNothingWhileInactive) {
    fake.script.maxBackBuffers = 1;
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    EXPECT_EQ(fake.calls, (Calls{"DirectDrawCreate", "SetCooperativeLevel window 0x11", "SetDisplayMode 640x480x32",
                                 "CreateSurface size 108 flags 0x21 back 2 caps 0x4218",
                                 "CreateSurface size 108 flags 0x21 back 1 caps 0x4218", "GetAttachedSurface 0x4",
                                 "GetPixelFormat size 32"}));
    EXPECT_FALSE(win32::screenSaverAllowed());
    EXPECT_EQ(ddraw::openLibraryCount(), 1);
    SetCursor(reinterpret_cast<HCURSOR>(1));
    windowProc(getWindowHandle(), WM_SETCURSOR, 0, 0);
    EXPECT_TRUE(win32::cursorHidden());
    // Nothing is drawn before the first activation, nor after a deactivation.
    EXPECT_EQ(present(frame.data()), std::make_pair(1, Calls{}));
    ASSERT_TRUE(PostMessageA(getWindowHandle(), WM_ACTIVATEAPP, 1, 0));
    ASSERT_TRUE(PostMessageA(getWindowHandle(), WM_ACTIVATEAPP, 0, 0));
    EXPECT_EQ(present(frame.data()), std::make_pair(1, Calls{}));
}

TEST_F(DisplayTest, EachFailedStepGivesZeroPresentsNothingAndShutdownReleasesAll) {
    const struct {
        const char* name;
        std::function<void(FakeDirectDrawScript&)> setup;
        const char* lastCall;
        const char* reason;  // what the user is told
    } cases[] = {
        {"no DirectDraw", [](auto& s) { s.createFails = true; }, "DirectDrawCreate", "no display"},
        {"no mode", [](auto& s) { s.refusedBits = {32, 24, 16}; }, "SetDisplayMode 640x480x16",
         "cannot switch to 640x480 at 32, 24 or 16 bits"},
        {"no flipping chain", [](auto& s) { s.maxBackBuffers = 0; }, "GetAttachedSurface 0x4", "no back buffer"},
        {"palette", [](auto& s) { s.formats[32] = {32, DDPF_PALETTEINDEXED8, 0, 8}; }, "GetPixelFormat size 32",
         "not RGB"},
        {"no converter", [](auto& s) { s.formats[32] = {32, DDPF_RGB, 0, 15, 0x7C00, 0x03E0, 0x1F}; },
         "GetPixelFormat size 32", "not one the demo can draw in"},
        {"no pixel format", [](auto& s) { s.pixelFormatFails = true; }, "GetPixelFormat size 32", "not RGB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake.script = FakeDirectDrawScript{};
        c.setup(fake.script);
        fake.calls.clear();
        EXPECT_EQ(initDisplay("Tirrow", 640, 480), 0);
        EXPECT_EQ(fake.calls.empty() ? "" : fake.calls.back(), c.lastCall);
        EXPECT_THAT(displayFailure(), ::testing::HasSubstr(c.reason));
        windowProc(getWindowHandle(), WM_ACTIVATEAPP, 1, 0);
        EXPECT_EQ(present(frame.data()), std::make_pair(0, Calls{}));
        shutdownDisplay();
        EXPECT_EQ(fake.liveObjects, 0);
        EXPECT_EQ(ddraw::openLibraryCount(), 0);
    }
}

TEST_F(DisplayTest, LockFailureSkipsTheFrameAndTheNextOneIsShownWithinTheLockedSize) {
    openActive();
    EXPECT_EQ(present(nullptr), std::make_pair(0, Calls{}));
    fake.script.lockFails = true;
    EXPECT_EQ(present(frame.data()), std::make_pair(0, Calls{"Restore", "Lock null size 108 0x1"}));
    fake.script.lockFails = false;
    EXPECT_EQ(present(frame.data()),
              std::make_pair(1, Calls{"Restore", "Lock null size 108 0x1", "Unlock locked", "Flip null 0x1"}));
    ASSERT_EQ(fake.backBuffer.size(), 640u * 480u * 4u);
    EXPECT_EQ(0, std::memcmp(fake.backBuffer.data(), frame.data(), fake.backBuffer.size()));
    // Never more than a smaller locked surface holds: its row 199 is the
    // start of frame row 199.
    fake.script.lockedWidth = 320;
    fake.script.lockedHeight = 200;
    ASSERT_EQ(presentFrame(frame.data()), 1);
    ASSERT_EQ(fake.backBuffer.size(), 320u * 200u * 4u);
    EXPECT_EQ(0, std::memcmp(fake.backBuffer.data() + 199 * 1280, frame.data() + 199 * 640, 1280));
}

TEST_F(DisplayTest, SixteenBitsAfterTwoRefusalsAndAWidePitchLeavesTheRowEndsUntouched) {
    fake.script.refusedBits = {32, 24};
    fake.script.pitch = 2048;
    openActive();
    EXPECT_EQ(Calls(fake.calls.begin() + 2, fake.calls.begin() + 5),
              (Calls{"SetDisplayMode 640x480x32", "SetDisplayMode 640x480x24", "SetDisplayMode 640x480x16"}));
    ASSERT_EQ(presentFrame(frame.data()), 1);
    ASSERT_EQ(fake.backBuffer.size(), 2048u * 480u);
    std::vector<std::uint8_t> row(1280);
    for (int y = 0; y < 480; ++y) {
        const std::uint8_t* line = fake.backBuffer.data() + y * 2048;
        convertRowTo565(frame.data() + y * 640, row.data(), 640);
        ASSERT_EQ(std::vector<std::uint8_t>(line, line + 1280), row) << "row " << y;
        for (int x = 1280; x < 2048; ++x) ASSERT_EQ(line[x], 0xEE) << "row " << y << " byte " << x;
    }
}

TEST_F(DisplayTest, ShutdownTwiceReleasesEverythingOnce) {
    openActive();
    HWND window = getWindowHandle();
    std::size_t before = fake.calls.size();
    shutdownDisplay();
    shutdownDisplay();
    EXPECT_EQ(Calls(fake.calls.begin() + long(before), fake.calls.end()),
              (Calls{"Release primary", "RestoreDisplayMode", "SetCooperativeLevel window 0x8", "Release directDraw"}));
    EXPECT_EQ(fake.liveObjects, 0);
    EXPECT_EQ(ddraw::openLibraryCount(), 0);
    EXPECT_EQ(win32::sdlWindow(window), nullptr);
    EXPECT_TRUE(win32::screenSaverAllowed());
    // Frames after the shutdown present nothing and touch nothing.
    windowProc(window, WM_ACTIVATEAPP, 1, 0);
    EXPECT_EQ(present(frame.data()), std::make_pair(0, Calls{}));
}

}  // namespace
