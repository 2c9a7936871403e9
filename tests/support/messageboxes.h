// Records every message box shown while it lives, instead of showing it,
// and answers each with a fixed button.
#pragma once

#include "platform/win32.h"

#include <vector>

class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int answer = IDOK);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<win32::MessageBoxCall> calls;

private:
    win32::MessageBoxHandler previous;
};

// For death tests: prints each box to standard error as
// "BOX [caption] text (type N)" so the child's output can be matched.
void printMessageBoxesToStderr();
