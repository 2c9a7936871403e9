// The progress window's layout is the dialog template's in resources/.
#include "platform/progresswindow.h"

#include "tests/support/scratchdir.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

namespace {

TEST(ProgressWindow, DrawsTheLayoutOfTheDialogTemplate) {
    const std::string rc = ScratchDir::read(std::string(QVO_SOURCE_DIR) + "/resources/progress.rc");
    const auto& t = win32::progressDialog;
    const auto n = [](int value) { return std::to_string(value); };
    const auto box = [&](int x, int y, int w, int h) { return n(x) + ",\\s*" + n(y) + ",\\s*" + n(w) + ",\\s*" + n(h); };
    for (const std::string& line :
         {"#define IDD_PROGRESS\\s+" + n(t.id), "#define IDC_PROGRESS\\s+" + n(t.bar.id),
          "#define IDC_CANCEL\\s+" + n(t.cancel.id), "IDD_PROGRESS\\s+DIALOG\\s+" + box(0, 0, t.width, t.height),
          "CAPTION \"" + std::string(t.caption) + "\"", "FONT " + n(t.pointSize) + ", \"" + std::string(t.font) + "\"",
          "\"msctls_progress32\",\\s*WS_BORDER,\\s*" + box(t.bar.x, t.bar.y, t.bar.width, t.bar.height),
          "PUSHBUTTON \"" + std::string(t.cancel.text) + "\",\\s*IDC_CANCEL,\\s*" +
              box(t.cancel.x, t.cancel.y, t.cancel.width, t.cancel.height)})
        EXPECT_TRUE(std::regex_search(rc, std::regex(line))) << line;
    // 428 x 74 units make a 642 x 120 pixel window at the template's font.
    EXPECT_EQ(642, win32::dialogUnitsToPixelsX(t.width));
    EXPECT_EQ(120, win32::dialogUnitsToPixelsY(t.height));
}

TEST(ProgressWindow, IsNotOpenedWithoutADisplay) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    EXPECT_EQ(nullptr, win32::ProgressWindow::open());
}

// Cancel is the button (a left click inside it), Escape, or the close box;
// nothing else is, and another window's events are not this one's.
TEST(ProgressWindow, CancelIsTheButtonEscapeOrTheCloseBox) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    auto window = win32::ProgressWindow::open(true);
    ASSERT_NE(nullptr, window) << SDL_GetError();
    const auto& button = win32::progressDialog.cancel;
    const int insideX = win32::dialogUnitsToPixelsX(button.x + button.width / 2);
    const int insideY = win32::dialogUnitsToPixelsY(button.y + button.height / 2);
    const auto key = [](SDL_Keycode sym) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = sym;
        return e;
    };
    const auto click = [](Uint8 which, int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEBUTTONUP;
        e.button.button = which;
        e.button.x = x;
        e.button.y = y;
        return e;
    };
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    const struct {
        const char* what;
        SDL_Event event;
        bool ownWindow;
        bool cancels;
    } cases[] = {
        {"Escape", key(SDLK_ESCAPE), true, true},
        {"the close box", close, true, true},
        {"a click on Cancel", click(SDL_BUTTON_LEFT, insideX, insideY), true, true},
        {"C, the button's mnemonic", key(SDLK_c), true, true},
        {"another key", key(SDLK_RETURN), true, false},
        {"a click beside the button", click(SDL_BUTTON_LEFT, 5, 5), true, false},
        {"a right click on it", click(SDL_BUTTON_RIGHT, insideX, insideY), true, false},
        {"Escape in another window", key(SDLK_ESCAPE), false, false},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.what);
        const Uint32 id = c.ownWindow ? window->windowId() : window->windowId() + 1;
        if (c.event.type == SDL_WINDOWEVENT) c.event.window.windowID = id;
        if (c.event.type == SDL_KEYDOWN) c.event.key.windowID = id;
        if (c.event.type == SDL_MOUSEBUTTONUP) c.event.button.windowID = id;
        ASSERT_EQ(1, SDL_PushEvent(&c.event));
        EXPECT_EQ(c.cancels, window->cancelPressed());
        EXPECT_FALSE(window->cancelPressed()) << "a press counts once";
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
}

}  // namespace
