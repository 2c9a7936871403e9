#include "tests/support/messageboxes.h"

#include <cstdio>

MessageBoxRecorder::MessageBoxRecorder(int answer) {
    previous = win32::setMessageBoxHandler([this, answer](const win32::MessageBoxCall& call) {
        calls.push_back(call);
        return answer;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() { win32::setMessageBoxHandler(std::move(previous)); }

void printMessageBoxesToStderr() {
    win32::setMessageBoxHandler([](const win32::MessageBoxCall& call) {
        std::fprintf(stderr, "BOX [%s] %s (type %u)\n", call.caption.c_str(), call.text.c_str(), call.type);
        return IDOK;
    });
}
