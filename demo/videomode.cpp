#include "demo/videomode.h"

#include "platform/win32.h"

#include <cstdio>

bool videoFrameRateValid(float rate) { return rate >= 1.0f && rate <= 1000.0f; }

const char* badFrameRateText(float rate) {
    static char text[512];
    std::snprintf(text, sizeof text,
                  "Can't render video at %.0f frames per second: the rate must be 1 to 1000.\n\n"
                  "The rate is the first number on the command line once \"fps\" is there, wherever "
                  "that number stands: \"video sound=0 fps 30\" reads 0. Write the rate first, "
                  "as in \"video fps 30 sound=0\".",
                  double(rate));
    return text;
}

void checkVideoFrameRate(float rate) {
    if (videoFrameRateValid(rate)) return;
    MessageBoxA(nullptr, badFrameRateText(rate), "Error!", MB_OK | MB_ICONERROR);
    ExitProcess(1);
}

int videoFrameTotal(int rate) { return 152 * rate + 2; }
