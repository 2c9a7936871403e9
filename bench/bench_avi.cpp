// Encoding speed of the AVI writer, per codec of the dialog: 640x480 frames
// of dim red noise (the demo's background, the hardest content to compress)
// through VideoStream into a file in /tmp, threaded encoder included. The
// "fps" counter is frames written per second of wall time, file completed.
//
//   build/bench/bench_avi                         every codec, 240 frames each
//   QVO_BENCH_FRAMES=1000 build/bench/bench_avi --benchmark_filter=utvideo
//   QVO_BENCH_DEMO=1 build/bench/bench_avi        also the real timeline at
//       40 fps rendered headless into Ut Video (needs QuelVarnOssa.dat here)
#include <benchmark/benchmark.h>

#include "demo/headlessrender.h"
#include "platform/win32.h"
#include "source/videostream.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int W = 640;
constexpr int H = 480;

std::vector<std::vector<std::uint8_t>> noiseFrames() {
    std::vector<std::vector<std::uint8_t>> frames(8, std::vector<std::uint8_t>(std::size_t(W) * H * 3));
    std::uint32_t seed = 12345;
    for (auto& f : frames)
        for (std::size_t i = 0; i < f.size(); i += 3) {
            seed = seed * 1664525u + 1013904223u;
            f[i] = 0;
            f[i + 1] = std::uint8_t((seed >> 27) & 7);
            f[i + 2] = std::uint8_t(seed >> 26);  // dim red
        }
    return frames;
}

int frameCount() {
    const char* n = std::getenv("QVO_BENCH_FRAMES");
    return n ? std::atoi(n) : 240;
}

// CPU seconds used so far by this process's threads, or by its finished
// children: on a busy machine wall time says little, CPU time still compares.
double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string outputPath() { return "/tmp/qvo-bench-" + std::to_string(::getpid()) + ".avi"; }

void BM_Encode(benchmark::State& state, const char* codec) {
    setenv("QVO_CODEC", codec, 1);
    static const auto frames = noiseFrames();
    const int count = frameCount();
    const std::string path = outputPath();
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const double cpu = cpuSeconds(RUSAGE_SELF);
        {
            VideoStream avi(nullptr, path.c_str(), W, H, false, 40, 44100, 16);
            for (int i = 0; i < count; ++i) {
                avi.attachFrameBuffer(frames[std::size_t(i) % frames.size()].data(), nullptr);
                avi.addFrame(-1);
            }
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["cpu_ms_per_frame"] = (cpuSeconds(RUSAGE_SELF) - cpu) * 1000.0 / count;
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        state.counters["MB"] = double(file.tellg()) / 1e6;
    }
    state.counters["fps"] = benchmark::Counter(double(count) * double(state.iterations()), benchmark::Counter::kIsRate);
    std::remove(path.c_str());
}

// The same frames through the ffmpeg program with the same encoder
// settings, from a raw bgr24 file: the baseline to compare with.
void BM_FfmpegBaseline(benchmark::State& state, const char* codec, const char* options) {
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) {
        state.SkipWithError("ffmpeg not installed");
        return;
    }
    static const auto frames = noiseFrames();
    const int count = frameCount();
    const std::string raw = outputPath() + ".bgr24";
    {
        std::ofstream out(raw, std::ios::binary);
        for (int i = 0; i < count; ++i) {
            const auto& f = frames[std::size_t(i) % frames.size()];
            out.write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
        }
    }
    const std::string path = outputPath();
    const std::string command = "ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s 640x480 -r 40 -i " + raw +
                                " -c:v " + codec + " " + options + " " + path;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const double cpu = cpuSeconds(RUSAGE_CHILDREN);
        if (std::system(command.c_str()) != 0) state.SkipWithError("ffmpeg failed");
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.counters["cpu_ms_per_frame"] = (cpuSeconds(RUSAGE_CHILDREN) - cpu) * 1000.0 / count;
    }
    state.counters["fps"] = benchmark::Counter(double(count) * double(state.iterations()), benchmark::Counter::kIsRate);
    std::remove(raw.c_str());
    std::remove(path.c_str());
}

// Render and encode overlapped, as video mode runs them (without sound).
void BM_DemoToUtVideo(benchmark::State& state) {
    if (!std::getenv("QVO_BENCH_DEMO") || !std::ifstream("QuelVarnOssa.dat")) {
        state.SkipWithError("set QVO_BENCH_DEMO=1 and run where QuelVarnOssa.dat is");
        return;
    }
    setenv("QVO_CODEC", "utvideo", 1);
    const std::string path = outputPath();
    int frames = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        {
            VideoStream avi(nullptr, path.c_str(), W, H, false, 40, 44100, 16);
            HeadlessRenderer renderer("QuelVarnOssa.dat", 40.0f);
            frames = renderer.run([&](int, const unsigned char* frame24, int) {
                avi.attachFrameBuffer(frame24, nullptr);
                avi.addFrame(-1);
                return true;
            });
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["frames"] = frames;
    state.counters["fps"] = benchmark::Counter(double(frames) * double(state.iterations()), benchmark::Counter::kIsRate);
    std::remove(path.c_str());
}

}  // namespace

BENCHMARK_CAPTURE(BM_Encode, rawvideo, "rawvideo")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, utvideo, "utvideo")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, ffv1, "ffv1")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, huffyuv, "huffyuv")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, mjpeg, "mjpeg")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, libx264, "libx264")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FfmpegBaseline, rawvideo, "rawvideo", "-pix_fmt bgr24")
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FfmpegBaseline, utvideo, "utvideo", "-pix_fmt gbrp")
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FfmpegBaseline, ffv1, "ffv1", "-pix_fmt bgr0 -level 3 -slices 4")
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FfmpegBaseline, huffyuv, "huffyuv", "-pix_fmt rgb24")
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FfmpegBaseline, mjpeg, "mjpeg", "-pix_fmt yuvj420p -q:v 3")
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FfmpegBaseline, libx264, "libx264", "-pix_fmt yuv420p -preset veryfast -bf 0 -crf 18")
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoToUtVideo)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
