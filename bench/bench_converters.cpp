// Row converters on a whole 640 x 480 frame, against memcpy of the same
// source bytes in the same run. Bytes per second count the source frame.
//   build/bench/bench_converters [--benchmark_filter=...]
#include "display/rowconverters.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int width = 640;
constexpr int height = 480;
constexpr std::size_t frameBytes = std::size_t(width) * height * 4;

const std::vector<std::uint32_t>& frame() {
    static const std::vector<std::uint32_t> pixels = [] {
        std::vector<std::uint32_t> p(std::size_t(width) * height);
        std::mt19937 random(1);
        for (auto& v : p) v = random() & 0x00FFFFFF;
        return p;
    }();
    return pixels;
}

void BM_memcpy(benchmark::State& state) {
    const auto& source = frame();
    std::vector<std::uint8_t> destination(frameBytes);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), frameBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(frameBytes));
}
BENCHMARK(BM_memcpy);

// Row by row, as the display converts a frame.
void convertFrame(benchmark::State& state, RowConverter convert, int bytesPerPixel) {
    const auto& source = frame();
    std::vector<std::uint8_t> destination(std::size_t(width) * height * bytesPerPixel);
    for (auto _ : state) {
        const std::uint32_t* in = source.data();
        std::uint8_t* out = destination.data();
        for (int y = 0; y < height; ++y, in += width, out += width * bytesPerPixel) convert(in, out, width);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(frameBytes));
}

#define CONVERTER_BENCHMARK(name, bytes) \
    void BM_##name(benchmark::State& state) { convertFrame(state, name, bytes); } \
    BENCHMARK(BM_##name)

CONVERTER_BENCHMARK(convertRowCopy32, 4);
CONVERTER_BENCHMARK(convertRowSwap32, 4);
CONVERTER_BENCHMARK(convertRowTo24, 3);
CONVERTER_BENCHMARK(convertRowTo24Swapped, 3);
CONVERTER_BENCHMARK(convertRowTo565, 2);
CONVERTER_BENCHMARK(convertRowTo565Swapped, 2);
CONVERTER_BENCHMARK(convertRowTo555, 2);
CONVERTER_BENCHMARK(convertRowTo555Swapped, 2);

// The scalar reference, for scale.
void BM_scalarTo565(benchmark::State& state) { convertFrame(state, rowconv::scalarSet().convert[rowconv::To565], 2); }
BENCHMARK(BM_scalarTo565);

}  // namespace

BENCHMARK_MAIN();
