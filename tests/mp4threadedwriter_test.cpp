// The MP4 writer fed from a thread of its own: every frame reaches the file
// once, in order, with the picture it was filled with, however the caller
// and the encoder interleave; and a write that fails stops the caller.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/ffmpeg/mp4threadedwriter.h"
#include "tests/support/scratchdir.h"

namespace {

constexpr int width = 64, height = 48, frameRate = 30, samplesPerFrame = 44100 / frameRate;

mp4::Settings smallFile(const std::string& path) {
    mp4::Settings settings;
    settings.path = path;
    settings.width = width;
    settings.height = height;
    settings.frameRate = frameRate;
    settings.preset = "ultrafast";
    settings.crf = 5;  // flat greys come back within a step
    settings.pictures = 3;
    return settings;
}

void fill(mp4::ThreadedWriter& out, int picture, std::uint8_t grey) {
    std::uint8_t* const* planes = out.planes(picture);
    ASSERT_TRUE(planes);
    const int* strides = out.strides(picture);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < (p ? height / 2 : height); ++y)
            std::fill_n(planes[p] + y * strides[p], p ? width / 2 : width, p ? 128 : grey);
}

// The first luma sample of every frame, and the sample frames of sound.
void readBack(const std::string& path, std::vector<int>& greys, std::int64_t& samples) {
    AVFormatContext* format = nullptr;
    ASSERT_EQ(avformat_open_input(&format, path.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
    ASSERT_EQ(format->nb_streams, 2u);
    const AVCodecParameters* par = format->streams[0]->codecpar;
    AVCodecContext* codec = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
    avcodec_parameters_to_context(codec, par);
    ASSERT_EQ(avcodec_open2(codec, nullptr, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto take = [&] {
        while (avcodec_receive_frame(codec, frame) == 0) greys.push_back(frame->data[0][0]);
    };
    while (av_read_frame(format, packet) == 0) {
        if (packet->stream_index == 0 && avcodec_send_packet(codec, packet) == 0) take();
        av_packet_unref(packet);
    }
    avcodec_send_packet(codec, nullptr);
    take();
    const AVStream* audio = format->streams[1];
    samples = av_rescale_q(audio->duration, audio->time_base, AVRational{1, 44100});
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
}

TEST(Mp4ThreadedWriter, EveryFrameArrivesOnceInOrderWithItsOwnPictureAndSound) {
    ScratchDir dir;
    const mp4::Settings settings = smallFile(dir.path("out.mp4"));
    std::string why;
    mp4::Writer writer;
    ASSERT_TRUE(writer.open(settings, why)) << why;
    constexpr int frames = 50;
    const std::vector<std::int16_t> sound(2 * samplesPerFrame, 1000);
    {
        mp4::ThreadedWriter out(writer, settings.pictures);
        std::vector<int> seen(settings.pictures, 0);
        for (int k = 0; k < frames; ++k) {
            const int picture = out.take();
            ASSERT_GE(picture, 0);
            ASSERT_LT(picture, settings.pictures);
            ++seen[std::size_t(picture)];
            // A picture handed out while still queued would be overwritten
            // here before the encoder read it: its frame would come back wrong.
            fill(out, picture, std::uint8_t(16 + 4 * k));
            out.submit(picture, sound.data(), samplesPerFrame);
        }
        ASSERT_TRUE(out.finish(why)) << why;
        EXPECT_EQ(out.framesDone(), frames);
        for (int count : seen) EXPECT_GT(count, 0) << "every picture takes turns";
    }
    EXPECT_EQ(writer.framesWritten(), frames);
    EXPECT_EQ(writer.samplesWritten(), std::int64_t(frames) * samplesPerFrame);

    std::vector<int> greys;
    std::int64_t samples = 0;
    readBack(settings.path, greys, samples);
    ASSERT_EQ(greys.size(), std::size_t(frames));
    for (int k = 0; k < frames; ++k) EXPECT_NEAR(greys[std::size_t(k)], 16 + 4 * k, 1) << "frame " << k;
    EXPECT_EQ(samples, std::int64_t(frames) * samplesPerFrame);
}

// Files may grow to a limit for the life of the object, as on a full disk.
struct FileSizeLimit {
    rlimit before{};
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit limited = before;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &before); }
};

TEST(Mp4ThreadedWriter, AFailedWriteStopsTheCallerAndIsReportedByFinish) {
    ScratchDir dir;
    mp4::Settings settings = smallFile(dir.path("out.mp4"));
    settings.width = 640;  // noise this size fills the limit within a few frames
    settings.height = 480;
    std::string why;
    mp4::Writer writer;
    ASSERT_TRUE(writer.open(settings, why)) << why;
    const FileSizeLimit limit(1 << 20);
    mp4::ThreadedWriter out(writer, settings.pictures);
    const std::vector<std::int16_t> sound(2 * samplesPerFrame, 0);
    std::uint32_t seed = 1;
    int taken = 0;
    for (int picture; taken < 300 && (picture = out.take()) >= 0; ++taken) {
        std::uint8_t* const* planes = out.planes(picture);
        const int* strides = out.strides(picture);
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < (p ? 240 : 480); ++y)
                for (int x = 0; x < (p ? 320 : 640); ++x) planes[p][y * strides[p] + x] = std::uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
        out.submit(picture, sound.data(), samplesPerFrame);
    }
    EXPECT_LT(taken, 300) << "the caller went on after the disk was full";
    EXPECT_FALSE(out.finish(why));
    EXPECT_NE(why.find("File too large"), std::string::npos) << why;
    EXPECT_LT(out.framesDone(), taken);
}

}  // namespace
