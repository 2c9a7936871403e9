// The "Rendering video..." window while a render runs: the progress, and a
// Cancel (its button, Escape or the close box) that asks "Really?"; Yes
// closes the window and cancels the render, No leaves both as they were.
// Without a display there is no window and nothing to ask.
#pragma once

#include <functional>
#include <memory>

// What the writer needs of the progress window (win32::ProgressWindow).
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual void setPosition(int percent) = 0;
    // True when Cancel was pressed since the last call.
    virtual bool cancelPressed() = 0;
};

namespace rendercancel {

// On the first frame; later calls do nothing.
void openDialog();
void showInDialog(int percent);
// Asks "Really?" when Cancel was pressed; Yes cancels the render.
void pollDialog();
void closeDialog();
bool dialogOpen();

// Test seam: makes the window (null restores the real one).
using DisplayFactory = std::function<std::unique_ptr<ProgressDisplay>()>;
void setDisplayFactory(DisplayFactory factory);

}  // namespace rendercancel
