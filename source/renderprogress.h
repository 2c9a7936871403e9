// The render's progress on standard error: one line rewritten in place on a
// terminal, a line every ten percent otherwise (logs, CI), and the summary.
//
//   "Rendering video:  42%    2554 frames   301.2 fps  0:12 left"
//   "Render done: 6082 frames, 152.05 s of sound in 19.8 s"
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

std::string formatRenderProgress(int percent, int frames, double elapsedSeconds);

class ProgressLine {
public:
    void start();
    bool started() const { return running; }
    void show(int percent, int frames);
    // Ends a line left open on a terminal, before other text is printed.
    void breakLine();
    void finish(int frames, std::int64_t samples, int sampleRate, bool cancelled);

private:
    bool running = false;
    bool terminal = false;
    bool open = false;
    std::chrono::steady_clock::time_point began;
    std::chrono::steady_clock::time_point lastShown;
    int lastTenth = -1;
    int lastPercent = -1;
    int lastFrames = 0;     // the frame count the last line showed
    int seenPercent = -1;  // the last percent given, shown or not
};
