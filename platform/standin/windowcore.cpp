#include "platform/standin/windowcore.h"

#include "resources/mainicon.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <string>

namespace windowcore {
namespace {

struct State {
    std::map<std::string, WNDCLASSA> classes;
    std::vector<std::unique_ptr<WindowRecord>> windows;
    std::deque<MSG> queue;
    bool screenSaverAllowed = true;
    bool cursorHidden = false;
};

State& state() {
    static State s;
    return s;
}

const Icon* mainIcon() {
    static const Icon icon = [] {
        Icon i{resources::mainIconSize, resources::mainIconSize, {}};
        for (int y = 0; y < i.height; ++y)
            for (int x = 0; x < i.width; ++x) i.argb.push_back(resources::mainIconColour(resources::mainIconArt[y][x]));
        return i;
    }();
    return &icon;
}

bool matches(const MSG& m, HWND window, UINT first, UINT last) {
    if (window && m.hwnd != window) return false;
    if (first == 0 && last == 0) return true;
    return m.message >= first && m.message <= last;
}

}  // namespace

const Icon* classIcon(const WNDCLASSA& windowClass) {
    return windowClass.hIcon == mainIcon() ? mainIcon() : nullptr;
}

const std::vector<std::unique_ptr<WindowRecord>>& windows() { return state().windows; }

WindowRecord* liveWindow(HWND window) {
    for (auto& r : state().windows)
        if (r.get() == window) return r->alive ? r.get() : nullptr;
    return nullptr;
}

bool anyLiveWindow() {
    return std::any_of(state().windows.begin(), state().windows.end(), [](auto& r) { return r->alive; });
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

void postCursorOver(WindowRecord* window) {
    auto& q = state().queue;
    if (!q.empty() && q.back().hwnd == window && q.back().message == WM_SETCURSOR) return;
    post(window, WM_SETCURSOR, WPARAM(window), cursorOverClient);
}

}  // namespace windowcore

using windowcore::state;

HINSTANCE GetModuleHandleA(const char* moduleName) {
    static char self;
    return moduleName ? nullptr : &self;
}

HICON LoadIconA(HINSTANCE instance, const char* name) {
    if (instance != GetModuleHandleA(nullptr) || !name) return nullptr;
    if (std::strcmp(name, "IDI_MAIN") == 0) return const_cast<windowcore::Icon*>(windowcore::mainIcon());
    return nullptr;
}

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc) return 0;
    auto& classes = state().classes;
    auto it = classes.insert_or_assign(windowClass->lpszClassName, *windowClass).first;
    it->second.lpszClassName = it->first.c_str();
    return ATOM(0xC000 + std::distance(classes.begin(), it));
}

HWND CreateWindowExA(DWORD, const char* className, const char* windowName, DWORD style, int x, int y, int width,
                     int height, HWND, HMENU, HINSTANCE, void*) {
    if (!className) return nullptr;
    auto cls = state().classes.find(className);
    if (cls == state().classes.end()) return nullptr;
    auto r = windowcore::backend::openWindow(cls->second, windowName ? windowName : "", style, x, y, width, height);
    if (!r) return nullptr;
    r->procedure = cls->second.lpfnWndProc;
    r->alive = true;
    state().windows.push_back(std::move(r));
    HWND handle = state().windows.back().get();
    if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
    return handle;
}

BOOL DestroyWindow(HWND window) {
    windowcore::WindowRecord* r = windowcore::liveWindow(window);
    if (!r) return 0;
    r->alive = false;
    r->close();
    auto& q = state().queue;
    q.erase(std::remove_if(q.begin(), q.end(), [&](const MSG& m) { return m.hwnd == window; }), q.end());
    return 1;
}

BOOL ShowWindow(HWND window, int command) {
    windowcore::WindowRecord* r = windowcore::liveWindow(window);
    if (!r) return 0;
    return r->show(command != SW_HIDE) ? 1 : 0;
}

BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove) {
    if (!message) return 0;
    windowcore::backend::takeEvents();
    auto& q = state().queue;
    for (auto it = q.begin(); it != q.end(); ++it) {
        if (!windowcore::matches(*it, window, first, last)) continue;
        *message = *it;
        if (remove & PM_REMOVE) q.erase(it);
        return 1;
    }
    return 0;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window && !windowcore::liveWindow(window)) return 0;
    windowcore::post(window, message, wParam, lParam);
    return 1;
}

BOOL TranslateMessage(const MSG*) { return 0; }

LRESULT DispatchMessageA(const MSG* message) {
    if (!message) return 0;
    windowcore::WindowRecord* r = windowcore::liveWindow(message->hwnd);
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
    windowcore::backend::hideCursor(state().cursorHidden);
    return previous;
}

BOOL SystemParametersInfoA(UINT action, UINT parameter, void*, UINT) {
    if (action != SPI_SETSCREENSAVEACTIVE) return 0;
    state().screenSaverAllowed = parameter != 0;
    windowcore::backend::allowScreenSaver(state().screenSaverAllowed);
    return 1;
}

namespace win32 {

bool screenSaverAllowed() { return state().screenSaverAllowed; }

bool cursorHidden() { return state().cursorHidden; }

}  // namespace win32
