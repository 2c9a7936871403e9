// No render progress dialog in a page: video mode is not offered there.
#include "platform/progresswindow.h"

namespace win32 {

struct ProgressWindow::Sdl {};

std::unique_ptr<ProgressWindow> ProgressWindow::open(bool) { return nullptr; }
unsigned ProgressWindow::windowId() const { return 0; }
ProgressWindow::~ProgressWindow() = default;
void ProgressWindow::setPosition(int value) { percent = value < 0 ? 0 : value > 100 ? 100 : value; }
bool ProgressWindow::cancelPressed() { return pressed; }
void ProgressWindow::draw() {}
bool ProgressWindow::handle(const ::SDL_Event&) { return false; }

}  // namespace win32
