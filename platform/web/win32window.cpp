// The window stand-in in a page: the canvas is the one window there can be
// on screen; keys, focus and the mouse reach its queue from the page.
#include "platform/standin/windowcore.h"

#include "platform/web/browser.h"

namespace {

using windowcore::post;

struct PageWindowRecord : windowcore::WindowRecord {
    bool visible = false;

    void close() override {
        if (visible) qvo_window_show(0);
    }

    bool show(bool wanted) override {
        const bool wasVisible = visible;
        visible = wanted;
        qvo_window_show(visible ? 1 : 0);
        return wasVisible;
    }
};

// The page shows one window at a time: the newest live one.
windowcore::WindowRecord* pageWindow() {
    const auto& windows = windowcore::windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->alive) return it->get();
    return nullptr;
}

}  // namespace

namespace windowcore::backend {

std::unique_ptr<WindowRecord> openWindow(const WNDCLASSA& windowClass, const char* title, DWORD, int, int, int,
                                         int) {
    const Icon* icon = classIcon(windowClass);
    qvo_window_open(title, icon ? icon->argb.data() : nullptr, icon ? icon->width : 0);
    return std::make_unique<PageWindowRecord>();
}

// The page's events become the window's messages. Key values arrive as
// virtual-key codes (the page maps them).
void takeEvents() {
    for (int event; (event = qvo_next_event()) != 0;) {
        WindowRecord* r = pageWindow();
        if (!r) continue;
        const int value = event & 0xFFFF;
        switch (event >> 16) {
            case web::KeyDown: post(r, WM_KEYDOWN, WPARAM(value), 1); break;
            case web::KeyUp: post(r, WM_KEYUP, WPARAM(value), LPARAM(1) | LPARAM(3) << 30); break;
            case web::Activate: post(r, WM_ACTIVATEAPP, WPARAM(value), 0); break;
            case web::Close: post(r, WM_CLOSE, 0, 0); break;
            case web::MouseOver: postCursorOver(r); break;
            default: break;
        }
    }
}

void hideCursor(bool hidden) { qvo_cursor_hidden(hidden ? 1 : 0); }

// The screen saver's counterpart in a page is a screen wake lock.
void allowScreenSaver(bool allowed) { qvo_keep_screen_awake(allowed ? 0 : 1); }

}  // namespace windowcore::backend
