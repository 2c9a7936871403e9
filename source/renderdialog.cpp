#include "source/renderdialog.h"

#include "platform/progresswindow.h"
#include "platform/win32.h"
#include "source/processstate.h"
#include "source/rendercancel.h"

namespace {

class RealWindow : public ProgressDisplay {
public:
    explicit RealWindow(std::unique_ptr<win32::ProgressWindow> window) : window(std::move(window)) {}
    void setPosition(int percent) override { window->setPosition(percent); }
    bool cancelPressed() override { return window->cancelPressed(); }

private:
    std::unique_ptr<win32::ProgressWindow> window;
};

std::unique_ptr<ProgressDisplay> openRealWindow() {
    auto window = win32::ProgressWindow::open();
    return window ? std::make_unique<RealWindow>(std::move(window)) : nullptr;
}

rendercancel::DisplayFactory displayFactory;
bool dialogPending = true;
std::unique_ptr<ProgressDisplay> dialogWindow;
bool dialogClosed = false;

const ProcessStateSlot dialogStateSlot{__FILE__, "displayFactory dialogPending dialogWindow dialogClosed", [] {
                                           dialogWindow.reset();
                                           dialogPending = true;
                                           dialogClosed = false;
                                           displayFactory = nullptr;
                                       }};

}  // namespace

namespace rendercancel {

void openDialog() {
    if (!dialogPending) return;
    dialogPending = false;
    dialogWindow = displayFactory ? displayFactory() : openRealWindow();
}

void showInDialog(int percent) {
    if (dialogWindow) dialogWindow->setPosition(percent);
}

void pollDialog() {
    if (!dialogWindow || !dialogWindow->cancelPressed()) return;
    if (MessageBoxA(nullptr, "Really?", "", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    closeDialog();
    confirm();
}

void closeDialog() {
    if (dialogWindow) dialogClosed = true;
    dialogWindow.reset();
}

bool dialogOpen() { return dialogWindow != nullptr; }

void setDisplayFactory(DisplayFactory factory) { displayFactory = std::move(factory); }

}  // namespace rendercancel
