#include "platform/ffmpeg/ffmpegencoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "codecs/bgrrows.h"
#include "codecs/coderpool.h"
#include "codecs/huffyuvframe.h"
#include "codecs/utvideoframe.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <span>
#include <thread>
#include <vector>

static_assert(AVIERR_BADPARAM == AVERROR(EINVAL));

struct FfmpegEncoder::State {
    std::string path;
    AVFormatContext* format = nullptr;
    AviVideoFormat video;
    bool raw = false;
    AVCodecParameters* videoParameters = avcodec_parameters_alloc();
    AVRational videoTimeBase{1, 1};
    AVCodecContext* encoder = nullptr;
    SwsContext* scaler = nullptr;  // for the codecs bgrrows has no layout for
    bool direct = false;  // FFV1's B, G, R, 0, made by bgrrows
    // Frames for the encoder. A frame-threaded encoder keeps a reference to
    // the frames it is working on; writing into one of those would copy it
    // first, so a frame no one holds is taken instead.
    std::vector<AVFrame*> frames;
    // Ut Video and HuffYUV frames are made by our own code, several at once;
    // libavcodec's encoder only describes the stream (see utvideoframe.h for
    // why). The frames' indices wait with them.
    std::unique_ptr<CoderPool> coders;
    std::deque<std::int64_t> coding;
    std::vector<std::uint8_t> frameCopy;  // a frame handed in as a pointer
    AVStream* videoStream = nullptr;

    bool audio = false;
    WAVEFORMATEX wave{};
    AVStream* audioStream = nullptr;
    std::int64_t nextSample = 0;

    AVPacket* packet = av_packet_alloc();
    bool started = false;
    bool videoEnded = false;

    ~State() {
        avcodec_parameters_free(&videoParameters);
        avcodec_free_context(&encoder);
        sws_freeContext(scaler);
        for (AVFrame*& f : frames) av_frame_free(&f);
        av_packet_free(&packet);
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    int openEncoder();
    int encode(AVFrame* input);
    int writeRaw(std::int64_t index, std::span<const std::uint8_t> bytes);
    int writeCoded(bool all);
    AVFrame* freeFrame(int* result);
};

namespace {

// The AVI muxer wants every packet of a stream on its own time base. The
// caller already interleaves (each frame's sound, then the frame), so packets
// go to the file as they come, without the muxer's queue and its copies. A
// frame our own coders make follows its sound by the few frames they hold;
// the index tells players where each chunk is.
int writePacket(AVFormatContext* format, AVPacket* packet, AVStream* stream, AVRational from) {
    packet->stream_index = stream->index;
    av_packet_rescale_ts(packet, from, stream->time_base);
    return av_write_frame(format, packet);
}

// A thread for each core, unless QVO_ENCODER_THREADS says otherwise.
int coderThreads() {
    const long asked = vfw::environmentNumber("QVO_ENCODER_THREADS", 0);
    const long cores = long(std::thread::hardware_concurrency());
    return int(std::clamp(asked > 0 ? asked : cores, 1L, 16L));
}

}  // namespace

// "name=value:name=value" onto the context or the encoder's own options; a
// name neither knows is an error, not a setting quietly lost.
static int applyOptions(AVCodecContext* ctx, const char* options) {
    AVDictionary* pairs = nullptr;
    int result = av_dict_parse_string(&pairs, options, "=", ":", 0);
    for (const AVDictionaryEntry* e = nullptr; result >= 0 && (e = av_dict_get(pairs, "", e, AV_DICT_IGNORE_SUFFIX));)
        result = av_opt_set(ctx, e->key, e->value, AV_OPT_SEARCH_CHILDREN);
    av_dict_free(&pairs);
    return result;
}

// The codec's settings from the table and the dialog's options.
int FfmpegEncoder::State::openEncoder() {
    const AVCodec* codec = avcodec_find_encoder_by_name(video.codec->name);
    if (!codec) return AVERROR_ENCODER_NOT_FOUND;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) return AVERROR(ENOMEM);
    encoder = ctx;
    ctx->width = video.width;
    ctx->height = video.height;
    ctx->time_base = AVRational{LONG(video.scale), LONG(video.rate)};
    ctx->framerate = AVRational{LONG(video.rate), LONG(video.scale)};
    ctx->thread_count = int(vfw::environmentNumber("QVO_ENCODER_THREADS", 0));

    const AVICOMPRESSOPTIONS& o = video.options;
    const bool quality = o.dwQuality != ICQUALITY_DEFAULT && o.dwQuality <= ICQUALITY_HIGH;
    const bool dataRate = (o.dwFlags & AVICOMPRESSF_DATARATE) && o.dwBytesPerSecond > 0;
    if ((o.dwFlags & AVICOMPRESSF_KEYFRAMES) && o.dwKeyFrameEvery > 0) ctx->gop_size = int(o.dwKeyFrameEvery);

    const vfw::CodecChoice& choice = *video.codec;
    ctx->pix_fmt = av_get_pix_fmt(choice.pixelFormat);
    if (int r = applyOptions(ctx, choice.options); r < 0) return r;
    if (choice.quality != vfw::QualityScale::None && dataRate) {
        ctx->bit_rate = std::int64_t(o.dwBytesPerSecond) * 8;
    } else if (choice.quality == vfw::QualityScale::JpegQ) {
        // 0..10000 onto JPEG's q 31..2; the default is a good-looking 3.
        int q = quality ? 31 - int(o.dwQuality * 29 / ICQUALITY_HIGH) : 3;
        ctx->flags |= AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = FF_QP2LAMBDA * q;
    } else if (choice.quality == vfw::QualityScale::X264Crf) {
        // 0..10000 onto CRF 51..0; the default, 18, is visually lossless.
        int crf = quality ? 51 - int(o.dwQuality * 51 / ICQUALITY_HIGH) : 18;
        av_opt_set_int(ctx->priv_data, "crf", crf, 0);
    }
    if (format->oformat->flags & AVFMT_GLOBALHEADER) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(ctx, codec, nullptr);
    if (result < 0) return result;
    result = avcodec_parameters_from_context(videoParameters, ctx);
    if (result < 0) return result;
    videoTimeBase = ctx->time_base;
    if (choice.ownCoder == vfw::OwnCoder::UtVideo) {
        const int slices = utvideo::slicesOf(ctx->extradata, ctx->extradata_size);
        if (slices < 1) return AVERROR_BUG;
        coders = std::make_unique<CoderPool>(
            [&] { return std::make_unique<utvideo::FrameEncoder>(video.width, video.height, slices); },
            video.frameBytes, video.bottomUp, coderThreads());
        return 0;
    }
    if (choice.ownCoder == vfw::OwnCoder::HuffYuv) {
        const std::optional<huffyuv::Tables> tables = huffyuv::tablesOf(ctx->extradata, ctx->extradata_size);
        if (!tables) return AVERROR_BUG;
        coders = std::make_unique<CoderPool>(
            [&] { return std::make_unique<huffyuv::FrameEncoder>(video.width, video.height, *tables); },
            video.frameBytes, video.bottomUp, coderThreads());
        return 0;
    }

    direct = ctx->pix_fmt == AV_PIX_FMT_0RGB32;
    if (direct) return 0;
    // The ranges must be set before the context is initialised to count.
    scaler = sws_alloc_context();
    if (!scaler) return AVERROR(ENOMEM);
    av_opt_set_int(scaler, "srcw", video.width, 0);
    av_opt_set_int(scaler, "srch", video.height, 0);
    av_opt_set_int(scaler, "src_format", AV_PIX_FMT_BGR24, 0);
    av_opt_set_int(scaler, "dstw", video.width, 0);
    av_opt_set_int(scaler, "dsth", video.height, 0);
    av_opt_set_int(scaler, "dst_format", ctx->pix_fmt, 0);
    av_opt_set_int(scaler, "sws_flags", SWS_BICUBIC, 0);
    av_opt_set_int(scaler, "src_range", 1, 0);
    av_opt_set_int(scaler, "dst_range", ctx->color_range == AVCOL_RANGE_JPEG ? 1 : 0, 0);
    return sws_init_context(scaler, nullptr, nullptr);
}

AVFrame* FfmpegEncoder::State::freeFrame(int* result) {
    for (AVFrame* f : frames)
        if (av_frame_is_writable(f)) return f;
    if (frames.size() >= 8) {  // more than an encoder should hold: copy one
        *result = av_frame_make_writable(frames.front());
        return *result < 0 ? nullptr : frames.front();
    }
    AVFrame* f = av_frame_alloc();
    if (!f) return *result = AVERROR(ENOMEM), nullptr;
    f->format = encoder->pix_fmt;
    f->width = video.width;
    f->height = video.height;
    if ((*result = av_frame_get_buffer(f, 0)) < 0) {
        av_frame_free(&f);
        return nullptr;
    }
    frames.push_back(f);
    return f;
}

int FfmpegEncoder::State::encode(AVFrame* input) {
    int result = avcodec_send_frame(encoder, input);
    if (result < 0) return result;
    while ((result = avcodec_receive_packet(encoder, packet)) >= 0) {
        result = writePacket(format, packet, videoStream, encoder->time_base);
        av_packet_unref(packet);
        if (result < 0) return result;
    }
    return result == AVERROR(EAGAIN) || result == AVERROR_EOF ? 0 : result;
}

// A frame's bytes as its packet, written straight from where they are:
// nothing keeps the packet.
int FfmpegEncoder::State::writeRaw(std::int64_t index, std::span<const std::uint8_t> bytes) {
    packet->data = const_cast<std::uint8_t*>(bytes.data());
    packet->size = int(bytes.size());
    packet->pts = packet->dts = index;
    packet->duration = 1;
    packet->flags |= AV_PKT_FLAG_KEY;
    const int result = writePacket(format, packet, videoStream, videoTimeBase);
    av_packet_unref(packet);
    return result;
}

// The coded frames, in order, as far as they are done; with all, every
// frame, and otherwise until a slot is free for the next.
int FfmpegEncoder::State::writeCoded(bool all) {
    while (const std::optional<std::span<const std::uint8_t>> bytes = coders->oldest(all || coders->full())) {
        const int result = writeRaw(coding.front(), *bytes);
        coders->release();
        coding.pop_front();
        if (result < 0) return result;
    }
    return 0;
}

FfmpegEncoder::FfmpegEncoder(std::string path) : state(std::make_unique<State>()) {
    av_log_set_level(AV_LOG_ERROR);
    state->path = std::move(path);
    avformat_alloc_output_context2(&state->format, nullptr, "avi", state->path.c_str());
}

FfmpegEncoder::~FfmpegEncoder() = default;

HRESULT FfmpegEncoder::setVideo(const AviVideoFormat& format) {
    State& s = *state;
    if (!s.format || !s.videoParameters || !s.packet) return AVERROR(ENOMEM);
    s.video = format;
    s.raw = std::strcmp(format.codec->name, "rawvideo") == 0;  // written as it is, no encoder
    if (!s.raw) {
        if (format.width * 3 % 4 != 0) return AVERROR(EINVAL);  // padded rows: not on the encoders' path
        return s.openEncoder();
    }
    AVCodecParameters* par = s.videoParameters;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_RAWVIDEO;
    par->codec_tag = 0;
    par->format = AV_PIX_FMT_BGR24;
    par->width = format.width;
    par->height = format.height;
    par->bits_per_coded_sample = 24;
    s.videoTimeBase = AVRational{LONG(format.scale), LONG(format.rate)};
    return 0;
}

HRESULT FfmpegEncoder::setAudio(const WAVEFORMATEX& wave) {
    state->audio = true;
    state->wave = wave;
    return 0;
}

HRESULT FfmpegEncoder::start() {
    State& s = *state;
    if (s.started) return 0;
    if (s.videoParameters->codec_type == AVMEDIA_TYPE_VIDEO) {
        s.videoStream = avformat_new_stream(s.format, nullptr);
        if (!s.videoStream) return AVERROR(ENOMEM);
        if (int result = avcodec_parameters_copy(s.videoStream->codecpar, s.videoParameters); result < 0)
            return result;
        s.videoStream->time_base = s.videoTimeBase;
        s.videoStream->avg_frame_rate = AVRational{LONG(s.video.rate), LONG(s.video.scale)};
    }
    if (s.audio) {
        s.audioStream = avformat_new_stream(s.format, nullptr);
        if (!s.audioStream) return AVERROR(ENOMEM);
        AVCodecParameters* par = s.audioStream->codecpar;
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = s.wave.wBitsPerSample == 16 ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_U8;
        par->codec_tag = WAVE_FORMAT_PCM;
        av_channel_layout_default(&par->ch_layout, s.wave.nChannels);
        par->sample_rate = int(s.wave.nSamplesPerSec);
        par->block_align = s.wave.nBlockAlign;
        par->bits_per_coded_sample = s.wave.wBitsPerSample;
        par->bit_rate = std::int64_t(s.wave.nSamplesPerSec) * s.wave.nBlockAlign * 8;
        s.audioStream->time_base = AVRational{1, int(s.wave.nSamplesPerSec)};
    }
    if (s.format->nb_streams == 0) return AVERROR(EINVAL);
    int result = avio_open(&s.format->pb, ("file:" + s.path).c_str(), AVIO_FLAG_WRITE);
    if (result < 0) return result;
    AVDictionary* options = nullptr;
    // Uncompressed frames go in as handed in, with the height's sign kept.
    if (s.raw && s.video.bottomUp) av_dict_set(&options, "flipped_raw_rgb", "1", 0);
    result = avformat_write_header(s.format, &options);
    av_dict_free(&options);
    if (result < 0) return result;
    s.started = true;
    return 0;
}

HRESULT FfmpegEncoder::writeFrame(std::int64_t index, const std::uint8_t* dib) {
    State& s = *state;
    if (!s.videoStream) return AVERROR(EINVAL);
    if (s.raw) return s.writeRaw(index, {dib, s.video.frameBytes});
    if (s.coders) {
        s.frameCopy.assign(dib, dib + s.video.frameBytes);
        return writeFrame(index, s.frameCopy);
    }
    int result = 0;
    AVFrame* frame = s.freeFrame(&result);
    if (!frame) return result;
    if (s.direct) {
        bgrrows::convert(bgrrows::Layout::Bgr0, dib, s.video.width, s.video.height, s.video.bottomUp, frame->data, frame->linesize);
    } else {
        // The DIB's first row is the bottom one when the height is positive:
        // start at the last row and walk backwards to hand the encoder an
        // upright picture.
        const int stride = s.video.width * 3;
        const std::uint8_t* source = dib;
        int sourceStride = stride;
        if (s.video.bottomUp) {
            source += std::size_t(s.video.height - 1) * stride;
            sourceStride = -stride;
        }
        sws_scale(s.scaler, &source, &sourceStride, 0, s.video.height, frame->data, frame->linesize);
    }
    frame->pts = index;
    return s.encode(frame);
}

HRESULT FfmpegEncoder::writeFrame(std::int64_t index, std::vector<std::uint8_t>& frame) {
    State& s = *state;
    if (!s.coders || frame.size() != s.video.frameBytes) return writeFrame(index, frame.data());
    if (const int result = s.writeCoded(false); result < 0) return result;
    if (!s.coders->submit(frame)) return AVERROR_BUG;
    s.coding.push_back(index);
    return 0;
}

HRESULT FfmpegEncoder::writeAudio(std::int64_t first, std::int64_t count, const std::uint8_t* samples) {
    State& s = *state;
    if (!s.audioStream) return AVERROR(EINVAL);
    const int blockAlign = s.wave.nBlockAlign;
    const AVRational timeBase = s.audioStream->time_base;
    // AVI keeps no timestamps for sound: a gap would make everything after
    // it play early, so it is filled with silence.
    if (const std::int64_t gap = first - s.nextSample; gap > 0) {
        int result = av_new_packet(s.packet, int(gap * blockAlign));
        if (result < 0) return result;
        std::memset(s.packet->data, 0, std::size_t(s.packet->size));
        s.packet->pts = s.packet->dts = s.nextSample;
        s.packet->duration = gap;
        s.packet->flags |= AV_PKT_FLAG_KEY;
        result = writePacket(s.format, s.packet, s.audioStream, timeBase);
        av_packet_unref(s.packet);
        if (result < 0) return result;
    }
    s.packet->data = const_cast<std::uint8_t*>(samples);
    s.packet->size = int(count * blockAlign);
    s.packet->pts = s.packet->dts = first;
    s.packet->duration = count;
    s.packet->flags |= AV_PKT_FLAG_KEY;
    const int result = writePacket(s.format, s.packet, s.audioStream, timeBase);
    av_packet_unref(s.packet);
    s.nextSample = first + count;
    return result;
}

HRESULT FfmpegEncoder::endVideo() {
    State& s = *state;
    if (s.videoEnded || !s.encoder || !s.started) return 0;
    s.videoEnded = true;
    if (s.coders) return s.writeCoded(true);
    return s.encode(nullptr);
}

HRESULT FfmpegEncoder::finish() {
    State& s = *state;
    if (!s.started) return 0;
    int result = endVideo();
    if (result == 0) result = av_write_trailer(s.format);
    if (s.format->pb) {
        avio_flush(s.format->pb);
        if (result == 0 && s.format->pb->error < 0) result = s.format->pb->error;
        if (avio_closep(&s.format->pb) < 0 && result == 0) result = AVERROR(EIO);
    }
    return result;
}
