// Our Ut Video and HuffYUV frames against libavcodec's own encoders given
// the same picture: the same bytes, for pictures like the demo's (dark, flat,
// noisy), for a flat one, and at sizes that leave every kind of tail.
#include "codecs/huffyuvframe.h"
#include "codecs/utvideoframe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

// What libavcodec's encoder makes of the DIB (bottom-up, blue-green-red),
// and the stream format it announces.
struct Reference {
    std::vector<std::uint8_t> packet;
    std::vector<std::uint8_t> format;
};

Reference libavcodecFrame(const char* name, const std::vector<std::uint8_t>& dib, int width, int height, int slices) {
    Reference result;
    av_log_set_level(AV_LOG_ERROR);  // its notes on the format are no failure here
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    const bool planar = std::string(name) == "utvideo";
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = planar ? AV_PIX_FMT_GBRP : AV_PIX_FMT_RGB24;
    ctx->time_base = AVRational{1, 40};
    ctx->thread_count = 1;
    if (slices) av_opt_set_int(ctx->priv_data, "slices", slices, 0);
    EXPECT_EQ(0, avcodec_open2(ctx, codec, nullptr));
    result.format.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);
    AVFrame* frame = av_frame_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = width;
    frame->height = height;
    EXPECT_EQ(0, av_frame_get_buffer(frame, 0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* pixel = &dib[(std::size_t(height - 1 - y) * width + x) * 3];
            if (planar) {
                frame->data[0][y * frame->linesize[0] + x] = pixel[1];
                frame->data[1][y * frame->linesize[1] + x] = pixel[0];
                frame->data[2][y * frame->linesize[2] + x] = pixel[2];
            } else {
                std::uint8_t* rgb = frame->data[0] + y * frame->linesize[0] + 3 * x;
                rgb[0] = pixel[2], rgb[1] = pixel[1], rgb[2] = pixel[0];
            }
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

struct Size {
    int width, height, slices;
};
// 0 slices: libavcodec's own choice, as the writer uses it.
const Size sizes[] = {{640, 480, 0}, {33, 7, 3}, {17, 5, 1}, {100, 37, 5}, {16, 1, 1}, {4, 2, 1}};

// Encodes every picture at every size with `ours` (made from the stream
// format, or null when it refuses it) and compares with libavcodec's.
template <typename Make>
void expectLibavcodecsBytes(const char* name, Make ours) {
    for (Size size : sizes) {
        for (Picture kind : {Picture::DemoLike, Picture::Flat, Picture::Noise}) {
            const std::vector<std::uint8_t> dib = picture(kind, size.width, size.height, unsigned(size.width + int(kind)));
            const Reference reference = libavcodecFrame(name, dib, size.width, size.height, size.slices);
            ASSERT_FALSE(reference.packet.empty());
            auto encoder = ours(reference.format, size.width, size.height);
            ASSERT_TRUE(encoder) << "refused libavcodec's stream format";
            for (bool portable : {false, true}) {
                SCOPED_TRACE(::testing::Message() << name << " " << size.width << "x" << size.height << " picture "
                                                  << int(kind) << (portable ? " portable" : " sse2"));
                // Twice: nothing of one frame may leak into the next.
                for (int round = 0; round < 2; ++round) {
                    const std::span<const std::uint8_t> bytes = encoder->encode(dib.data(), true, portable);
                    ASSERT_EQ(reference.packet.size(), bytes.size());
                    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), reference.packet.begin()))
                        << "first difference at byte "
                        << std::mismatch(bytes.begin(), bytes.end(), reference.packet.begin()).first - bytes.begin();
                }
            }
        }
    }
}

TEST(UtVideoFrame, PacketsAreLibavcodecsByteForByte) {
    expectLibavcodecsBytes("utvideo", [](const std::vector<std::uint8_t>& format, int width, int height) {
        const int slices = utvideo::slicesOf(format.data(), int(format.size()));
        EXPECT_GT(slices, 0);
        return std::make_unique<utvideo::FrameEncoder>(width, height, slices);
    });
}

TEST(HuffyuvFrame, PacketsAreLibavcodecsByteForByte) {
    expectLibavcodecsBytes("huffyuv", [](const std::vector<std::uint8_t>& format, int width, int height) {
        const std::optional<huffyuv::Tables> tables = huffyuv::tablesOf(format.data(), int(format.size()));
        return tables ? std::make_unique<huffyuv::FrameEncoder>(width, height, *tables) : nullptr;
    });
}

TEST(HuffyuvFrame, OtherStreamFormatsAreRefused) {
    const Reference reference = libavcodecFrame("huffyuv", picture(Picture::Noise, 8, 8, 1), 8, 8, 0);
    ASSERT_TRUE(huffyuv::tablesOf(reference.format.data(), int(reference.format.size())));
    for (std::size_t byte : {0, 1, 2}) {  // prediction, bits a pixel, per-frame tables
        std::vector<std::uint8_t> format = reference.format;
        format[byte] ^= 0x01;
        EXPECT_FALSE(huffyuv::tablesOf(format.data(), int(format.size()))) << "byte " << byte;
    }
    // Cut short, and a length that makes no code.
    EXPECT_FALSE(huffyuv::tablesOf(reference.format.data(), int(reference.format.size()) - 1));
    std::vector<std::uint8_t> format = reference.format;
    format[4] = std::uint8_t(1 | 7 << 5);  // seven codes of 1 bit
    EXPECT_FALSE(huffyuv::tablesOf(format.data(), int(format.size())));
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
