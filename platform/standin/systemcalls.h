// The system calls of platform/win32.h that the SDL and web stand-ins answer
// alike live in platform/standin/systemcalls.cpp; a backend adds how a
// message box is shown.
#pragma once

#include "platform/win32.h"

namespace win32::backend {

// Shows the box (no test handler is set) and returns the button pressed.
int showMessageBox(const MessageBoxCall& call);

}  // namespace win32::backend
