// The real progress dialog: template 101 of the program's resources, run
// modally on a thread of its own so that it stays responsive while frames
// are rendered.
#include "platform/progresswindow.h"

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <thread>

namespace win32 {

namespace {

constexpr UINT closeMessage = WM_APP + 1;  // asks the dialog thread to end it

// Moves or resizes a control by pixels.
void adjustControl(HWND dialog, int id, int moveX, int widen) {
    HWND control = GetDlgItem(dialog, id);
    RECT r{};
    if (!control || !GetWindowRect(control, &r)) return;
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(control, nullptr, r.left + moveX, r.top, r.right - r.left + widen, r.bottom - r.top, SWP_NOZORDER);
}

// The template's 428 units are 642 pixels at its font, more with the frame:
// wider than a 640-pixel screen, the one the video mode switches to. There
// the dialog is narrowed to the screen's width, at its left edge, the bar
// shortened and the button kept in the middle; on a wider screen it stays
// as the template made it.
void fitOnScreen(HWND dialog) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT window{};
    if (!GetMonitorInfoA(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor) ||
        !GetWindowRect(dialog, &window))
        return;
    const RECT& area = monitor.rcWork;
    const int excess = (window.right - window.left) - (area.right - area.left);
    if (excess <= 0) return;
    adjustControl(dialog, progressDialog.bar.id, 0, -excess);
    adjustControl(dialog, progressDialog.cancel.id, -excess / 2, 0);
    SetWindowPos(dialog, nullptr, area.left, window.top, area.right - area.left, window.bottom - window.top,
                 SWP_NOZORDER);
}

}  // namespace

struct ProgressWindow::Backend {
    std::thread thread;
    std::atomic<HWND> dialog{nullptr};
    std::atomic<bool> pressed{false};
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    ~Backend() {
        if (HWND d = dialog.load()) PostMessageA(d, closeMessage, 0, 0);
        if (thread.joinable()) thread.join();
        if (ready) CloseHandle(ready);
    }

    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(window, DWLP_USER, LONG_PTR(lParam));
            auto* self = reinterpret_cast<Backend*>(lParam);
            fitOnScreen(window);
            self->dialog = window;
            SetEvent(self->ready);
            return TRUE;
        }
        auto* self = reinterpret_cast<Backend*>(GetWindowLongPtrA(window, DWLP_USER));
        if (!self) return FALSE;
        switch (message) {
            case WM_COMMAND:
                // IDCANCEL is Escape and the close box; 1003 the button.
                if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == progressDialog.cancel.id) {
                    self->pressed = true;
                    return TRUE;
                }
                return FALSE;
            case closeMessage:
                self->dialog = nullptr;
                EndDialog(window, 0);
                return TRUE;
            default:
                return FALSE;
        }
    }

    void run() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(progressDialog.id), nullptr, procedure,
                        LPARAM(this));
        dialog = nullptr;
        SetEvent(ready);  // also when the dialog could not be made
    }
};

std::unique_ptr<ProgressWindow> ProgressWindow::open(bool) {
    std::unique_ptr<ProgressWindow> window(new ProgressWindow);
    window->backend = std::make_unique<Backend>();
    Backend& b = *window->backend;
    if (!b.ready) return nullptr;
    b.thread = std::thread([&b] { b.run(); });
    WaitForSingleObject(b.ready, 5000);
    if (!b.dialog.load()) return nullptr;
    return window;
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::setPosition(int value) {
    value = value < 0 ? 0 : value > 100 ? 100 : value;
    if (value == percent) return;
    percent = value;
    if (HWND d = backend->dialog.load()) PostMessageA(GetDlgItem(d, progressDialog.bar.id), PBM_SETPOS, WPARAM(percent), 0);
}

bool ProgressWindow::cancelPressed() { return backend->pressed.exchange(false); }

}  // namespace win32
