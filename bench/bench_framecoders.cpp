// One frame coded on one thread: our Ut Video and HuffYUV coders against
// libavcodec's own encoders given the same pictures (its conversion to
// their layout excluded), and the colour conversion alone. The pictures are
// the demo's own, one a second of the timeline (needs QuelVarnOssa.dat in
// the working folder, or QVO_BENCH_PACK).
//
//   cd build && bench/bench_framecoders
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include "bench/demoframes.h"
#include "codecs/bgrrows.h"
#include "codecs/huffyuvframe.h"
#include "codecs/utvideoframe.h"

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int W = 640;
constexpr int H = 480;

void perFrame(benchmark::State& state, std::size_t frames) {
    state.SetItemsProcessed(std::int64_t(state.iterations()));
    state.counters["frames"] = double(frames);
}

void BM_OurUtVideo(benchmark::State& state) {
    const auto& frames = demoFrames();
    utvideo::FrameEncoder coder(W, H, 4);
    std::size_t i = 0, bytes = 0;
    for (auto _ : state) bytes += coder.encode(frames[i++ % frames.size()].data(), false).size();
    perFrame(state, frames.size());
    state.counters["kB_per_frame"] = double(bytes) / 1e3 / double(state.iterations());
}

void BM_OurHuffyuv(benchmark::State& state) {
    const auto& frames = demoFrames();
    const AVCodec* codec = avcodec_find_encoder_by_name("huffyuv");
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = W, ctx->height = H, ctx->pix_fmt = AV_PIX_FMT_RGB24, ctx->time_base = {1, 40}, ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    huffyuv::FrameEncoder coder(W, H, *huffyuv::tablesOf(ctx->extradata, ctx->extradata_size));
    avcodec_free_context(&ctx);
    std::size_t i = 0, bytes = 0;
    for (auto _ : state) bytes += coder.encode(frames[i++ % frames.size()].data(), false).size();
    perFrame(state, frames.size());
    state.counters["kB_per_frame"] = double(bytes) / 1e3 / double(state.iterations());
}

// libavcodec's encoder on one thread, the frames already in its layout.
void BM_LibavcodecEncoder(benchmark::State& state, const char* name, AVPixelFormat format) {
    const auto& frames = demoFrames();
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = W, ctx->height = H, ctx->pix_fmt = format, ctx->time_base = {1, 40}, ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    std::vector<AVFrame*> pictures;
    for (const auto& dib : frames) {
        AVFrame* frame = av_frame_alloc();
        frame->format = format, frame->width = W, frame->height = H;
        av_frame_get_buffer(frame, 0);
        if (format == AV_PIX_FMT_GBRP) {
            bgrrows::convert(bgrrows::Layout::PlanarGbr, dib.data(), W, H, false, frame->data, frame->linesize);
        } else {
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const std::uint8_t* p = &dib[(std::size_t(y) * W + x) * 3];
                    std::uint8_t* q = frame->data[0] + y * frame->linesize[0] + 3 * x;
                    q[0] = p[2], q[1] = p[1], q[2] = p[0];
                }
        }
        pictures.push_back(frame);
    }
    AVPacket* packet = av_packet_alloc();
    std::size_t i = 0;
    for (auto _ : state) {
        avcodec_send_frame(ctx, pictures[i++ % pictures.size()]);
        avcodec_receive_packet(ctx, packet);
        av_packet_unref(packet);
    }
    perFrame(state, frames.size());
    av_packet_free(&packet);
    for (AVFrame*& f : pictures) av_frame_free(&f);
    avcodec_free_context(&ctx);
}

void BM_PlanarGbrConversion(benchmark::State& state) {
    const auto& frames = demoFrames();
    std::vector<std::uint8_t> planes(std::size_t(W) * H * 3);
    std::uint8_t* out[3] = {planes.data(), planes.data() + W * H, planes.data() + 2 * W * H};
    const int strides[3] = {W, W, W};
    std::size_t i = 0;
    for (auto _ : state)
        bgrrows::convert(bgrrows::Layout::PlanarGbr, frames[i++ % frames.size()].data(), W, H, false, out, strides);
    perFrame(state, frames.size());
}

}  // namespace

BENCHMARK(BM_OurUtVideo)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibavcodecEncoder, utvideo, "utvideo", AV_PIX_FMT_GBRP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurHuffyuv)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibavcodecEncoder, huffyuv, "huffyuv", AV_PIX_FMT_RGB24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlanarGbrConversion)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
