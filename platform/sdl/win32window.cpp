#include "platform/win32window.h"

#include "resources/mainicon.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Icon {
    int width;
    int height;
    std::vector<std::uint32_t> argb;
};

struct WindowRecord {
    WNDPROC procedure = nullptr;
    SDL_Window* sdl = nullptr;
    std::uint32_t sdlId = 0;
    bool alive = false;
};

struct State {
    std::map<std::string, WNDCLASSA> classes;
    // Records are kept after destruction so a stale handle is recognised as
    // dead instead of pointing at freed memory.
    std::vector<std::unique_ptr<WindowRecord>> windows;
    std::deque<MSG> queue;
    bool screenSaverAllowed = true;
    bool cursorHidden = false;
};

State& state() {
    static State s;
    return s;
}

WindowRecord* record(HWND window) {
    for (auto& r : state().windows)
        if (r.get() == window) return r.get();
    return nullptr;
}

WindowRecord* liveRecord(HWND window) {
    WindowRecord* r = record(window);
    return r && r->alive ? r : nullptr;
}

WindowRecord* recordOfSdlWindow(std::uint32_t id) {
    for (auto& r : state().windows)
        if (r->alive && r->sdlId == id) return r.get();
    return nullptr;
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

void post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m;
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    state().queue.push_back(m);
}

WPARAM virtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return WPARAM('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return WPARAM('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return WPARAM(0x70 + (key - SDLK_F1));
    switch (key) {
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_RETURN: return VK_RETURN;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_TAB: return 0x09;
        case SDLK_BACKSPACE: return 0x08;
        case SDLK_LEFT: return 0x25;
        case SDLK_UP: return 0x26;
        case SDLK_RIGHT: return 0x27;
        case SDLK_DOWN: return 0x28;
        default: return 0;
    }
}

// WM_SETCURSOR's lParam: hit-test code HTCLIENT, mouse message WM_MOUSEMOVE.
constexpr LPARAM cursorOverClient = LPARAM(1) | (LPARAM(0x0200) << 16);

void postCursorOnce(WindowRecord* r) {
    auto& q = state().queue;
    if (!q.empty() && q.back().hwnd == r && q.back().message == WM_SETCURSOR) return;
    post(r, WM_SETCURSOR, WPARAM(r), cursorOverClient);
}

void translate(const SDL_Event& e) {
    switch (e.type) {
        case SDL_QUIT:
            // Also what SIGINT/SIGTERM become: the window closes cleanly.
            for (auto& r : state().windows)
                if (r->alive) post(r.get(), WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT: {
            WindowRecord* r = recordOfSdlWindow(e.window.windowID);
            if (!r) break;
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE: post(r, WM_CLOSE, 0, 0); break;
                case SDL_WINDOWEVENT_FOCUS_GAINED: post(r, WM_ACTIVATEAPP, 1, 0); break;
                case SDL_WINDOWEVENT_FOCUS_LOST: post(r, WM_ACTIVATEAPP, 0, 0); break;
                case SDL_WINDOWEVENT_SHOWN:
                case SDL_WINDOWEVENT_ENTER: postCursorOnce(r); break;
                default: break;
            }
            break;
        }
        case SDL_MOUSEMOTION:
            if (WindowRecord* r = recordOfSdlWindow(e.motion.windowID)) postCursorOnce(r);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            WindowRecord* r = recordOfSdlWindow(e.key.windowID);
            WPARAM key = virtualKey(e.key.keysym.sym);
            if (!r || key == 0) break;
            // Repeat count 1, scan code, "was down before" for auto-repeat.
            LPARAM lParam = 1 | (LPARAM(e.key.keysym.scancode & 0xFF) << 16) | (e.key.repeat ? LPARAM(1) << 30 : 0);
            post(r, e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, key, lParam);
            break;
        }
        default: break;
    }
}

std::uint32_t windowIdOf(const SDL_Event& e) {
    switch (e.type) {
        case SDL_WINDOWEVENT: return e.window.windowID;
        case SDL_KEYDOWN:
        case SDL_KEYUP: return e.key.windowID;
        case SDL_TEXTEDITING: return e.edit.windowID;
        case SDL_TEXTINPUT: return e.text.windowID;
        case SDL_MOUSEMOTION: return e.motion.windowID;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: return e.button.windowID;
        case SDL_MOUSEWHEEL: return e.wheel.windowID;
        default: return 0;
    }
}

// An event for an existing SDL window that is not one of ours.
bool addressedElsewhere(const SDL_Event& e) {
    std::uint32_t id = windowIdOf(e);
    return id != 0 && !recordOfSdlWindow(id) && SDL_GetWindowFromID(id) != nullptr;
}

bool anyLiveWindow() {
    for (auto& r : state().windows)
        if (r->alive && r->sdl) return true;
    return false;
}

void applyScreenSaver() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    if (state().screenSaverAllowed)
        SDL_EnableScreenSaver();
    else
        SDL_DisableScreenSaver();
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
    if (std::strcmp(name, "IDI_MAIN") == 0) return const_cast<Icon*>(mainIcon());
    return nullptr;
}

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc) return 0;
    auto [it, added] = state().classes.insert_or_assign(windowClass->lpszClassName, *windowClass);
    (void)added;
    it->second.lpszClassName = it->first.c_str();
    return ATOM(0xC000 + std::distance(state().classes.begin(), it));
}

HWND CreateWindowExA(DWORD, const char* className, const char* windowName, DWORD style, int x, int y, int width,
                     int height, HWND, HMENU, HINSTANCE, void*) {
    if (!className) return nullptr;
    auto cls = state().classes.find(className);
    if (cls == state().classes.end()) return nullptr;
    if (!win32::startVideo()) return nullptr;

    if (width < 1 || height < 1) {
        width = 640;
        height = 480;
    }
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (style & WS_POPUP) flags |= SDL_WINDOW_BORDERLESS;
    SDL_Window* sdl = SDL_CreateWindow(windowName ? windowName : "", x, y, width, height, flags);
    if (!sdl) {
        SDL_Log("CreateWindowExA: %s", SDL_GetError());
        win32::stopVideo();
        return nullptr;
    }
    if (auto* icon = static_cast<const Icon*>(cls->second.hIcon)) {
        SDL_Surface* image = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(icon->argb.data()),
                                                                icon->width, icon->height, 32, icon->width * 4,
                                                                SDL_PIXELFORMAT_ARGB8888);
        if (image) {
            SDL_SetWindowIcon(sdl, image);
            SDL_FreeSurface(image);
        }
    }
    auto r = std::make_unique<WindowRecord>();
    r->procedure = cls->second.lpfnWndProc;
    r->sdl = sdl;
    r->sdlId = SDL_GetWindowID(sdl);
    r->alive = true;
    state().windows.push_back(std::move(r));
    HWND handle = state().windows.back().get();
    if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
    return handle;
}

BOOL DestroyWindow(HWND window) {
    WindowRecord* r = liveRecord(window);
    if (!r) return 0;
    r->alive = false;
    // A renderer left on the window goes first, whatever the SDL version
    // does with it on its own.
    if (SDL_Renderer* renderer = SDL_GetRenderer(r->sdl)) SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(r->sdl);
    r->sdl = nullptr;
    r->sdlId = 0;
    auto& q = state().queue;
    q.erase(std::remove_if(q.begin(), q.end(), [&](const MSG& m) { return m.hwnd == window; }), q.end());
    win32::stopVideo();
    return 1;
}

BOOL ShowWindow(HWND window, int command) {
    WindowRecord* r = liveRecord(window);
    if (!r) return 0;
    BOOL wasVisible = (SDL_GetWindowFlags(r->sdl) & SDL_WINDOW_SHOWN) ? 1 : 0;
    if (command == SW_HIDE)
        SDL_HideWindow(r->sdl);
    else
        SDL_ShowWindow(r->sdl);
    return wasVisible;
}

BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove) {
    if (!message) return 0;
    if (anyLiveWindow()) {
        SDL_PumpEvents();
        // Takes what concerns this module and leaves events addressed to
        // other SDL windows (the progress dialog) for their owners.
        SDL_FilterEvents(
            [](void*, SDL_Event* e) -> int {
                if (addressedElsewhere(*e)) return 1;
                translate(*e);
                return 0;
            },
            nullptr);
    }
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
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(cursor ? SDL_ENABLE : SDL_DISABLE);
    return previous;
}

BOOL SystemParametersInfoA(UINT action, UINT parameter, void*, UINT) {
    if (action != SPI_SETSCREENSAVEACTIVE) return 0;
    state().screenSaverAllowed = parameter != 0;
    applyScreenSaver();
    return 1;
}

namespace win32 {

SDL_Window* sdlWindow(HWND window) {
    WindowRecord* r = liveRecord(window);
    return r ? r->sdl : nullptr;
}

bool screenSaverAllowed() { return state().screenSaverAllowed; }

bool cursorHidden() { return state().cursorHidden; }

bool startVideo() {
    // SDL keeps the screen saver away by default; here only
    // SystemParametersInfoA decides.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    applyScreenSaver();
    if (state().cursorHidden) SDL_ShowCursor(SDL_DISABLE);
    return true;
}

void stopVideo() { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

}  // namespace win32
