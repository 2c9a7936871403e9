#include "demo/frameloop.h"

#include <cstring>

#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "demo/effects/bars.h"
#include "demo/effects/curtain.h"
#include "demo/effects/frame.h"
#include "demo/effects/noise.h"
#include "demo/effects/squares.h"
#include "demo/effects/titles.h"
#include "demo/stopsignals.h"
#include "demo/timeline.h"
#include "display/ddrawdisplay.h"
#include "display/graphics.h"
#include "source/processstate.h"

PROCESS_STATE(float, videoFrameCount, 0.0f);

#if defined(__x86_64__) || defined(__i386__) || (defined(__EMSCRIPTEN__) && defined(__SSSE3__))
void copyFrame24Ssse3(const unsigned char* in, unsigned char* out, std::size_t pixels);  // framecopy_ssse3.cpp
#endif

namespace {

std::int32_t elapsed() { return msBetween(demoTime(), loopStart); }

// The single-precision value nearest to 1/10792, 10792 = 152 s in 1/71 s.
constexpr float progressScale = 0.0000926612338f;

}  // namespace

void endOnStopSignal() {
    if (!videoMode && stopRequested()) windowProc(getWindowHandle(), WM_CLOSE, 0, 0);
}

bool framePass() {
    endOnStopSignal();
    if (window && window->shouldQuit()) return false;
    updateFrameDelta();

    drawNoise(surface, 45, 0, 0);
    drawBars(surface);
    drawTitles();
    drawSquares(surface);
    drawCurtain();
    drawLetterbox();

    if (elapsed() > 48000) {
        if (!glowStarted) {
            glowStarted = true;
            glowTrack.start(demoTime());
        }
        if (elapsed() > 152000) return false;
        if (flashCues.fired() || (flashCues.finished() && elapsed() <= 149999)) {
            flashTrack.start(demoTime());
            flashStarted = true;
        }
        const float flash = float(flashTrack.valueAt(demoTime()));
        if (flash > 0.0f && titleImages[2])
            titleImages[2]->blendTinted(surface, 230, 210, 0.7f, 0.7f, 0.9f, flash, 255);
    }
    glowLevel = frame::truncToInt(glowTrack.valueAt(demoTime()));

    if (window) window->update();
    return true;
}

void copyFrame24(const void* pixels, unsigned char* frame24) {
    constexpr std::size_t count = 640 * 480;
#if defined(__x86_64__) || defined(__i386__)
    static const bool shuffle = __builtin_cpu_supports("ssse3");
    if (shuffle) return copyFrame24Ssse3(static_cast<const unsigned char*>(pixels), frame24, count);
#elif defined(__EMSCRIPTEN__) && defined(__SSSE3__)
    // Built for WebAssembly SIMD as a whole (see CMakeLists.txt).
    return copyFrame24Ssse3(static_cast<const unsigned char*>(pixels), frame24, count);
#endif
    // Blue, green, red are the low three bytes of 0x00RRGGBB.
    const std::uint32_t* in = static_cast<const std::uint32_t*>(pixels);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = in[i];
        frame24[3 * i] = std::uint8_t(p);
        frame24[3 * i + 1] = std::uint8_t(p >> 8);
        frame24[3 * i + 2] = std::uint8_t(p >> 16);
    }
}

bool videoHandOff(unsigned char* frame24, const std::function<void(int progress)>& addFrame) {
    copyFrame24(surface->getPixels(), frame24);
    // One rounding, to the stored float: 71 / rate x count in double.
    setVideoTime(float(71.0 / double(videoFrameRate) * double(videoFrameCount)));
    if (getVideoTime() >= 15200.0f) return false;
    addFrame(frame::truncToInt(double(getVideoTime()) * double(progressScale) * 100.0));
    videoFrameCount += 1.0f;
    return true;
}
