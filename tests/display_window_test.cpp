// The DirectDraw display module (init, present, shutdown, window procedure)
// against a scripted DirectDraw, with the window on SDL's dummy driver.
#include "display/ddrawdisplay.h"
#include "display/rowconverters.h"
#include "platform/ddraw.h"
#include "tests/support/fakeddraw.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
        // Leaves the module inactive for the next test.
        windowProc(getWindowHandle(), WM_ACTIVATEAPP, 0, 0);
    }

    // Calls since the given index.
    Calls callsFrom(std::size_t first) const { return Calls(fake.calls.begin() + long(first), fake.calls.end()); }

    void activate() {
        ASSERT_TRUE(PostMessageA(getWindowHandle(), WM_ACTIVATEAPP, 1, 0));
    }

    // A frame whose pixel (x, y) is a distinct colour.
    static std::vector<std::uint32_t> pattern() {
        std::vector<std::uint32_t> frame(640 * 480);
        for (std::uint32_t y = 0; y < 480; ++y)
            for (std::uint32_t x = 0; x < 640; ++x) frame[y * 640 + x] = (y << 12) ^ (x * 0x10305u);
        return frame;
    }

    FakeDirectDraw fake;
};

TEST_F(DisplayTest, OpensWithTheFirstModeAndChainOffered) {
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    EXPECT_EQ(fake.calls, (Calls{
                              "DirectDrawCreate",
                              "SetCooperativeLevel window 0x11",
                              "SetDisplayMode 640x480x32",
                              "CreateSurface size 108 flags 0x21 back 2 caps 0x4218",
                              "GetAttachedSurface 0x4",
                              "GetPixelFormat size 32",
                          }));
    EXPECT_NE(getWindowHandle(), nullptr);
    EXPECT_FALSE(win32::screenSaverAllowed());
    EXPECT_EQ(ddraw::openLibraryCount(), 1);
}

TEST_F(DisplayTest, FallsBackFrom32To24To16BitsAndConvertsForTheModeGot) {
    fake.script.refusedBits = {32, 24};
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    EXPECT_EQ(fake.count("SetDisplayMode"), 3);
    EXPECT_EQ(fake.modeBits, 16u);

    activate();
    auto frame = pattern();
    frame[0] = 0x00123456;
    ASSERT_EQ(presentFrame(frame.data()), 1);
    ASSERT_EQ(fake.pitch, 1280);
    EXPECT_EQ(fake.backBuffer[0], 0xAA);  // 0x11AA, the 5-6-5 form
    EXPECT_EQ(fake.backBuffer[1], 0x11);
}

TEST_F(DisplayTest, TwentyFourBitModeWhen32IsRefused) {
    fake.script.refusedBits = {32};
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    activate();
    auto frame = pattern();
    ASSERT_EQ(presentFrame(frame.data()), 1);
    std::vector<std::uint8_t> row(640 * 3);
    convertRowTo24(frame.data() + 479 * 640, row.data(), 640);
    EXPECT_EQ(std::vector<std::uint8_t>(fake.backBuffer.end() - 640 * 3, fake.backBuffer.end()), row);
}

TEST_F(DisplayTest, FailsWhenNoModeIsAccepted) {
    fake.script.refusedBits = {32, 24, 16};
    EXPECT_EQ(initDisplay("Tirrow", 640, 480), 0);
    EXPECT_EQ(fake.count("CreateSurface"), 0);
    // Whatever was made is still given back by the shutdown.
    shutdownDisplay();
    EXPECT_EQ(fake.liveObjects, 0);
    EXPECT_EQ(ddraw::openLibraryCount(), 0);
}

TEST_F(DisplayTest, RetriesWithOneBackBuffer) {
    fake.script.maxBackBuffers = 1;
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    EXPECT_EQ(fake.count("CreateSurface size 108 flags 0x21 back 2"), 1);
    EXPECT_EQ(fake.count("CreateSurface size 108 flags 0x21 back 1 caps 0x4218"), 1);
}

TEST_F(DisplayTest, WithoutAFlippingChainFailsAtTheBackBuffer) {
    fake.script.maxBackBuffers = 0;
    EXPECT_EQ(initDisplay("Tirrow", 640, 480), 0);
    Calls tail = callsFrom(fake.calls.size() - 2);
    EXPECT_EQ(tail, (Calls{"CreateSurface size 108 flags 0x1 back 0 caps 0x4200", "GetAttachedSurface 0x4"}));
    // Nothing to present into: no lock, no flip, result 0.
    activate();
    auto frame = pattern();
    std::size_t before = fake.calls.size();
    EXPECT_EQ(presentFrame(frame.data()), 0);
    EXPECT_EQ(callsFrom(before), Calls{});
}

TEST_F(DisplayTest, FailsForAPaletteFormatOrUnknownMasks) {
    fake.script.formats[32] = FakePixelFormat{DDPF_PALETTEINDEXED8, 8, 0, 0, 0};
    EXPECT_EQ(initDisplay("Tirrow", 640, 480), 0);
    shutdownDisplay();

    fake.script.formats[32] = FakePixelFormat{DDPF_RGB, 15, 0x7C00, 0x03E0, 0x001F};
    EXPECT_EQ(initDisplay("Tirrow", 640, 480), 0);
    activate();
    auto frame = pattern();
    std::size_t before = fake.calls.size();
    EXPECT_EQ(presentFrame(frame.data()), 0);
    EXPECT_EQ(callsFrom(before), Calls{});
    shutdownDisplay();

    fake.script.pixelFormatFails = true;
    EXPECT_EQ(initDisplay("Tirrow", 640, 480), 0);
}

TEST_F(DisplayTest, FailsWithoutDirectDraw) {
    fake.script.createFails = true;
    EXPECT_EQ(initDisplay("Tirrow", 640, 480), 0);
    EXPECT_EQ(fake.calls, Calls{"DirectDrawCreate"});
    auto frame = pattern();
    EXPECT_EQ(presentFrame(frame.data()), 0);
}

TEST_F(DisplayTest, InactiveFramesDrawNothing) {
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    auto frame = pattern();
    std::size_t before = fake.calls.size();
    // Before the first activation and after a deactivation alike.
    EXPECT_EQ(presentFrame(frame.data()), 1);
    activate();
    ASSERT_TRUE(PostMessageA(getWindowHandle(), WM_ACTIVATEAPP, 0, 0));
    EXPECT_EQ(presentFrame(frame.data()), 1);
    EXPECT_EQ(callsFrom(before), Calls{});
}

TEST_F(DisplayTest, ActiveFrameRestoresLocksConvertsUnlocksAndFlips) {
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    activate();
    auto frame = pattern();
    std::size_t before = fake.calls.size();
    ASSERT_EQ(presentFrame(frame.data()), 1);
    EXPECT_EQ(callsFrom(before), (Calls{"Restore", "Lock null size 108 0x1", "Unlock locked", "Flip null 0x1"}));
    ASSERT_EQ(fake.backBuffer.size(), 640u * 480u * 4u);
    EXPECT_EQ(0, std::memcmp(fake.backBuffer.data(), frame.data(), fake.backBuffer.size()));
}

TEST_F(DisplayTest, LockFailureSkipsTheFrame) {
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    activate();
    fake.script.lockFails = true;
    auto frame = pattern();
    std::size_t before = fake.calls.size();
    EXPECT_EQ(presentFrame(frame.data()), 0);
    EXPECT_EQ(callsFrom(before), (Calls{"Restore", "Lock null size 108 0x1"}));
    // The next frame tries again.
    fake.script.lockFails = false;
    EXPECT_EQ(presentFrame(frame.data()), 1);
}

TEST_F(DisplayTest, WidePitchLeavesTheBytesPastEachRowUntouched) {
    fake.script.refusedBits = {32, 24};
    fake.script.pitch = 2048;
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    activate();
    auto frame = pattern();
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

TEST_F(DisplayTest, NeverWritesPastASmallerLockedSurface) {
    fake.script.lockedWidth = 320;
    fake.script.lockedHeight = 200;
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    activate();
    auto frame = pattern();
    ASSERT_EQ(presentFrame(frame.data()), 1);
    ASSERT_EQ(fake.backBuffer.size(), 320u * 200u * 4u);
    // Row 199 of the surface holds the first 320 pixels of frame row 199.
    EXPECT_EQ(0, std::memcmp(fake.backBuffer.data() + 199 * 1280, frame.data() + 199 * 640, 1280));
}

TEST_F(DisplayTest, ShutdownTwiceReleasesEverythingOnce) {
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    HWND window = getWindowHandle();
    ASSERT_NE(win32::sdlWindow(window), nullptr);
    std::size_t before = fake.calls.size();
    shutdownDisplay();
    shutdownDisplay();
    EXPECT_EQ(callsFrom(before), (Calls{"Release primary", "RestoreDisplayMode", "SetCooperativeLevel window 0x8",
                                        "Release directDraw"}));
    EXPECT_EQ(fake.liveObjects, 0);
    EXPECT_EQ(ddraw::openLibraryCount(), 0);
    EXPECT_EQ(win32::sdlWindow(window), nullptr);
    EXPECT_EQ(getWindowHandle(), window);  // stays recorded
    EXPECT_TRUE(win32::screenSaverAllowed());
    // Frames after the shutdown present nothing and touch nothing.
    windowProc(window, WM_ACTIVATEAPP, 1, 0);
    auto frame = pattern();
    EXPECT_EQ(presentFrame(frame.data()), 0);
    EXPECT_EQ(fake.calls.size(), before + 4);
}

TEST_F(DisplayTest, NullFramebufferIsNotPresented) {
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    activate();
    std::size_t before = fake.calls.size();
    EXPECT_EQ(presentFrame(nullptr), 0);
    EXPECT_EQ(callsFrom(before), Calls{});
}

TEST_F(DisplayTest, WindowProcedureHidesTheCursorAndIgnoresOtherKeys) {
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    SetCursor(reinterpret_cast<HCURSOR>(1));
    ASSERT_TRUE(PostMessageA(getWindowHandle(), WM_SETCURSOR, 0, 0));
    ASSERT_TRUE(PostMessageA(getWindowHandle(), WM_KEYDOWN, 'A', 1));
    ASSERT_TRUE(PostMessageA(getWindowHandle(), WM_KEYDOWN, VK_RETURN, 1));
    presentFrame(pattern().data());
    EXPECT_TRUE(win32::cursorHidden());
    EXPECT_EQ(fake.count("Release"), 0);
}

using DisplayDeathTest = DisplayTest;

TEST_F(DisplayDeathTest, EscapeShutsDownAndExitsWithZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    fake.script.echoToStderr = true;
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    EXPECT_EXIT(
        {
            PostMessageA(getWindowHandle(), WM_KEYDOWN, VK_ESCAPE, 1);
            presentFrame(pattern().data());
            std::fprintf(stderr, "still running\n");
            std::exit(5);
        },
        ::testing::ExitedWithCode(0), "Release primary\n.*RestoreDisplayMode\n.*Release directDraw\n");
    // The high bits of wParam do not matter.
    EXPECT_EXIT(windowProc(getWindowHandle(), WM_KEYDOWN, 0x1001B, 0), ::testing::ExitedWithCode(0),
                "Release directDraw");
}

TEST_F(DisplayDeathTest, CloseRequestShutsDownAndExitsWithZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    fake.script.echoToStderr = true;
    ASSERT_EQ(initDisplay("Tirrow", 640, 480), 1);
    EXPECT_EXIT(
        {
            PostMessageA(getWindowHandle(), WM_CLOSE, 0, 0);
            presentFrame(pattern().data());
            std::exit(5);
        },
        ::testing::ExitedWithCode(0), "Release primary\n.*Release directDraw\n");
}

}  // namespace
