// Cost of one frame and of each effect, on the demo's 640x480 framebuffer.
//
//   BM_frame            one pass of the frame loop, averaged over the whole
//                       timeline at 40 fps (every effect, the flash, the glow)
//   BM_frameCanvas      the same, each frame then made into the page's canvas
//                       pixels (the browser build's work per frame)
//   BM_<effect>         each effect function alone, in a busy state
//   BM_noiseBaseline    the noise band written from a plain counter: the
//                       floor that BM_fillNoise is measured against
#include <benchmark/benchmark.h>

#include "bench/framescene.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "demo/effects/bars.h"
#include "demo/effects/curtain.h"
#include "demo/effects/noise.h"
#include "demo/effects/squares.h"
#include "demo/effects/titles.h"
#include "demo/frameloop.h"
#include "demo/headlessrender.h"
#include "demo/timeline.h"
#include "display/graphics.h"
#include "source/processstate.h"

namespace {

using benchscene::CanvasStep;
using benchscene::Scene;

// The timeline's frames one after another, each drawn and handed to after
// (with the scene's pixels); a restart at the end is not timed. Only the
// clock step of the hand-off is taken: the copy is timed on its own.
template <typename After>
void frames(benchmark::State& state, After after) {
    Scene scene;
    for (auto _ : state) {
        if (!framePass()) {
            state.PauseTiming();
            scene.restart();
            state.ResumeTiming();
            continue;
        }
        after(scene.pixels());
        Scene::stepClock();
    }
}

void BM_frame(benchmark::State& state) {
    frames(state, [](std::uint32_t* pixels) { benchmark::DoNotOptimize(pixels[1000]); });
}
BENCHMARK(BM_frame)->MinTime(2.0);

// The page's frame work: the frame drawn, then made into the canvas's pixels.
// scripts/bench-web.sh sets it against the same loop compiled to WebAssembly.
void BM_frameCanvas(benchmark::State& state) {
    CanvasStep canvas;
    frames(state, [&canvas](std::uint32_t* pixels) {
        canvas(pixels);
        benchmark::DoNotOptimize(canvas.rgba[1000]);
    });
}
BENCHMARK(BM_frameCanvas)->MinTime(2.0);

void BM_framePlusCopy(benchmark::State& state) {
    Scene scene;
    std::vector<unsigned char> frame24(frame24Size);
    const auto noFrame = [](int) {};
    for (auto _ : state) {
        if (!framePass() || !videoHandOff(frame24.data(), noFrame)) {
            state.PauseTiming();
            scene.restart();
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(frame24[1000]);
    }
}
BENCHMARK(BM_framePlusCopy)->MinTime(2.0);

void BM_copyFrame24(benchmark::State& state) {
    Scene scene;
    std::vector<unsigned char> frame24(frame24Size);
    for (auto _ : state) {
        copyFrame24(scene.pixels(), frame24.data());
        benchmark::DoNotOptimize(frame24[1000]);
    }
}
BENCHMARK(BM_copyFrame24);

void BM_drawNoise(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) drawNoise(surface, 45, 0, 0);
}
BENCHMARK(BM_drawNoise);

void BM_fillNoise(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) fillNoise(surface, 45, 0, 0);
}
BENCHMARK(BM_fillNoise);

void BM_fillStreakNoise(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) fillStreakNoise(surface, 45, 0, 0, 25);
}
BENCHMARK(BM_fillStreakNoise);

// The same band and masks, from a counter instead of the register.
void BM_noiseBaseline(benchmark::State& state) {
    Scene scene;
    std::uint32_t counter = 0;
    for (auto _ : state) {
        const std::int32_t w = surface->getRight(), h = surface->getBottom();
        std::uint32_t* band = scene.pixels() + 50 * w;
        const std::int32_t count = w * h - 100 * w;
        for (std::int32_t n = 0; n < count; ++n) {
            const std::uint32_t v = counter++;
            band[n] = (v & 45) << 16 | (v & 0) << 8 | (v & 0);
        }
        benchmark::DoNotOptimize(band[count - 1]);
    }
}
BENCHMARK(BM_noiseBaseline);

// All twenty bars mid-animation at once: the most the effect ever draws.
void BM_drawBars(benchmark::State& state) {
    Scene scene;
    Scene::at(40000);
    for (int k = 0; k < barCount; ++k) {
        barActive[k] = true;
        bars[k].start();
    }
    Scene::at(40150);
    for (auto _ : state) drawBars(surface);
}
BENCHMARK(BM_drawBars);

void BM_shadeBand(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) shadeBand(surface, 310.0f, 0.0f, 330.0f, 480.0f, 25);
}
BENCHMARK(BM_shadeBand);

// Three titles revealed: three blends per frame.
void BM_drawTitles(benchmark::State& state) {
    Scene scene;
    revealedTitles = 2;
    titleCues.index = 4;
    Scene::at(22000);
    for (auto _ : state) drawTitles();
}
BENCHMARK(BM_drawTitles);

void BM_blendTinted(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) titleImages[2]->blendTinted(surface, 230, 210, 0.7f, 0.7f, 0.9f, 0.25f, 255);
}
BENCHMARK(BM_blendTinted);

void BM_drawSquares(benchmark::State& state) {
    Scene scene;
    for (bool& on : squareOn) on = true;
    for (auto _ : state) drawSquares(surface);
}
BENCHMARK(BM_drawSquares);

void BM_invertSquare(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) invertSquare(surface, 245.0f, 165.0f, 290.0f, 210.0f, 10);
}
BENCHMARK(BM_invertSquare);

// Closed curtain: the whole frame blackened.
void BM_drawCurtain(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) drawCurtain();
}
BENCHMARK(BM_drawCurtain);

void BM_fillBlack(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) fillBlack(surface, 0.0f, 0.0f, 640.0f, 100.0f);
}
BENCHMARK(BM_fillBlack);

// Bands of 100 rows each, as a few seconds into the closing.
void BM_drawLetterbox(benchmark::State& state) {
    Scene scene;
    letterboxHeight = 100.0f;
    for (auto _ : state) drawLetterbox();
}
BENCHMARK(BM_drawLetterbox);

}  // namespace

BENCHMARK_MAIN();
