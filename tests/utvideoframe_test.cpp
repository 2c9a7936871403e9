// Our Ut Video frames against libavcodec's own encoder given the same
// picture: the same bytes, for pictures like the demo's (dark, flat, noisy),
// for a flat one, and at sizes that leave every kind of tail.
#include "platform/sdl/utvideoframe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// What libavcodec's encoder makes of the DIB (bottom-up, blue-green-red).
struct Reference {
    std::vector<std::uint8_t> packet;
    int slices = 0;
};

Reference libavcodecFrame(const std::vector<std::uint8_t>& dib, int width, int height, int slices) {
    Reference result;
    const AVCodec* codec = avcodec_find_encoder_by_name("utvideo");
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_GBRP;
    ctx->time_base = AVRational{1, 40};
    ctx->thread_count = 1;
    if (slices) av_opt_set_int(ctx->priv_data, "slices", slices, 0);
    EXPECT_EQ(0, avcodec_open2(ctx, codec, nullptr));
    result.slices = utvideo::slicesOf(ctx->extradata, ctx->extradata_size);
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_GBRP;
    frame->width = width;
    frame->height = height;
    EXPECT_EQ(0, av_frame_get_buffer(frame, 0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* pixel = &dib[(std::size_t(height - 1 - y) * width + x) * 3];
            frame->data[0][y * frame->linesize[0] + x] = pixel[1];
            frame->data[1][y * frame->linesize[1] + x] = pixel[0];
            frame->data[2][y * frame->linesize[2] + x] = pixel[2];
        }
    AVPacket* packet = av_packet_alloc();
    EXPECT_EQ(0, avcodec_send_frame(ctx, frame));
    EXPECT_EQ(0, avcodec_receive_packet(ctx, packet));
    result.packet.assign(packet->data, packet->data + packet->size);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return result;
}

enum class Picture { DemoLike, Flat, Noise };

std::vector<std::uint8_t> picture(Picture kind, int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> dib(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = &dib[(std::size_t(y) * width + x) * 3];
            if (kind == Picture::Flat) {
                pixel[0] = 3, pixel[1] = 3, pixel[2] = 40;
            } else if (kind == Picture::Noise) {
                for (int c = 0; c < 3; ++c) pixel[c] = std::uint8_t(random());
            } else {
                // Dim red noise over black, a dark bar, and a bright block.
                const bool bar = y / 16 % 5 == 0;
                const bool block = x > width / 3 && x < width / 2 && y > height / 3 && y < height / 2;
                pixel[2] = bar ? 0 : std::uint8_t(random() % 24);
                pixel[1] = block ? 230 : 0;
                pixel[0] = block ? std::uint8_t(200 + x % 7) : 0;
            }
        }
    return dib;
}

TEST(UtVideoFrame, PacketsAreLibavcodecsByteForByte) {
    struct Case {
        int width, height, slices;
    };
    // 0 slices: libavcodec's own choice, as the writer uses it.
    for (Case c : {Case{640, 480, 0}, Case{33, 7, 3}, Case{17, 5, 1}, Case{100, 37, 5}}) {
        for (Picture kind : {Picture::DemoLike, Picture::Flat, Picture::Noise}) {
            const std::vector<std::uint8_t> dib = picture(kind, c.width, c.height, unsigned(c.width + int(kind)));
            const Reference reference = libavcodecFrame(dib, c.width, c.height, c.slices);
            ASSERT_FALSE(reference.packet.empty());
            ASSERT_GT(reference.slices, 0);
            for (bool portable : {false, true}) {
                SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " slices " << reference.slices
                                                  << " picture " << int(kind) << (portable ? " portable" : " sse2"));
                utvideo::FrameEncoder encoder(c.width, c.height, reference.slices);
                // Twice: nothing of one frame may leak into the next.
                for (int round = 0; round < 2; ++round) {
                    const std::span<const std::uint8_t> ours = encoder.encode(dib.data(), true, portable);
                    ASSERT_EQ(reference.packet.size(), ours.size());
                    EXPECT_TRUE(std::equal(ours.begin(), ours.end(), reference.packet.begin()))
                        << "first difference at byte "
                        << std::mismatch(ours.begin(), ours.end(), reference.packet.begin()).first - ours.begin();
                }
            }
        }
    }
}

TEST(UtVideoFrame, CodeLengthsStayUnder32BitsAndFormACompleteCode) {
    // Counts growing like Fibonacci's numbers make the deepest tree there
    // is: 40 symbols would need codes of 39 bits.
    std::array<std::uint64_t, 256> counts{};
    std::uint64_t a = 1, b = 1;
    for (int symbol = 0; symbol < 40; ++symbol) {
        counts[symbol * 3] = a;
        const std::uint64_t next = a + b;
        a = b;
        b = next;
    }
    const std::array<std::uint8_t, 256> lengths = utvideo::codeLengths(counts);
    double kraft = 0;
    for (int symbol = 0; symbol < 256; ++symbol) {
        if (counts[symbol] == 0) {
            EXPECT_EQ(255, lengths[symbol]) << symbol;
            continue;
        }
        EXPECT_GE(lengths[symbol], 1) << symbol;
        EXPECT_LT(lengths[symbol], 32) << symbol;
        kraft += std::ldexp(1.0, -lengths[symbol]);
    }
    EXPECT_DOUBLE_EQ(1.0, kraft);
}

TEST(UtVideoFrame, SliceCountComesFromTheStreamFormat) {
    const std::uint8_t extradata[16] = {0xF0, 0, 0, 1, 'U', 'L', 'R', 'G', 4, 0, 0, 0, 1, 0, 0, 3};
    EXPECT_EQ(4, utvideo::slicesOf(extradata, 16));
    EXPECT_EQ(0, utvideo::slicesOf(extradata, 12));
    EXPECT_EQ(0, utvideo::slicesOf(nullptr, 0));
}

}  // namespace
