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
    seenPercent = percent;
    if (terminal) {
        if (percent == lastPercent && now - lastShown < std::chrono::milliseconds(250)) return;
        std::fprintf(stderr, "\r%s", formatRenderProgress(percent, frames, elapsed).c_str());
        open = true;
    } else {
        // The last frames all show 100 %: that line comes with the summary,
        // so that it counts every frame.
        if (percent >= 100 || percent / 10 == lastTenth) return;
        lastTenth = percent / 10;
        std::fprintf(stderr, "%s\n", formatRenderProgress(percent, frames, elapsed).c_str());
    }
    std::fflush(stderr);
    lastFrames = frames;
    lastPercent = percent;
    lastShown = now;
}

void ProgressLine::breakLine() {
    if (open) std::fputc('\n', stderr);
    open = false;
}

void ProgressLine::finish(int frames, std::int64_t samples, int sampleRate, bool cancelled) {
    // The line shown last may be a frame or two behind the end (it is
    // rewritten at most four times a second): on a terminal it is brought
    // up to the summary's count; in a log the 100 % line is written only now.
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (open && lastFrames != frames)
        std::fprintf(stderr, "\r%s", formatRenderProgress(lastPercent, frames, elapsed).c_str());
    else if (!terminal && seenPercent >= 100)
        std::fprintf(stderr, "%s\n", formatRenderProgress(seenPercent, frames, elapsed).c_str());
    breakLine();
    running = false;
    std::fprintf(stderr, "%s %d frames", cancelled ? "Render stopped:" : "Render done:", frames);
    if (sampleRate > 0 && samples > 0) std::fprintf(stderr, ", %.2f s of sound", double(samples) / sampleRate);
    std::fprintf(stderr, " in %.1f s\n", elapsed);
}
