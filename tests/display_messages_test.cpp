// The window stand-in: SDL events become the messages the window procedure
// expects, the cursor and screen-saver switches, the icon.
#include "platform/sdl/video.h"
#include "platform/win32window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace {

const bool dummyVideo = (setenv("SDL_VIDEODRIVER", "dummy", 1), true);

using Delivered = std::vector<std::pair<UINT, WPARAM>>;
Delivered delivered;

LRESULT recordingProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    delivered.emplace_back(message, wParam);
    return 0;
}

class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dummyVideo);
        WNDCLASSA wc{};
        wc.lpfnWndProc = recordingProc;
        wc.lpszClassName = "MessagesTest";
        ASSERT_NE(RegisterClassA(&wc), 0);
        window = CreateWindowExA(0, "MessagesTest", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        sdl = win32::sdlWindow(window);
        ASSERT_NE(sdl, nullptr);
        pump();  // whatever creating the window queued
        delivered.clear();
    }
    void TearDown() override { DestroyWindow(window); }

    void pump() {
        MSG m;
        while (PeekMessageA(&m, window, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }

    // Pushes an event for this window: a window event or a key.
    void push(Uint32 type, int detail = 0) {
        SDL_Event e{};
        e.type = type;
        e.window.windowID = SDL_GetWindowID(sdl);  // the same in key and motion events
        if (type == SDL_WINDOWEVENT) e.window.event = Uint8(detail);
        else if (detail) e.key.keysym = {SDL_GetScancodeFromKey(detail), detail, 0, 0};
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }

    HWND window = nullptr;
    SDL_Window* sdl = nullptr;
};

TEST_F(MessagesTest, EventsBecomeTheMessagesTheWindowProcedureExpects) {
    push(SDL_KEYDOWN, SDLK_ESCAPE);
    push(SDL_KEYDOWN, SDLK_a);
    push(SDL_KEYUP, SDLK_RETURN);
    push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_GAINED);
    push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST);
    for (int i = 0; i < 3; ++i) push(SDL_MOUSEMOTION);  // asks for the cursor once per pump
    push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE);
    push(SDL_QUIT);
    pump();
    EXPECT_EQ(delivered, (Delivered{{WM_KEYDOWN, 0x1B}, {WM_KEYDOWN, 'A'}, {WM_KEYUP, VK_RETURN},
                                    {WM_ACTIVATEAPP, 1}, {WM_ACTIVATEAPP, 0}, {WM_SETCURSOR, WPARAM(window)},
                                    {WM_CLOSE, 0}, {WM_CLOSE, 0}}));
}

TEST_F(MessagesTest, CursorScreenSaverIconHideAndCloseReachSdl) {
    SetCursor(nullptr);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, 0));
    EXPECT_FALSE(SDL_IsScreenSaverEnabled());
    EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 1, nullptr, 0));
    EXPECT_TRUE(SDL_IsScreenSaverEnabled());
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), "IDI_MAIN"), nullptr);
    EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), "IDI_OTHER"), nullptr);

    SDL_ShowWindow(sdl);
    EXPECT_TRUE(ShowWindow(window, SW_HIDE));
    EXPECT_FALSE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN);
    EXPECT_EQ(DefWindowProcA(window, WM_CLOSE, 0, 0), 0);  // the default destroys the window
    EXPECT_EQ(win32::sdlWindow(window), nullptr);
    EXPECT_FALSE(DestroyWindow(window));  // already gone: nothing happens
    EXPECT_FALSE(PostMessageA(window, WM_CLOSE, 0, 0));
}

}  // namespace
