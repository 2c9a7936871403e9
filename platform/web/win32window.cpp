// The window stand-in in a page: the canvas is the one window there can be
// on screen; keys, focus and the mouse reach its queue from the page.
#include "platform/win32window.h"

#include "platform/web/browser.h"
#include "resources/mainicon.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct WindowRecord {
    WNDPROC procedure = nullptr;
    bool alive = false;
    bool visible = false;
};

struct State {
    std::map<std::string, WNDCLASSA> classes;
    // Kept after destruction so a stale handle is recognised as dead.
    std::vector<std::unique_ptr<WindowRecord>> windows;
    std::deque<MSG> queue;
    bool screenSaverAllowed = true;
    bool cursorHidden = false;
};

State& state() {
    static State s;
    return s;
}

WindowRecord* liveRecord(HWND window) {
    for (auto& r : state().windows)
        if (r.get() == window) return r->alive ? r.get() : nullptr;
    return nullptr;
}

// The page shows one window at a time: the newest live one.
WindowRecord* pageWindow() {
    for (auto it = state().windows.rbegin(); it != state().windows.rend(); ++it)
        if ((*it)->alive) return it->get();
    return nullptr;
}

const std::vector<std::uint32_t>& mainIcon() {
    static const std::vector<std::uint32_t> argb = [] {
        std::vector<std::uint32_t> pixels;
        for (int y = 0; y < resources::mainIconSize; ++y)
            for (int x = 0; x < resources::mainIconSize; ++x)
                pixels.push_back(resources::mainIconColour(resources::mainIconArt[y][x]));
        return pixels;
    }();
    return argb;
}

void post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m;
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    state().queue.push_back(m);
}

// WM_SETCURSOR's lParam: hit-test code HTCLIENT, mouse message WM_MOUSEMOVE.
constexpr LPARAM cursorOverClient = LPARAM(1) | (LPARAM(0x0200) << 16);

// The page's events become the window's messages. Key values arrive as
// virtual-key codes (the page maps them).
void takePageEvents() {
    for (int event; (event = qvo_next_event()) != 0;) {
        WindowRecord* r = pageWindow();
        if (!r) continue;
        const int value = event & 0xFFFF;
        switch (event >> 16) {
            case web::KeyDown: post(r, WM_KEYDOWN, WPARAM(value), 1); break;
            case web::KeyUp: post(r, WM_KEYUP, WPARAM(value), LPARAM(1) | LPARAM(3) << 30); break;
            case web::Activate: post(r, WM_ACTIVATEAPP, WPARAM(value), 0); break;
            case web::Close: post(r, WM_CLOSE, 0, 0); break;
            case web::MouseOver:
                if (state().queue.empty() || state().queue.back().message != WM_SETCURSOR)
                    post(r, WM_SETCURSOR, WPARAM(r), cursorOverClient);
                break;
            default: break;
        }
    }
}

bool matches(const MSG& m, HWND window, UINT first, UINT last) {
    if (window && m.hwnd != window) return false;
    if (first == 0 && last == 0) return true;
    return m.message >= first && m.message <= last;
}

}  // namespace

HINSTANCE GetModuleHandleA(const char* moduleName) {
    static char self;
    return moduleName ? nullptr : &self;
}

HICON LoadIconA(HINSTANCE instance, const char* name) {
    if (instance != GetModuleHandleA(nullptr) || !name) return nullptr;
    if (std::strcmp(name, "IDI_MAIN") == 0) return const_cast<std::uint32_t*>(mainIcon().data());
    return nullptr;
}

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc) return 0;
    auto [it, added] = state().classes.insert_or_assign(windowClass->lpszClassName, *windowClass);
    (void)added;
    it->second.lpszClassName = it->first.c_str();
    return ATOM(0xC000 + std::distance(state().classes.begin(), it));
}

HWND CreateWindowExA(DWORD, const char* className, const char* windowName, DWORD style, int, int, int, int, HWND,
                     HMENU, HINSTANCE, void*) {
    if (!className) return nullptr;
    auto cls = state().classes.find(className);
    if (cls == state().classes.end()) return nullptr;
    auto r = std::make_unique<WindowRecord>();
    r->procedure = cls->second.lpfnWndProc;
    r->alive = true;
    state().windows.push_back(std::move(r));
    HWND handle = state().windows.back().get();
    const bool ownIcon = cls->second.hIcon == mainIcon().data();
    qvo_window_open(windowName ? windowName : "", ownIcon ? mainIcon().data() : nullptr, resources::mainIconSize);
    if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
    return handle;
}

BOOL DestroyWindow(HWND window) {
    WindowRecord* r = liveRecord(window);
    if (!r) return 0;
    if (r->visible) qvo_window_show(0);
    r->alive = false;
    auto& q = state().queue;
    q.erase(std::remove_if(q.begin(), q.end(), [&](const MSG& m) { return m.hwnd == window; }), q.end());
    return 1;
}

BOOL ShowWindow(HWND window, int command) {
    WindowRecord* r = liveRecord(window);
    if (!r) return 0;
    const BOOL wasVisible = r->visible ? 1 : 0;
    r->visible = command != SW_HIDE;
    qvo_window_show(r->visible ? 1 : 0);
    return wasVisible;
}

BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove) {
    if (!message) return 0;
    takePageEvents();
    auto& q = state().queue;
    for (auto it = q.begin(); it != q.end(); ++it) {
        if (!matches(*it, window, first, last)) continue;
        *message = *it;
        if (remove & PM_REMOVE) q.erase(it);
        return 1;
    }
    return 0;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window && !liveRecord(window)) return 0;
    post(window, message, wParam, lParam);
    return 1;
}

BOOL TranslateMessage(const MSG*) { return 0; }

LRESULT DispatchMessageA(const MSG* message) {
    if (!message) return 0;
    WindowRecord* r = liveRecord(message->hwnd);
    if (!r || !r->procedure) return 0;
    return r->procedure(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) DestroyWindow(window);
    return 0;
}

HCURSOR SetCursor(HCURSOR cursor) {
    static char arrow;
    HCURSOR previous = state().cursorHidden ? nullptr : &arrow;
    state().cursorHidden = cursor == nullptr;
    qvo_cursor_hidden(state().cursorHidden ? 1 : 0);
    return previous;
}

// The screen saver's counterpart in a page is a screen wake lock.
BOOL SystemParametersInfoA(UINT action, UINT parameter, void*, UINT) {
    if (action != SPI_SETSCREENSAVEACTIVE) return 0;
    state().screenSaverAllowed = parameter != 0;
    qvo_keep_screen_awake(state().screenSaverAllowed ? 0 : 1);
    return 1;
}

namespace win32 {

bool screenSaverAllowed() { return state().screenSaverAllowed; }
bool cursorHidden() { return state().cursorHidden; }

}  // namespace win32
