#include "source/renderprogress.h"

#include <unistd.h>

#include <cstdio>

std::string formatRenderProgress(int percent, int frames, double elapsedSeconds) {
    char text[160];
    const double fps = elapsedSeconds > 0 ? frames / elapsedSeconds : 0.0;
    if (percent > 0 && percent < 100 && elapsedSeconds > 0) {
        const int left = int(elapsedSeconds * (100 - percent) / percent + 0.5);
        std::snprintf(text, sizeof text, "Rendering video: %3d%%  %6d frames  %6.1f fps  %d:%02d left", percent,
                      frames, fps, left / 60, left % 60);
    } else {
        std::snprintf(text, sizeof text, "Rendering video: %3d%%  %6d frames  %6.1f fps", percent, frames, fps);
    }
    return text;
}

void ProgressLine::start() {
    running = true;
    terminal = ::isatty(2) != 0;
    began = std::chrono::steady_clock::now();
    lastShown = began - std::chrono::seconds(1);
    lastTenth = lastPercent = -1;
}

void ProgressLine::show(int percent, int frames) {
    const auto now = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(now - began).count();
    if (terminal) {
        if (percent == lastPercent && now - lastShown < std::chrono::milliseconds(250)) return;
        std::fprintf(stderr, "\r%s", formatRenderProgress(percent, frames, elapsed).c_str());
        open = true;
    } else {
        if (percent / 10 == lastTenth) return;
        lastTenth = percent / 10;
        std::fprintf(stderr, "%s\n", formatRenderProgress(percent, frames, elapsed).c_str());
    }
    std::fflush(stderr);
    lastPercent = percent;
    lastShown = now;
}

void ProgressLine::breakLine() {
    if (open) std::fputc('\n', stderr);
    open = false;
}

void ProgressLine::finish(int frames, std::int64_t samples, int sampleRate, bool cancelled) {
    breakLine();
    running = false;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::fprintf(stderr, "%s %d frames", cancelled ? "Render stopped:" : "Render done:", frames);
    if (sampleRate > 0 && samples > 0) std::fprintf(stderr, ", %.2f s of sound", double(samples) / sampleRate);
    std::fprintf(stderr, " in %.1f s\n", elapsed);
}
