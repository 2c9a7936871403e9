// qvo-render --publish as a user runs it, the file read back with
// libavformat and libavcodec: what a video site sees of its streams, and
// the sound and the picture against what the renderer made.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "codecs/publishframe.h"
#include "demo/music.h"
#include "tests/support/mp3clip.h"
#include "tests/support/scratchdir.h"
#include "tests/support/testpack.h"

namespace {

constexpr int fps = 10, firstFrame = 20, lastFrame = 40;  // --from 2 --to 4

struct Decoded {
    int width = 0, height = 0, frames = 0;
    std::vector<std::vector<std::uint8_t>> yuv;  // Y, Cb, Cr of each frame, packed
    std::vector<float> left;                     // the sound's first channel
};

// Every frame and sample of the file's two streams.
void decodeStreams(AVFormatContext* format, Decoded& out) {
    AVCodecContext* codecs[2] = {nullptr, nullptr};
    for (unsigned i = 0; i < format->nb_streams && i < 2; ++i) {
        const AVCodecParameters* par = format->streams[i]->codecpar;
        codecs[i] = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
        avcodec_parameters_to_context(codecs[i], par);
        ASSERT_EQ(avcodec_open2(codecs[i], nullptr, nullptr), 0);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto take = [&](int s) {
        while (avcodec_receive_frame(codecs[s], frame) == 0) {
            if (s == 0) {
                std::vector<std::uint8_t> planes;
                for (int p = 0; p < 3; ++p) {
                    const int w = p ? frame->width / 2 : frame->width, h = p ? frame->height / 2 : frame->height;
                    for (int y = 0; y < h; ++y)
                        planes.insert(planes.end(), frame->data[p] + std::size_t(y) * frame->linesize[p],
                                      frame->data[p] + std::size_t(y) * frame->linesize[p] + w);
                }
                out.yuv.push_back(std::move(planes));
                out.width = frame->width;
                out.height = frame->height;
                ++out.frames;
            } else {
                const float* l = reinterpret_cast<const float*>(frame->data[0]);
                out.left.insert(out.left.end(), l, l + frame->nb_samples);
            }
        }
    };
    while (av_read_frame(format, packet) == 0) {
        const int s = packet->stream_index;
        if (s < 2 && avcodec_send_packet(codecs[s], packet) == 0) take(s);
        av_packet_unref(packet);
    }
    for (int s = 0; s < 2; ++s) {
        avcodec_send_packet(codecs[s], nullptr);
        take(s);
        avcodec_free_context(&codecs[s]);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
}

class PublishTest : public ::testing::Test {
protected:
    int run(const std::string& arguments) {
        const std::string command = std::string(QVO_BINARY_DIR) + "/qvo-render " + arguments + " >" +
                                    dir.path("out") + " 2>" + dir.path("err");
        const int status = std::system(command.c_str());
        err = ScratchDir::read(dir.path("err"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ScratchDir dir;
    std::string err;
};

TEST_F(PublishTest, ShortPublishHasTheStreamsTagsSoundAndPictureASiteNeeds) {
    // 30 s of a sweep and a chord: any shift of the sound shows.
    const std::vector<std::int16_t> pcm = testSignal(44100 * 30);
    const std::vector<unsigned char> mp3 = encodeMp3(pcm, 44100, 192);
    if (mp3.empty()) GTEST_SKIP() << lameUnavailableReason();
    auto entries = syntheticTitles();
    entries.emplace_back(mainMusicName, std::string(mp3.begin(), mp3.end()));
    writePack(dir.path("demo.dat"), entries);
    const std::string pack = " --pack " + dir.path("demo.dat") + " --fps 10";
    ASSERT_EQ(run(pack + " --publish " + dir.path("show.mp4") + " --height 1440 --from 2 --to 4"), 0) << err;
    EXPECT_NE(err.find("Render done: 20 frames, 2.00 s of sound"), std::string::npos) << err;
    std::string dumps;
    for (int k = firstFrame; k < lastFrame; k += 7) dumps += " --dump " + std::to_string(k) + " " + dir.path(std::to_string(k) + ".ppm");
    ASSERT_EQ(run(pack + dumps), 0) << err;
    EXPECT_EQ(ScratchDir::read(dir.path("show.mp4")).substr(4, 8), "ftypisom");

    AVFormatContext* format = nullptr;
    ASSERT_EQ(avformat_open_input(&format, dir.path("show.mp4").c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
    ASSERT_EQ(format->nb_streams, 2u);
    const AVDictionaryEntry* title = av_dict_get(format->metadata, "title", nullptr, 0);
    ASSERT_TRUE(title);
    EXPECT_STREQ(title->value, "Quel Varn Ossa");

    const AVStream* video = format->streams[0];
    const AVCodecParameters* v = video->codecpar;
    EXPECT_EQ(v->codec_id, AV_CODEC_ID_H264);
    EXPECT_EQ(v->profile, FF_PROFILE_H264_HIGH);
    EXPECT_EQ(v->format, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(v->width, 2560);
    EXPECT_EQ(v->height, 1440);
    EXPECT_EQ(v->color_primaries, AVCOL_PRI_BT709);
    EXPECT_EQ(v->color_trc, AVCOL_TRC_BT709);
    EXPECT_EQ(v->color_space, AVCOL_SPC_BT709);
    EXPECT_EQ(v->color_range, AVCOL_RANGE_MPEG);
    EXPECT_EQ(v->sample_aspect_ratio.num, v->sample_aspect_ratio.den);
    EXPECT_EQ(av_q2d(video->avg_frame_rate), 10.0);
    const AVStream* audio = format->streams[1];
    const AVCodecParameters* a = audio->codecpar;
    EXPECT_EQ(a->codec_id, AV_CODEC_ID_AAC);
    EXPECT_EQ(a->profile, FF_PROFILE_AAC_LOW);
    EXPECT_EQ(a->sample_rate, 44100);
    EXPECT_EQ(a->ch_layout.nb_channels, 2);
    // Both start at 0, and the sound is as long as the picture: the edit
    // lists cut the AAC priming and the last frame's padding.
    EXPECT_EQ(video->start_time == AV_NOPTS_VALUE ? 0 : video->start_time, 0);
    EXPECT_EQ(audio->start_time == AV_NOPTS_VALUE ? 0 : audio->start_time, 0);
    EXPECT_EQ(av_rescale_q(video->duration, video->time_base, AVRational{1, 10}), lastFrame - firstFrame);
    EXPECT_EQ(av_rescale_q(audio->duration, audio->time_base, AVRational{1, 44100}), 88200);  // 40 x 4410 - 20 x 4410

    Decoded decoded;
    decodeStreams(format, decoded);
    avformat_close_input(&format);
    ASSERT_EQ(decoded.frames, lastFrame - firstFrame);
    // The decoder drops the priming; the end's padding it leaves to the player.
    EXPECT_GE(decoded.left.size(), 88200u);
    EXPECT_LT(decoded.left.size(), 88200u + 1024u);

    // The sound lines up with the clip from sample 88200 (frame 20's) on:
    // of every shift by up to 2048 samples, none lies closer than none.
    const std::vector<std::int16_t> clip = decodeMp3(mp3);
    ASSERT_GE(clip.size(), 2u * (88200 + 88200 + 2048));
    const auto distance = [&](int shift) {
        double sum = 0;
        for (std::size_t i = 4096; i < 4096 + 32768; ++i) {
            const double d = decoded.left[i] - clip[2 * (88200 + i + shift)] / 32768.0;
            sum += d * d;
        }
        return sum;
    };
    const double aligned = distance(0);
    for (int shift = -2048; shift <= 2048; ++shift) {
        if (shift == 0) continue;
        ASSERT_LT(aligned, distance(shift)) << "shift " << shift;
    }
    // AAC at this rate keeps a sweep within 1/100 of full scale on average.
    EXPECT_LT(std::sqrt(aligned / 32768), 0.01);

    // Each frame's picture: every source pixel read back at its block's centre
    // (where even 3x3 blocks hold their own chroma), converted back to RGB,
    // against the renderer's frame. The noise must survive: 40 dB per colour.
    for (int k = 0; k < decoded.frames; k += 7) {
        const std::string ppm = ScratchDir::read(dir.path(std::to_string(firstFrame + k) + ".ppm"));
        ASSERT_EQ(ppm.size(), 15u + 921600u);
        const std::vector<std::uint8_t>& f = decoded.yuv[std::size_t(k)];
        const std::uint8_t* yPlane = f.data();
        const std::uint8_t* cbPlane = yPlane + 2560 * 1440;
        const std::uint8_t* crPlane = cbPlane + 1280 * 720;
        const unsigned char* source = reinterpret_cast<const unsigned char*>(ppm.data()) + 15;  // red first
        double squared[3] = {0, 0, 0};
        for (int sy = 0; sy < 480; ++sy) {
            for (int sx = 0; sx < 640; ++sx) {
                const int x = 320 + 3 * sx + 1, y = 3 * sy + 1;
                const double luma = (yPlane[y * 2560 + x] - 16) * 255.0 / 219;
                const double cb = (cbPlane[y / 2 * 1280 + x / 2] - 128) * 255.0 / 224;
                const double cr = (crPlane[y / 2 * 1280 + x / 2] - 128) * 255.0 / 224;
                const double rgb[3] = {luma + 1.5748 * cr, luma - 0.1873 * cb - 0.4681 * cr, luma + 1.8556 * cb};
                const unsigned char* p = source + (std::size_t(sy) * 640 + sx) * 3;
                for (int c = 0; c < 3; ++c) {
                    const double d = std::clamp(std::round(rgb[c]), 0.0, 255.0) - p[c];
                    squared[c] += d * d;
                }
            }
        }
        for (int c = 0; c < 3; ++c) {
            const double mse = squared[c] / (640 * 480);
            const double psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
            EXPECT_GE(psnr, 40.0) << "frame " << firstFrame + k << ", channel " << "RGB"[c];
        }
    }
}

TEST_F(PublishTest, RefusesWhatItCannotDoAndLeavesNoFileOnFailure) {
    writePack(dir.path("demo.dat"), syntheticTitles());  // no music
    EXPECT_EQ(run("--pack " + dir.path("demo.dat") + " --publish " + dir.path("a.mp4") + " --to 1"), 1);
    EXPECT_NE(err.find(mainMusicName), std::string::npos) << err;
    EXPECT_EQ(run("--pack " + dir.path("demo.dat") + " --publish " + dir.path("a.mp4") + " --from 3 --to 2"), 1);
    EXPECT_NE(err.find("no frame to publish"), std::string::npos) << err;
    EXPECT_EQ(run("--publish " + dir.path("a.mp4") + " --height 1080"), 2);
    EXPECT_EQ(run("--publish " + dir.path("a.mp4") + " --md5"), 2);
    EXPECT_EQ(run("--pack " + dir.path("missing.dat") + " --publish " + dir.path("a.mp4")), 1);
    EXPECT_EQ(std::system(("test -z \"$(ls -A " + dir.path() + " | grep -v '^demo.dat$\\|^out$\\|^err$')\"").c_str()),
              0)
        << "left behind: " << std::system(("ls -l " + dir.path() + " >&2").c_str());
}

}  // namespace
