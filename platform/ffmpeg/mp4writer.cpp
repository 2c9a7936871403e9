#include "platform/ffmpeg/mp4writer.h"

#include <algorithm>
#include <numeric>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace mp4 {
namespace {

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof text);
    return text;
}

bool failed(std::string& why, const std::string& what, int code) {
    why = what + ": " + errorText(code);
    return false;
}

}  // namespace

struct Writer::State {
    Settings settings;
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    std::vector<AVFrame*> pictures;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    bool headerWritten = false;
    bool broken = false;  // a write failed: nothing more goes to the file
    std::int64_t frames = 0;
    std::int64_t samples = 0;        // given
    std::int64_t samplesEncoded = 0;  // handed to the encoder, the pts of the next
    std::vector<float> pending[2];    // given, not yet a whole AAC frame

    ~State() {
        av_packet_free(&packet);
        av_frame_free(&sound);
        for (AVFrame*& picture : pictures) av_frame_free(&picture);
        avcodec_free_context(&audio);
        avcodec_free_context(&video);
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    // Every packet the encoder has ready, into the file.
    bool drain(AVCodecContext* codec, AVStream* stream, std::string& why) {
        for (;;) {
            int result = avcodec_receive_packet(codec, packet);
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
            if (result < 0) return failed(why, "encoding failed", result);
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            result = av_interleaved_write_frame(format, packet);
            if (result < 0) {
                broken = true;
                return failed(why, "cannot write " + settings.path, result);
            }
        }
    }

    bool send(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string& why) {
        const int result = avcodec_send_frame(codec, frame);
        if (result < 0) return failed(why, "encoding failed", result);
        return drain(codec, stream, why);
    }

    // One AAC frame (or the short last one) from the front of pending.
    bool encodeSound(int count, std::string& why) {
        int result = av_frame_make_writable(sound);
        if (result < 0) return failed(why, "out of memory for sound", result);
        sound->nb_samples = count;
        sound->pts = samplesEncoded;
        for (int c = 0; c < 2; ++c) {
            float* plane = reinterpret_cast<float*>(sound->data[c]);
            std::copy(pending[c].begin(), pending[c].begin() + count, plane);
            pending[c].erase(pending[c].begin(), pending[c].begin() + count);
        }
        samplesEncoded += count;
        return send(audio, audioStream, sound, why);
    }
};

Writer::Writer() = default;
Writer::~Writer() = default;

bool Writer::open(const Settings& settings, std::string& why) {
    state = std::make_unique<State>();
    State& s = *state;
    s.settings = settings;
    // The encoders' statistics are no news to the user; their errors are.
    av_log_set_level(AV_LOG_ERROR);
    // The muxer reads the file back by this name to move the index forward.
    int result = avformat_alloc_output_context2(&s.format, nullptr, "mp4", settings.path.c_str());
    if (result < 0) return failed(why, "no MP4 muxer", result);
    av_dict_set(&s.format->metadata, "title", settings.title.c_str(), 0);

    const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
    const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!h264 || !aac) {
        why = std::string("this FFmpeg has no ") + (h264 ? "AAC" : "libx264") + " encoder";
        return false;
    }
    s.video = avcodec_alloc_context3(h264);
    s.audio = avcodec_alloc_context3(aac);
    s.pictures.assign(std::size_t(std::max(1, settings.pictures)), nullptr);
    bool allocated = true;
    for (AVFrame*& picture : s.pictures) allocated = (picture = av_frame_alloc()) && allocated;
    s.sound = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (!s.video || !s.audio || !allocated || !s.sound || !s.packet) {
        why = "out of memory";
        return false;
    }

    AVCodecContext* v = s.video;
    v->width = settings.width;
    v->height = settings.height;
    v->pix_fmt = AV_PIX_FMT_YUV420P;
    v->time_base = AVRational{1, settings.frameRate};
    v->framerate = AVRational{settings.frameRate, 1};
    v->sample_aspect_ratio = AVRational{1, 1};
    v->color_primaries = AVCOL_PRI_BT709;
    v->color_trc = AVCOL_TRC_BT709;
    v->colorspace = AVCOL_SPC_BT709;
    v->color_range = AVCOL_RANGE_MPEG;
    // Each chroma sample stands for the 2x2 luma square it covers.
    v->chroma_sample_location = AVCHROMA_LOC_CENTER;
    // A keyframe every two seconds, as the sites ask.
    v->gop_size = 2 * settings.frameRate;
    v->thread_count = 0;
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", settings.preset.c_str(), 0);
    if (!settings.tune.empty()) av_dict_set(&options, "tune", settings.tune.c_str(), 0);
    av_dict_set(&options, "profile", "high", 0);
    av_dict_set_int(&options, "crf", settings.crf, 0);
    av_dict_set_int(&options, "chromaoffset", settings.chromaQpOffset, 0);
    result = avcodec_open2(v, h264, &options);
    av_dict_free(&options);
    if (result < 0) return failed(why, "libx264 refused the settings", result);

    AVCodecContext* a = s.audio;
    a->sample_fmt = AV_SAMPLE_FMT_FLTP;
    a->sample_rate = settings.sampleRate;
    av_channel_layout_default(&a->ch_layout, 2);
    a->bit_rate = settings.audioBitRate;
    a->profile = FF_PROFILE_AAC_LOW;
    a->time_base = AVRational{1, settings.sampleRate};
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    result = avcodec_open2(a, aac, nullptr);
    if (result < 0) return failed(why, "the AAC encoder refused the settings", result);

    s.videoStream = avformat_new_stream(s.format, nullptr);
    s.audioStream = avformat_new_stream(s.format, nullptr);
    if (!s.videoStream || !s.audioStream) {
        why = "out of memory";
        return false;
    }
    s.videoStream->time_base = v->time_base;
    s.videoStream->avg_frame_rate = v->framerate;
    s.videoStream->sample_aspect_ratio = v->sample_aspect_ratio;
    s.audioStream->time_base = a->time_base;
    if ((result = avcodec_parameters_from_context(s.videoStream->codecpar, v)) < 0 ||
        (result = avcodec_parameters_from_context(s.audioStream->codecpar, a)) < 0)
        return failed(why, "stream parameters", result);

    for (AVFrame* picture : s.pictures) {
        picture->format = v->pix_fmt;
        picture->width = v->width;
        picture->height = v->height;
        picture->color_primaries = v->color_primaries;
        picture->color_trc = v->color_trc;
        picture->colorspace = v->colorspace;
        picture->color_range = v->color_range;
        picture->sample_aspect_ratio = v->sample_aspect_ratio;
        if ((result = av_frame_get_buffer(picture, 0)) < 0)
            return failed(why, "out of memory for the picture", result);
    }
    s.sound->format = a->sample_fmt;
    s.sound->sample_rate = a->sample_rate;
    s.sound->nb_samples = a->frame_size;
    if ((result = av_channel_layout_copy(&s.sound->ch_layout, &a->ch_layout)) < 0 ||
        (result = av_frame_get_buffer(s.sound, 0)) < 0)
        return failed(why, "out of memory for sound", result);

    if ((result = avio_open(&s.format->pb, settings.path.c_str(), AVIO_FLAG_WRITE)) < 0)
        return failed(why, "cannot create " + settings.path, result);
    // The index goes to the front once all is written (a second pass over
    // the file at the end), so that a player starts before the download ends.
    options = nullptr;
    av_dict_set(&options, "movflags", "+faststart+write_colr", 0);
    // The edit lists count in the movie's time scale (1000 by default): one
    // both a frame and a sample divide keeps the sound's length exact.
    av_dict_set_int(&options, "movie_timescale", std::lcm(std::int64_t(settings.sampleRate), std::int64_t(settings.frameRate)), 0);
    result = avformat_write_header(s.format, &options);
    av_dict_free(&options);
    if (result < 0) {
        s.broken = true;
        return failed(why, "cannot write " + settings.path, result);
    }
    s.headerWritten = true;
    return true;
}

std::uint8_t* const* Writer::planes(int picture) {
    // The encoder may still hold the picture: take a fresh buffer then.
    AVFrame* frame = state->pictures[std::size_t(picture)];
    if (av_frame_make_writable(frame) < 0) return nullptr;
    return frame->data;
}

const int* Writer::strides(int picture) { return state->pictures[std::size_t(picture)]->linesize; }

bool Writer::writeFrame(int picture, std::string& why) {
    State& s = *state;
    if (s.broken) return failed(why, "cannot write " + s.settings.path, AVERROR(EIO));
    AVFrame* frame = s.pictures[std::size_t(picture)];
    frame->pts = s.frames++;
    return s.send(s.video, s.videoStream, frame, why);
}

bool Writer::writeAudio(const std::int16_t* samples, int sampleFrames, std::string& why) {
    State& s = *state;
    if (s.broken) return failed(why, "cannot write " + s.settings.path, AVERROR(EIO));
    for (int i = 0; i < sampleFrames; ++i) {
        s.pending[0].push_back(float(samples[2 * i]) / 32768.0f);
        s.pending[1].push_back(float(samples[2 * i + 1]) / 32768.0f);
    }
    s.samples += sampleFrames;
    const int frameSize = s.audio->frame_size;
    while (int(s.pending[0].size()) >= frameSize)
        if (!s.encodeSound(frameSize, why)) return false;
    return true;
}

bool Writer::finish(std::string& why) {
    State& s = *state;
    if (s.broken || !s.headerWritten) return failed(why, "cannot write " + s.settings.path, AVERROR(EIO));
    if (!s.pending[0].empty() && !s.encodeSound(int(s.pending[0].size()), why)) return false;
    if (!s.send(s.video, s.videoStream, nullptr, why) || !s.send(s.audio, s.audioStream, nullptr, why)) return false;
    int result = av_write_trailer(s.format);
    s.headerWritten = false;
    if (result < 0) {
        s.broken = true;
        return failed(why, "cannot complete " + s.settings.path, result);
    }
    // Buffered bytes meet a full disk only now.
    result = avio_closep(&s.format->pb);
    if (result < 0) {
        s.broken = true;
        return failed(why, "cannot complete " + s.settings.path, result);
    }
    return true;
}

std::int64_t Writer::framesWritten() const { return state ? state->frames : 0; }
std::int64_t Writer::samplesWritten() const { return state ? state->samples : 0; }

}  // namespace mp4
