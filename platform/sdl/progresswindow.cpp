#include "platform/progresswindow.h"

#include "platform/win32.h"

#include <SDL.h>

#include <cstring>

namespace win32 {

namespace {

// A 5 x 7 pixel face for the button's one word.
struct Glyph {
    char c;
    const char* rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'c', {".....", ".....", ".###.", "#....", "#....", "#...#", ".###."}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
};

SDL_Rect pixels(const DialogItem& item) {
    return {dialogUnitsToPixelsX(item.x), dialogUnitsToPixelsY(item.y), dialogUnitsToPixelsX(item.width),
            dialogUnitsToPixelsY(item.height)};
}

void fill(SDL_Renderer* r, int x, int y, int w, int h, Uint32 rgb) {
    SDL_SetRenderDrawColor(r, Uint8(rgb >> 16), Uint8(rgb >> 8), Uint8(rgb), 255);
    SDL_Rect rect{x, y, w, h};
    SDL_RenderFillRect(r, &rect);
}

// Windows' classic 3D edge: light top-left, dark bottom-right, or the
// reverse for a sunken one.
void edge(SDL_Renderer* r, const SDL_Rect& a, bool raised) {
    const Uint32 light = raised ? 0xFFFFFF : 0x808080;
    const Uint32 dark = raised ? 0x404040 : 0xFFFFFF;
    fill(r, a.x, a.y, a.w, 1, light);
    fill(r, a.x, a.y, 1, a.h, light);
    fill(r, a.x, a.y + a.h - 1, a.w, 1, dark);
    fill(r, a.x + a.w - 1, a.y, 1, a.h, dark);
}

// Draws the text centred in the box; '&' underlines the next letter.
void label(SDL_Renderer* r, const SDL_Rect& box, const char* text) {
    int letters = 0;
    for (const char* p = text; *p; ++p)
        if (*p != '&') ++letters;
    const int advance = 6;
    int x = box.x + (box.w - letters * advance + 1) / 2;
    const int y = box.y + (box.h - 7) / 2;
    bool underline = false;
    for (const char* p = text; *p; ++p) {
        if (*p == '&') {
            underline = true;
            continue;
        }
        for (const Glyph& g : kGlyphs) {
            if (g.c != *p) continue;
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (g.rows[row][col] == '#') fill(r, x + col, y + row, 1, 1, 0x000000);
        }
        if (underline) fill(r, x, y + 8, 5, 1, 0x000000);
        underline = false;
        x += advance;
    }
}

}  // namespace

struct ProgressWindow::Backend {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    Uint32 windowId = 0;
    bool pressed = false;

    void draw(int percent);
    bool handle(const SDL_Event& event, int percent);  // true when the event was this window's

    ~Backend() {
        if (renderer) SDL_DestroyRenderer(renderer);
        if (window) SDL_DestroyWindow(window);
        if (window || renderer) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
};

std::unique_ptr<ProgressWindow> ProgressWindow::open(bool evenWithoutDisplay) {
    if (!displayAvailable() && !evenWithoutDisplay) return nullptr;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
    std::unique_ptr<ProgressWindow> dialog(new ProgressWindow);
    dialog->backend = std::make_unique<Backend>();
    Backend& b = *dialog->backend;
    const DialogTemplate& t = progressDialog;
    b.window = SDL_CreateWindow(t.caption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                dialogUnitsToPixelsX(t.width), dialogUnitsToPixelsY(t.height), 0);
    if (!b.window) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    b.windowId = SDL_GetWindowID(b.window);
    b.renderer = SDL_CreateRenderer(b.window, -1, SDL_RENDERER_SOFTWARE);
    if (!b.renderer) return nullptr;
    b.draw(dialog->percent);
    return dialog;
}

ProgressWindow::~ProgressWindow() = default;

unsigned ProgressWindow::windowId() const { return backend->windowId; }

void ProgressWindow::setPosition(int value) {
    value = value < 0 ? 0 : value > 100 ? 100 : value;
    if (value == percent) return;
    percent = value;
    backend->draw(percent);
}

bool ProgressWindow::cancelPressed() {
    SDL_PumpEvents();
    // Take this window's events out of the queue and leave the others for
    // whoever else pumps SDL in this process.
    SDL_FilterEvents(
        [](void* self, SDL_Event* e) -> int {
            auto* dialog = static_cast<ProgressWindow*>(self);
            return dialog->backend->handle(*e, dialog->percent) ? 0 : 1;
        },
        this);
    bool result = backend->pressed;
    backend->pressed = false;
    return result;
}

bool ProgressWindow::Backend::handle(const SDL_Event& e, int percent) {
    Uint32 id = e.type == SDL_WINDOWEVENT                                       ? e.window.windowID
                : e.type == SDL_KEYDOWN || e.type == SDL_KEYUP                  ? e.key.windowID
                : e.type == SDL_MOUSEBUTTONUP || e.type == SDL_MOUSEBUTTONDOWN ? e.button.windowID
                : e.type == SDL_MOUSEMOTION                                     ? e.motion.windowID
                : e.type == SDL_TEXTINPUT                                       ? e.text.windowID
                                                                                : 0;
    if (id == 0 || id != windowId) return false;
    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE) pressed = true;
    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_EXPOSED) draw(percent);
    // Escape, or Alt+C / C for the button's mnemonic.
    if (e.type == SDL_KEYDOWN && (e.key.keysym.sym == SDLK_ESCAPE || e.key.keysym.sym == SDLK_c)) pressed = true;
    if (e.type == SDL_MOUSEBUTTONUP && e.button.button == SDL_BUTTON_LEFT) {
        const SDL_Rect button = pixels(progressDialog.cancel);
        SDL_Point at{e.button.x, e.button.y};
        if (SDL_PointInRect(&at, &button)) pressed = true;
    }
    return true;
}

void ProgressWindow::Backend::draw(int percent) {
    SDL_Renderer* r = renderer;
    fill(r, 0, 0, dialogUnitsToPixelsX(progressDialog.width), dialogUnitsToPixelsY(progressDialog.height),
         0xD4D0C8);
    const SDL_Rect bar = pixels(progressDialog.bar);
    fill(r, bar.x, bar.y, bar.w, bar.h, 0xD4D0C8);
    edge(r, bar, false);
    // Classic chunks: blocks two thirds as wide as the bar is high.
    const int inner = bar.w - 4;
    const int filled = inner * percent / 100;
    const int chunk = (bar.h - 4) * 2 / 3;
    for (int x = 0; x < filled; x += chunk + 2) {
        int w = filled - x < chunk ? filled - x : chunk;
        fill(r, bar.x + 2 + x, bar.y + 2, w, bar.h - 4, 0x000080);
    }
    const SDL_Rect button = pixels(progressDialog.cancel);
    fill(r, button.x, button.y, button.w, button.h, 0xD4D0C8);
    edge(r, button, true);
    label(r, button, progressDialog.cancel.text);
    SDL_RenderPresent(r);
}

}  // namespace win32
