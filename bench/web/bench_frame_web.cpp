// bench_frame_web [SECONDS]: bench_frame's BM_frame and BM_frameCanvas, and
// the noise alone (BM_fillNoise, BM_fillStreakNoise),
// compiled to WebAssembly and run under node, on the same scene and frames
// (bench/framescene.h). Prints "NAME NS_PER_FRAME FRAMES" per measure; the
// time of a restart at the timeline's end is left out, as there.
#include "bench/framescene.h"
#include "demo/effects/noise.h"

#include <emscripten.h>

#include <cstdio>
#include <cstdlib>

namespace {

volatile std::uint32_t sink;

template <typename Step>
void measure(const char* name, double seconds, Step step) {
    benchscene::Scene scene;
    double spent = 0;
    long frames = 0;
    double start = emscripten_get_now();
    while (spent < seconds * 1000.0) {
        if (!framePass()) {
            spent += emscripten_get_now() - start;
            scene.restart();
            start = emscripten_get_now();
            continue;
        }
        step(scene);
        benchscene::Scene::stepClock();
        ++frames;
        if ((frames & 63) == 0) {
            spent += emscripten_get_now() - start;
            start = emscripten_get_now();
        }
    }
    std::printf("%s %.0f %ld\n", name, spent * 1e6 / double(frames), frames);
}

// One effect alone, in the state bench_frame gives it.
template <typename Draw>
void measureAlone(const char* name, double seconds, Draw draw) {
    benchscene::Scene scene;
    long runs = 0;
    const double start = emscripten_get_now();
    double spent = 0;
    while (spent < seconds * 1000.0) {
        for (int i = 0; i < 64; ++i) draw();
        runs += 64;
        spent = emscripten_get_now() - start;
    }
    sink = scene.pixels()[1000];
    std::printf("%s %.0f %ld\n", name, spent * 1e6 / double(runs), runs);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    measure("BM_frame", seconds, [](benchscene::Scene& scene) { sink = scene.pixels()[1000]; });
    benchscene::CanvasStep canvas;
    measure("BM_frameCanvas", seconds, [&canvas](benchscene::Scene& scene) {
        canvas(scene.pixels());
        sink = canvas.rgba[1000];
    });
    measureAlone("BM_fillNoise", seconds, [] { fillNoise(surface, 45, 0, 0); });
    measureAlone("BM_fillStreakNoise", seconds, [] { fillStreakNoise(surface, 45, 0, 0, 25); });
    return 0;
}
