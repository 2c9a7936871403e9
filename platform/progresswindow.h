// The render progress dialog: dialog 101 of resources/progress.rc, a bar
// from 0 to 100 and a Cancel button. On Windows the real dialog, made from
// the resource and run on a thread of its own; on Linux a small SDL window
// drawn from the same layout; in the browser there is none (open gives null).
//
//   auto dialog = win32::ProgressWindow::open();  // null without a display
//   dialog->setPosition(percent);
//   if (dialog->cancelPressed()) ...              // button, Escape, close box
//
// Call it from the thread that renders, once per frame.
#pragma once

#include <memory>

namespace win32 {

struct DialogItem {
    int id;
    int x, y, width, height;  // dialog units
    const char* text;
};

struct DialogTemplate {
    int id;
    const char* caption;
    int width, height;  // dialog units
    const char* font;
    int pointSize;
    DialogItem bar;
    DialogItem cancel;
};

constexpr DialogTemplate progressDialog = {
    101, "Rendering video...", 428, 74, "MS Sans Serif", 8,
    {1000, 18, 15, 391, 14, ""},
    {1003, 162, 42, 102, 18, "&Cancel"},
};

// Dialog units to pixels for an 8-point MS Sans Serif dialog (base units
// 6 x 13: a horizontal unit is a quarter, a vertical one an eighth).
constexpr int dialogUnitsToPixelsX(int units) { return units * 6 / 4; }
constexpr int dialogUnitsToPixelsY(int units) { return units * 13 / 8; }

class ProgressWindow {
public:
    // Null when no display is there or the window cannot be made. Tests may
    // open it without one, on SDL's dummy driver, and feed it events (the
    // flag means nothing on Windows, which always has a desktop).
    static std::unique_ptr<ProgressWindow> open(bool evenWithoutDisplay = false);
    ~ProgressWindow();

    // Like PBM_SETPOS: clamped to the bar's range 0..100.
    void setPosition(int percent);
    int position() const { return percent; }
#ifndef _WIN32
    unsigned windowId() const;  // SDL's id of the window, for tests' events
#endif

    // Handles the window's pending events; true when the user pressed
    // Cancel, Escape or the close box since the last call.
    bool cancelPressed();

private:
    ProgressWindow() = default;

    struct Backend;  // the platform's window
    std::unique_ptr<Backend> backend;
    int percent = 0;
};

}  // namespace win32
