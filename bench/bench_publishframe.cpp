// The publish converter's cost against the encoder it feeds: one demo frame
// enlarged to 3840x2160 (x4) and 2560x1440 (x3) 4:2:0 planes, on one
// thread, and one frame through libx264 with the publish's settings at
// both sizes (its own threads, wall time per frame once its lookahead is
// full). The converter is meant to cost under a tenth of the encoder.
// The pictures are the demo's own (bench/demoframes.h).
//
//   cd build && bench/bench_publishframe
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/demoframes.h"
#include "codecs/publishframe.h"
#include "platform/ffmpeg/mp4writer.h"

namespace {

constexpr int W = 640;
constexpr int H = 480;

struct Planes {
    std::vector<std::uint8_t> y, cb, cr;
    std::uint8_t* data[3];
    int strides[3];
    explicit Planes(const publishframe::Geometry& g)
        : y(std::size_t(g.width) * g.height), cb(y.size() / 4), cr(y.size() / 4),
          data{y.data(), cb.data(), cr.data()}, strides{g.width, g.width / 2, g.width / 2} {}
};

void BM_Convert(benchmark::State& state) {
    const int height = int(state.range(0)), factor = height == 2160 ? 4 : 3;
    publishframe::Geometry g;
    publishframe::fits(W, H, height * 16 / 9, height, factor, g);
    Planes planes(g);
    const auto& frames = demoFrames();
    std::size_t i = 0;
    for (auto _ : state) {
        publishframe::convert(frames[i++ % frames.size()].data(), W, H, 3, W * 3, g, planes.data, planes.strides);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()));
}

// The publish's own settings (tools/render/publish.cpp), at 60 fps; each
// frame includes its conversion (the line above says how much of it).
void BM_X264Frame(benchmark::State& state) {
    const int height = int(state.range(0)), factor = height == 2160 ? 4 : 3;
    publishframe::Geometry g;
    publishframe::fits(W, H, height * 16 / 9, height, factor, g);
    mp4::Settings settings;
    settings.path = "/tmp/bench_publishframe." + std::to_string(long(std::rand())) + ".mp4";
    settings.width = g.width;
    settings.height = g.height;
    settings.crf = 17;
    settings.chromaQpOffset = -12;
    settings.preset = "veryfast";
    mp4::Writer writer;
    std::string why;
    if (!writer.open(settings, why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    const auto& frames = demoFrames();
    std::size_t i = 10;  // past the titles' black
    const auto encode = [&] {
        publishframe::convert(frames[i++ % frames.size()].data(), W, H, 3, W * 3, g, writer.planes(),
                              writer.strides());
        return writer.writeFrame(why);
    };
    // The lookahead and the frame threads filled first: until then a frame
    // only queues.
    for (int k = 0; k < 30; ++k) encode();
    for (auto _ : state)
        if (!encode()) state.SkipWithError(why.c_str());
    state.SetItemsProcessed(std::int64_t(state.iterations()));
    std::remove(settings.path.c_str());
}

}  // namespace

BENCHMARK(BM_Convert)->Arg(2160)->Arg(1440)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_X264Frame)->Arg(2160)->Arg(1440)->Iterations(60)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
