// The window stand-in: SDL events become the messages the window procedure
// expects, the class's icon, cursor and screen-saver switches.
#include "platform/win32window.h"
#include "resources/mainicon.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const bool dummyVideo = (setenv("SDL_VIDEODRIVER", "dummy", 1), true);

std::vector<MSG> delivered;

LRESULT recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    delivered.push_back(MSG{window, message, wParam, lParam, 0, {}});
    return 0;
}

class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dummyVideo);
        delivered.clear();
        WNDCLASSA wc{};
        wc.lpfnWndProc = recordingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hIcon = LoadIconA(wc.hInstance, "IDI_MAIN");
        wc.lpszClassName = "MessagesTest";
        ASSERT_NE(RegisterClassA(&wc), 0);
        window = CreateWindowExA(0, "MessagesTest", "MessagesTest", WS_POPUP | WS_SYSMENU, 0, 0, 0, 0, nullptr,
                                 nullptr, nullptr, nullptr);
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

    void pushKey(SDL_Keycode key, Uint32 type = SDL_KEYDOWN) {
        SDL_Event e{};
        e.type = type;
        e.key.windowID = SDL_GetWindowID(sdl);
        e.key.keysym.sym = key;
        e.key.keysym.scancode = SDL_GetScancodeFromKey(key);
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }

    void pushWindowEvent(Uint8 event, Uint32 windowId) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.event = event;
        e.window.windowID = windowId;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }

    HWND window = nullptr;
    SDL_Window* sdl = nullptr;
};

TEST_F(MessagesTest, KeysBecomeKeyMessagesWithVirtualKeyCodes) {
    pushKey(SDLK_ESCAPE);
    pushKey(SDLK_a);
    pushKey(SDLK_RETURN, SDL_KEYUP);
    pump();
    ASSERT_EQ(delivered.size(), 3u);
    EXPECT_EQ(delivered[0].message, WM_KEYDOWN);
    EXPECT_EQ(delivered[0].wParam, 0x1Bu);
    EXPECT_EQ(delivered[0].hwnd, window);
    EXPECT_EQ(delivered[1].wParam, WPARAM('A'));
    EXPECT_EQ(delivered[2].message, WM_KEYUP);
    EXPECT_EQ(delivered[2].wParam, VK_RETURN);
}

TEST_F(MessagesTest, FocusAndCloseRequestsBecomeActivationAndClose) {
    Uint32 id = SDL_GetWindowID(sdl);
    pushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED, id);
    pushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST, id);
    pushWindowEvent(SDL_WINDOWEVENT_CLOSE, id);
    pump();
    ASSERT_EQ(delivered.size(), 3u);
    EXPECT_EQ(delivered[0].message, WM_ACTIVATEAPP);
    EXPECT_EQ(delivered[0].wParam, 1u);
    EXPECT_EQ(delivered[1].message, WM_ACTIVATEAPP);
    EXPECT_EQ(delivered[1].wParam, 0u);
    EXPECT_EQ(delivered[2].message, WM_CLOSE);
}

TEST_F(MessagesTest, QuitRequestClosesTheWindow) {
    SDL_Event e{};
    e.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    pump();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].message, WM_CLOSE);
}

TEST_F(MessagesTest, EventsOfOtherWindowsAreLeftForTheirOwners) {
    SDL_Window* other = SDL_CreateWindow("other", 0, 0, 10, 10, SDL_WINDOW_HIDDEN);
    ASSERT_NE(other, nullptr);
    pushWindowEvent(SDL_WINDOWEVENT_CLOSE, SDL_GetWindowID(other));
    pump();
    EXPECT_TRUE(delivered.empty());
    SDL_Event e;
    bool found = false;
    while (SDL_PollEvent(&e))
        if (e.type == SDL_WINDOWEVENT && e.window.windowID == SDL_GetWindowID(other)) found = true;
    EXPECT_TRUE(found);
    SDL_DestroyWindow(other);
}

TEST_F(MessagesTest, MouseOverTheWindowAsksForTheCursorOncePerPump) {
    for (int i = 0; i < 3; ++i) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = SDL_GetWindowID(sdl);
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    pump();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].message, WM_SETCURSOR);
}

TEST_F(MessagesTest, PeekFiltersByWindowAndRemovesOnlyWhenAsked) {
    ASSERT_TRUE(PostMessageA(window, WM_KEYDOWN, 'X', 0));
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, window, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, WPARAM('X'));
    EXPECT_FALSE(PeekMessageA(&m, window, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    int stranger;
    EXPECT_FALSE(PeekMessageA(&m, &stranger, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&m, window, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&m, window, 0, 0, PM_REMOVE));
}

TEST_F(MessagesTest, DefaultProcedureDestroysOnCloseAndWindowsCanBeHidden) {
    SDL_ShowWindow(sdl);
    EXPECT_TRUE(ShowWindow(window, SW_HIDE));
    EXPECT_FALSE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN);
    EXPECT_EQ(DefWindowProcA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(win32::sdlWindow(window), nullptr);
    EXPECT_FALSE(DestroyWindow(window));  // already gone: nothing happens
    EXPECT_FALSE(ShowWindow(window, SW_SHOW));
    EXPECT_FALSE(PostMessageA(window, WM_CLOSE, 0, 0));
}

TEST_F(MessagesTest, CursorAndScreenSaverSwitches) {
    SetCursor(nullptr);
    EXPECT_TRUE(win32::cursorHidden());
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    SetCursor(reinterpret_cast<HCURSOR>(1));
    EXPECT_FALSE(win32::cursorHidden());

    EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, 0));
    EXPECT_FALSE(win32::screenSaverAllowed());
    EXPECT_FALSE(SDL_IsScreenSaverEnabled());
    EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 1, nullptr, 0));
    EXPECT_TRUE(SDL_IsScreenSaverEnabled());
    EXPECT_FALSE(SystemParametersInfoA(0x1234, 0, nullptr, 0));
}

TEST(WindowResources, MainIconIsAWholeSquareOfKnownColours) {
    for (const char* line : resources::mainIconArt) {
        ASSERT_EQ(std::strlen(line), std::size_t(resources::mainIconSize)) << line;
        for (const char* c = line; *c; ++c)
            EXPECT_TRUE(*c == ' ' || resources::mainIconColour(*c) != 0) << "unknown colour '" << *c << "'";
    }
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), "IDI_MAIN"), nullptr);
    EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), "IDI_OTHER"), nullptr);
    EXPECT_EQ(GetModuleHandleA("user32.dll"), nullptr);
}

TEST(WindowClasses, CreatingAWindowNeedsARegisteredClass) {
    EXPECT_EQ(CreateWindowExA(0, "NeverRegistered", "x", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    WNDCLASSA nameless{};
    EXPECT_EQ(RegisterClassA(&nameless), 0);
}

}  // namespace
