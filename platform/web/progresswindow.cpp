// No render progress dialog in a page: video mode is not offered there.
#include "platform/progresswindow.h"

namespace win32 {

struct ProgressWindow::Backend {};

std::unique_ptr<ProgressWindow> ProgressWindow::open(bool) { return nullptr; }
ProgressWindow::~ProgressWindow() = default;
void ProgressWindow::setPosition(int value) { percent = value < 0 ? 0 : value > 100 ? 100 : value; }
unsigned ProgressWindow::windowId() const { return 0; }
bool ProgressWindow::cancelPressed() { return false; }

}  // namespace win32
