#include "platform/vfw.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <SDL.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

static_assert(AVIERR_BADPARAM == AVERROR(EINVAL));

namespace {

constexpr vfw::CodecChoice kCodecs[] = {
    {"rawvideo", "Full Frames (Uncompressed)", mmioFOURCC('D', 'I', 'B', ' ')},
    {"utvideo", "Ut Video (fast lossless RGB)", mmioFOURCC('U', 'L', 'R', 'G')},
    {"ffv1", "FFV1 (small lossless, slow)", mmioFOURCC('F', 'F', 'V', '1')},
    {"huffyuv", "HuffYUV (lossless RGB)", mmioFOURCC('H', 'F', 'Y', 'U')},
    {"mjpeg", "Motion JPEG", mmioFOURCC('M', 'J', 'P', 'G')},
    {"libx264", "H.264 (x264, yuv420p)", mmioFOURCC('H', '2', '6', '4')},
};
constexpr int kCodecCount = int(sizeof(kCodecs) / sizeof(kCodecs[0]));
constexpr int kDefaultCodec = 1;  // Ut Video: lossless and the fastest to encode

// Frames waiting for the encoder: enough to smooth out uneven frame times,
// few enough to keep memory small.
constexpr std::size_t kMaxQueuedJobs = 6;

vfw::FailureHook& failureHook() {
    static vfw::FailureHook hook;
    return hook;
}

HRESULT injected(const char* call, FOURCC type) {
    return failureHook() ? failureHook()(call, type) : 0;
}

struct Job {
    IAVIStream* stream = nullptr;
    std::int64_t start = 0;
    std::int64_t count = 0;
    std::vector<std::uint8_t> data;
};

}  // namespace

struct IAVIStream {
    IAVIFile* file = nullptr;
    AVISTREAMINFOA info{};
    // What goes into the file's stream when it starts; a stream that never
    // got a format is left out. A compressed stream shares its source's.
    AVCodecParameters* parameters = avcodec_parameters_alloc();
    AVRational timeBase{1, 1};
    AVStream* st = nullptr;  // from the start of the file
    IAVIStream* source = nullptr;
    bool compressed = false;
    bool formatSet = false;
    bool flushed = false;  // the encoder has given up its held-back frames

    // Video through an encoder (compressed streams only).
    AVICOMPRESSOPTIONS options{};
    const vfw::CodecChoice* codec = nullptr;
    AVCodecContext* encoder = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    int width = 0;
    int height = 0;
    bool bottomUp = true;
    std::size_t frameBytes = 0;

    // Audio.
    int blockAlign = 0;
    std::int64_t nextSample = 0;      // the encoder thread's position
    std::int64_t acceptedSample = 0;  // the caller's position

    bool isAudio() const { return info.fccType == streamtypeAUDIO; }
    bool raw() const { return codec && std::strcmp(codec->name, "rawvideo") == 0; }

    ~IAVIStream() {
        avcodec_parameters_free(&parameters);
        avcodec_free_context(&encoder);
        sws_freeContext(scaler);
        av_frame_free(&frame);
    }
};

struct IAVIFile {
    std::string path;
    bool started = false;
    bool flipRaw = false;
    AVFormatContext* format = nullptr;
    std::vector<std::unique_ptr<IAVIStream>> streams;

    std::thread worker;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable drained;
    std::deque<Job> queue;
    std::vector<std::vector<std::uint8_t>> spare;
    bool busy = false;
    std::atomic<bool> stopping{false};  // also read by the worker between jobs
    // The first failure, with the type of the stream whose write failed (0:
    // completing the file), in one word so that the two are read together.
    std::atomic<std::uint64_t> failure{0};

    ~IAVIFile() {
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    void setError(int code, FOURCC stream) {
        std::uint64_t none = 0;
        failure.compare_exchange_strong(none, std::uint64_t(stream) << 32 | std::uint32_t(code));
    }
    int error() const { return int(std::uint32_t(failure.load())); }
    FOURCC failedStream() const { return FOURCC(failure.load() >> 32); }

    // The first failure if it was this stream's, else 0.
    int errorOf(const IAVIStream* s) const {
        return error() != 0 && failedStream() == s->info.fccType ? error() : 0;
    }

    int writePacket(AVPacket* packet, FOURCC stream) {
        int result = av_interleaved_write_frame(format, packet);
        if (result < 0) setError(result, stream);
        return result;
    }

    int encodeAndWrite(IAVIStream* s, AVFrame* input) {
        const FOURCC type = s->info.fccType;
        int result = avcodec_send_frame(s->encoder, input);
        if (result < 0) return setError(result, type), result;
        AVPacket* packet = av_packet_alloc();
        while ((result = avcodec_receive_packet(s->encoder, packet)) >= 0) {
            packet->stream_index = s->st->index;
            av_packet_rescale_ts(packet, s->encoder->time_base, s->st->time_base);
            if (writePacket(packet, type) < 0) break;
        }
        av_packet_free(&packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return 0;
        if (result < 0) setError(result, type);
        return result;
    }

    // The encoder's held-back frames, once, after the last frame.
    void flushEncoder(IAVIStream* s) {
        if (!s->encoder || s->flushed || error() != 0) return;
        s->flushed = true;
        encodeAndWrite(s, nullptr);
    }

    void writeVideo(IAVIStream* s, const Job& job) {
        if (s->raw()) {
            AVPacket* packet = av_packet_alloc();
            if (av_new_packet(packet, int(s->frameBytes)) < 0) {
                setError(AVERROR(ENOMEM), streamtypeVIDEO);
            } else {
                std::memcpy(packet->data, job.data.data(), s->frameBytes);
                packet->stream_index = s->st->index;
                packet->pts = packet->dts = job.start;
                packet->duration = 1;
                packet->flags |= AV_PKT_FLAG_KEY;
                av_packet_rescale_ts(packet, AVRational{LONG(s->info.dwScale), LONG(s->info.dwRate)},
                                     s->st->time_base);
                writePacket(packet, streamtypeVIDEO);
            }
            av_packet_free(&packet);
            return;
        }
        // The DIB's first row is the bottom one when the height is positive:
        // start at the last row and walk backwards to hand the encoder an
        // upright picture.
        const int stride = s->width * 3;
        const std::uint8_t* source = job.data.data();
        int sourceStride = stride;
        if (s->bottomUp) {
            source += std::size_t(s->height - 1) * stride;
            sourceStride = -stride;
        }
        int result = av_frame_make_writable(s->frame);
        if (result < 0) return setError(result, streamtypeVIDEO);
        sws_scale(s->scaler, &source, &sourceStride, 0, s->height, s->frame->data, s->frame->linesize);
        s->frame->pts = job.start;
        encodeAndWrite(s, s->frame);
    }

    void writeAudio(IAVIStream* s, const Job& job) {
        // AVI keeps no timestamps for sound: a gap would make everything
        // after it play early, so it is filled with silence.
        std::int64_t gap = job.start - s->nextSample;
        if (gap > 0) {
            AVPacket* silence = av_packet_alloc();
            if (av_new_packet(silence, int(gap * s->blockAlign)) < 0) {
                av_packet_free(&silence);
                return setError(AVERROR(ENOMEM), streamtypeAUDIO);
            }
            std::memset(silence->data, 0, std::size_t(silence->size));
            silence->stream_index = s->st->index;
            silence->pts = silence->dts = s->nextSample;
            silence->duration = gap;
            silence->flags |= AV_PKT_FLAG_KEY;
            int result = writePacket(silence, streamtypeAUDIO);
            av_packet_free(&silence);
            if (result < 0) return;
        }
        AVPacket* packet = av_packet_alloc();
        if (av_new_packet(packet, int(job.data.size())) < 0) {
            av_packet_free(&packet);
            return setError(AVERROR(ENOMEM), streamtypeAUDIO);
        }
        std::memcpy(packet->data, job.data.data(), job.data.size());
        packet->stream_index = s->st->index;
        packet->pts = packet->dts = job.start;
        packet->duration = job.count;
        packet->flags |= AV_PKT_FLAG_KEY;
        writePacket(packet, streamtypeAUDIO);
        av_packet_free(&packet);
        s->nextSample = job.start + job.count;
    }

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return stopping || !queue.empty(); });
            if (queue.empty()) break;
            Job job = std::move(queue.front());
            queue.pop_front();
            busy = true;
            drained.notify_all();  // a slot is free
            lock.unlock();
            if (error() == 0 && !stopping) {
                if (job.stream->isAudio())
                    writeAudio(job.stream, job);
                else
                    writeVideo(job.stream, job);
            }
            lock.lock();
            busy = false;
            if (spare.size() < kMaxQueuedJobs + 2) spare.push_back(std::move(job.data));
            drained.notify_all();
        }
    }

    void enqueue(IAVIStream* s, std::int64_t start, std::int64_t count, const void* data, std::size_t bytes) {
        std::unique_lock<std::mutex> lock(mutex);
        drained.wait(lock, [&] { return queue.size() < kMaxQueuedJobs; });
        Job job;
        job.stream = s;
        job.start = start;
        job.count = count;
        if (!spare.empty()) {
            job.data = std::move(spare.back());
            spare.pop_back();
        }
        job.data.assign(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + bytes);
        queue.push_back(std::move(job));
        wake.notify_one();
    }

    void waitUntilDrained() {
        std::unique_lock<std::mutex> lock(mutex);
        drained.wait(lock, [&] { return queue.empty() && !busy; });
    }

    void stopWorker(bool discard) {
        if (!worker.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (discard) queue.clear();
            stopping = discard;
        }
        if (!discard) waitUntilDrained();
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        worker.join();
    }

    // Empties the file and writes the AVI header; from here on the streams
    // are fixed.
    int start() {
        if (started) return 0;
        int result = 0;
        for (auto& s : streams) {
            if (s->compressed || s->parameters->codec_type == AVMEDIA_TYPE_UNKNOWN) continue;
            s->st = avformat_new_stream(format, nullptr);
            if (!s->st) return AVERROR(ENOMEM);
            if ((result = avcodec_parameters_copy(s->st->codecpar, s->parameters)) < 0) return result;
            s->st->time_base = s->timeBase;
            if (!s->isAudio()) s->st->avg_frame_rate = AVRational{LONG(s->info.dwRate), LONG(s->info.dwScale)};
        }
        for (auto& s : streams)
            if (s->compressed) s->st = s->source->st;
        if (format->nb_streams == 0) return AVERROR(EINVAL);
        result = avio_open(&format->pb, ("file:" + path).c_str(), AVIO_FLAG_WRITE);
        if (result < 0) return result;
        AVDictionary* options = nullptr;
        if (flipRaw) av_dict_set(&options, "flipped_raw_rgb", "1", 0);
        result = avformat_write_header(format, &options);
        av_dict_free(&options);
        if (result < 0) return result;
        started = true;
        worker = std::thread([this] { run(); });
        return 0;
    }

    // Drains the encoders and writes the index. Returns the first error.
    int finish() {
        stopWorker(false);
        if (!started) return error();
        for (auto& s : streams) flushEncoder(s.get());
        if (error() == 0) {
            int result = av_write_trailer(format);
            if (result < 0) setError(result, 0);
        }
        if (format->pb) {
            avio_flush(format->pb);
            if (format->pb->error < 0) setError(format->pb->error, 0);
            if (avio_closep(&format->pb) < 0) setError(AVERROR(EIO), 0);
        }
        return error();
    }
};

namespace {

int libraryUsers = 0;

std::mutex& liveFilesMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::set<IAVIFile*>& liveFiles() {
    static auto* files = new std::set<IAVIFile*>;
    return *files;
}

// At process exit (a fatal error ends the process without releasing the
// file): stop the encoder threads before the process goes.
void cleanUpAtExit() {
    std::lock_guard<std::mutex> lock(liveFilesMutex());
    for (IAVIFile* file : liveFiles()) file->stopWorker(true);
    liveFiles().clear();
}

DWORD environmentNumber(const char* name, DWORD fallback) {
    const char* value = std::getenv(name);
    if (!value || !*value) return fallback;
    char* end = nullptr;
    long number = std::strtol(value, &end, 10);
    if (*end || number < 0) {
        std::fprintf(stderr, "%s=%s is not a number; ignored\n", name, value);
        return fallback;
    }
    return DWORD(number);
}

int askWithMessageBox() {
    SDL_MessageBoxButtonData buttons[kCodecCount + 1];
    static const char* const shortLabels[kCodecCount] = {"Uncompressed", "Ut Video", "FFV1",
                                                         "HuffYUV",      "MJPEG",    "H.264"};
    for (int i = 0; i < kCodecCount; ++i)
        buttons[i] = {i == kDefaultCodec ? Uint32(SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT) : 0u, i, shortLabels[i]};
    buttons[kCodecCount] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, -2, "Cancel"};
    std::string text = "Compress the video with:\n";
    for (const auto& c : kCodecs) text += std::string("\n  ") + c.label;
    SDL_MessageBoxData data{};
    data.flags = SDL_MESSAGEBOX_INFORMATION;
    data.title = "Video Compression";
    data.message = text.c_str();
    data.numbuttons = kCodecCount + 1;
    data.buttons = buttons;
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) return -1;
    return pressed < 0 ? -2 : pressed;  // closing the box cancels
}

int askOnTerminal() {
    std::fprintf(stderr, "Video compression:\n");
    for (int i = 0; i < kCodecCount; ++i) std::fprintf(stderr, "  %d) %s\n", i + 1, kCodecs[i].label);
    std::fprintf(stderr, "  0) Cancel\n");
    for (;;) {
        std::fprintf(stderr, "Choice [%d]: ", kDefaultCodec + 1);
        std::fflush(stderr);
        char line[64];
        if (!std::fgets(line, sizeof line, stdin)) return -2;
        if (line[0] == '\n') return kDefaultCodec;
        char* end = nullptr;
        long choice = std::strtol(line, &end, 10);
        if (end != line && (*end == '\n' || *end == 0) && choice >= 0 && choice <= kCodecCount)
            return choice == 0 ? -2 : int(choice - 1);
    }
}

// The index of the chosen codec, or -2 when the user cancelled.
int chooseCodec() {
    if (const char* name = std::getenv("QVO_CODEC"); name && *name) {
        if (std::strcmp(name, "cancel") == 0) return -2;
        if (const vfw::CodecChoice* c = vfw::findCodec(std::string(name))) return int(c - kCodecs);
        std::string known;
        for (const auto& c : kCodecs) known += std::string(" ") + c.name;
        std::fprintf(stderr, "QVO_CODEC=%s is not a codec offered here (one of:%s, or cancel)\n", name,
                     known.c_str());
        return -2;
    }
    if (win32::displayAvailable()) {
        int choice = askWithMessageBox();
        if (choice != -1) return choice;
    }
    if (::isatty(0)) return askOnTerminal();
    std::fprintf(stderr, "Video compression: %s (set QVO_CODEC to choose)\n", kCodecs[kDefaultCodec].label);
    return kDefaultCodec;
}

// Opens the encoder for a compressed stream, from the codec and the
// options the dialog filled in.
int openEncoder(IAVIStream* s) {
    const AVCodec* codec = avcodec_find_encoder_by_name(s->codec->name);
    if (!codec) return AVERROR_ENCODER_NOT_FOUND;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) return AVERROR(ENOMEM);
    s->encoder = ctx;
    ctx->width = s->width;
    ctx->height = s->height;
    ctx->time_base = AVRational{LONG(s->info.dwScale), LONG(s->info.dwRate)};
    ctx->framerate = AVRational{LONG(s->info.dwRate), LONG(s->info.dwScale)};
    ctx->thread_count = int(environmentNumber("QVO_ENCODER_THREADS", 0));

    const AVICOMPRESSOPTIONS& o = s->options;
    const bool quality = o.dwQuality != ICQUALITY_DEFAULT && o.dwQuality <= ICQUALITY_HIGH;
    const bool dataRate = (o.dwFlags & AVICOMPRESSF_DATARATE) && o.dwBytesPerSecond > 0;
    if ((o.dwFlags & AVICOMPRESSF_KEYFRAMES) && o.dwKeyFrameEvery > 0) ctx->gop_size = int(o.dwKeyFrameEvery);

    const std::string name = s->codec->name;
    if (name == "utvideo") {
        ctx->pix_fmt = AV_PIX_FMT_GBRP;
    } else if (name == "ffv1") {
        ctx->pix_fmt = AV_PIX_FMT_0RGB32;  // bgr0 in memory
        ctx->level = 3;                    // slices, so it can use both cores
        av_opt_set_int(ctx->priv_data, "slices", 4, 0);
    } else if (name == "huffyuv") {
        ctx->pix_fmt = AV_PIX_FMT_RGB24;
    } else if (name == "mjpeg") {
        // Full-range 4:2:0 as JPEG wants it; plain yuv420p with the range
        // set converts five times faster than the old "yuvj" format.
        ctx->pix_fmt = AV_PIX_FMT_YUV420P;
        ctx->color_range = AVCOL_RANGE_JPEG;
        if (dataRate) {
            ctx->bit_rate = std::int64_t(o.dwBytesPerSecond) * 8;
        } else {
            // 0..10000 onto JPEG's q 31..2; the default is a good-looking 3.
            int q = quality ? 31 - int(o.dwQuality * 29 / ICQUALITY_HIGH) : 3;
            ctx->flags |= AV_CODEC_FLAG_QSCALE;
            ctx->global_quality = FF_QP2LAMBDA * q;
        }
    } else if (name == "libx264") {
        ctx->pix_fmt = AV_PIX_FMT_YUV420P;
        av_opt_set(ctx->priv_data, "preset", "veryfast", 0);
        ctx->max_b_frames = 0;  // AVI has no reordering: B-frames confuse players
        if (dataRate) {
            ctx->bit_rate = std::int64_t(o.dwBytesPerSecond) * 8;
        } else {
            // 0..10000 onto CRF 51..0; the default, 18, is visually lossless.
            int crf = quality ? 51 - int(o.dwQuality * 51 / ICQUALITY_HIGH) : 18;
            av_opt_set_int(ctx->priv_data, "crf", crf, 0);
        }
    }
    if (s->file->format->oformat->flags & AVFMT_GLOBALHEADER) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(ctx, codec, nullptr);
    if (result < 0) return result;
    result = avcodec_parameters_from_context(s->source->parameters, ctx);
    if (result < 0) return result;
    s->source->timeBase = ctx->time_base;

    s->frame = av_frame_alloc();
    if (!s->frame) return AVERROR(ENOMEM);
    s->frame->format = ctx->pix_fmt;
    s->frame->width = s->width;
    s->frame->height = s->height;
    result = av_frame_get_buffer(s->frame, 0);
    if (result < 0) return result;
    // The ranges must be set before the context is initialised to count.
    s->scaler = sws_alloc_context();
    if (!s->scaler) return AVERROR(ENOMEM);
    av_opt_set_int(s->scaler, "srcw", s->width, 0);
    av_opt_set_int(s->scaler, "srch", s->height, 0);
    av_opt_set_int(s->scaler, "src_format", AV_PIX_FMT_BGR24, 0);
    av_opt_set_int(s->scaler, "dstw", s->width, 0);
    av_opt_set_int(s->scaler, "dsth", s->height, 0);
    av_opt_set_int(s->scaler, "dst_format", ctx->pix_fmt, 0);
    av_opt_set_int(s->scaler, "sws_flags", SWS_BICUBIC, 0);
    av_opt_set_int(s->scaler, "src_range", 1, 0);
    av_opt_set_int(s->scaler, "dst_range", ctx->color_range == AVCOL_RANGE_JPEG ? 1 : 0, 0);
    result = sws_init_context(s->scaler, nullptr, nullptr);
    if (result < 0) return result;
    return 0;
}

HRESULT setVideoFormat(IAVIStream* s, const void* format, LONG size) {
    if (size < LONG(sizeof(BITMAPINFOHEADER))) return AVERROR(EINVAL);
    BITMAPINFOHEADER header;
    std::memcpy(&header, format, sizeof header);
    if (header.biBitCount != 24 || header.biCompression != BI_RGB || header.biWidth <= 0 || header.biHeight == 0 ||
        header.biWidth > 16384 || header.biHeight > 16384 || header.biHeight < -16384)
        return AVERROR(EINVAL);
    s->width = header.biWidth;
    s->height = header.biHeight > 0 ? header.biHeight : -header.biHeight;
    s->bottomUp = header.biHeight > 0;
    // DIB rows are padded to four bytes.
    s->frameBytes = std::size_t((s->width * 3 + 3) & ~3) * std::size_t(s->height);
    if (s->raw()) {
        AVCodecParameters* par = s->source->parameters;
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_RAWVIDEO;
        par->codec_tag = 0;
        par->format = AV_PIX_FMT_BGR24;
        par->width = s->width;
        par->height = s->height;
        par->bits_per_coded_sample = 24;
        s->source->timeBase = AVRational{LONG(s->info.dwScale), LONG(s->info.dwRate)};
        s->file->flipRaw = s->bottomUp;  // stored as given, with the height's sign kept
        return 0;
    }
    if (s->width * 3 % 4 != 0) return AVERROR(EINVAL);  // padded rows are not supported by the encoders' path
    return openEncoder(s);
}

HRESULT setAudioFormat(IAVIStream* s, const void* format, LONG size) {
    if (size < 16) return AVERROR(EINVAL);
    WAVEFORMATEX wave{};
    std::memcpy(&wave, format, std::size_t(size) < sizeof wave ? std::size_t(size) : sizeof wave);
    if (wave.wFormatTag != WAVE_FORMAT_PCM || wave.nChannels < 1 || wave.nChannels > 8 ||
        (wave.wBitsPerSample != 8 && wave.wBitsPerSample != 16) || wave.nSamplesPerSec == 0 ||
        wave.nBlockAlign != wave.nChannels * wave.wBitsPerSample / 8)
        return AVERROR(EINVAL);
    AVCodecParameters* par = s->parameters;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = wave.wBitsPerSample == 16 ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_U8;
    par->codec_tag = WAVE_FORMAT_PCM;
    av_channel_layout_default(&par->ch_layout, wave.nChannels);
    par->sample_rate = int(wave.nSamplesPerSec);
    par->block_align = wave.nBlockAlign;
    par->bits_per_coded_sample = wave.wBitsPerSample;
    par->bit_rate = std::int64_t(wave.nSamplesPerSec) * wave.nBlockAlign * 8;
    s->timeBase = AVRational{1, int(wave.nSamplesPerSec)};
    s->blockAlign = wave.nBlockAlign;
    return 0;
}

}  // namespace

void AVIFileInit() {
    if (libraryUsers++ > 0) return;
    static bool once = false;
    if (!once) {
        once = true;
        std::atexit(cleanUpAtExit);
        // A file-size limit should end in a write error, not kill the process.
        std::signal(SIGXFSZ, SIG_IGN);
        av_log_set_level(AV_LOG_ERROR);
    }
}

void AVIFileExit() {
    if (libraryUsers > 0) --libraryUsers;
}

HRESULT AVIFileOpenA(PAVIFILE* file, LPCSTR name, UINT mode, const void*) {
    if (!file) return AVERROR(EINVAL);
    *file = nullptr;
    if (!name || !*name || (mode & (OF_WRITE | OF_CREATE)) != (OF_WRITE | OF_CREATE)) return AVERROR(EINVAL);
    if (HRESULT hooked = injected("AVIFileOpenA", 0)) return hooked;
    // Check now that the file can be written, without emptying it yet; a
    // file made only for the check goes again at once, so an interrupted
    // or cancelled run leaves nothing behind.
    bool existed = ::access(name, F_OK) == 0;
    int fd = ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return AVERROR(errno);
    ::close(fd);
    if (!existed) ::unlink(name);
    auto created = std::make_unique<IAVIFile>();
    created->path = name;
    int result = avformat_alloc_output_context2(&created->format, nullptr, "avi", name);
    if (result < 0 || !created->format) return result < 0 ? result : AVERROR(ENOMEM);
    *file = created.release();
    std::lock_guard<std::mutex> lock(liveFilesMutex());
    liveFiles().insert(*file);
    return AVIERR_OK;
}

HRESULT AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFOA* info) {
    if (!stream) return AVERROR(EINVAL);
    *stream = nullptr;
    if (!file || !info || file->started) return AVERROR(EINVAL);
    if (info->fccType != streamtypeVIDEO && info->fccType != streamtypeAUDIO) return AVERROR(EINVAL);
    if (info->fccType == streamtypeVIDEO && (info->dwRate == 0 || info->dwScale == 0)) return AVERROR(EINVAL);
    if (HRESULT hooked = injected("AVIFileCreateStreamA", info->fccType)) return hooked;
    auto s = std::make_unique<IAVIStream>();
    s->file = file;
    s->info = *info;
    if (!s->parameters) return AVERROR(ENOMEM);
    if (info->fccType == streamtypeVIDEO) s->timeBase = AVRational{LONG(info->dwScale), LONG(info->dwRate)};
    *stream = s.get();
    file->streams.push_back(std::move(s));
    return AVIERR_OK;
}

int AVISaveOptions(HWND, UINT flags, int streamCount, PAVISTREAM* streams, LPAVICOMPRESSOPTIONS* options) {
    if (streamCount < 1 || !streams || !options) return 0;
    int choice = chooseCodec();
    if (choice < 0) return 0;
    for (int i = 0; i < streamCount; ++i) {
        AVICOMPRESSOPTIONS* o = options[i];
        if (!o) continue;
        *o = AVICOMPRESSOPTIONS{};
        o->fccType = streamtypeVIDEO;
        o->fccHandler = kCodecs[choice].handler;
        o->dwFlags = AVICOMPRESSF_VALID;
        DWORD quality = environmentNumber("QVO_QUALITY", DWORD(-1));
        o->dwQuality = quality <= 100 ? quality * 100 : ICQUALITY_DEFAULT;
        if (flags & ICMF_CHOOSE_KEYFRAME) {
            o->dwKeyFrameEvery = environmentNumber("QVO_KEYFRAMES", 0);
            if (o->dwKeyFrameEvery) o->dwFlags |= AVICOMPRESSF_KEYFRAMES;
        }
        if (flags & ICMF_CHOOSE_DATARATE) {
            o->dwBytesPerSecond = environmentNumber("QVO_DATARATE", 0) * 1000 / 8;
            if (o->dwBytesPerSecond) o->dwFlags |= AVICOMPRESSF_DATARATE;
        }
    }
    return 1;
}

HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, const AVICOMPRESSOPTIONS* options,
                                const void*) {
    if (!compressed) return AVERROR(EINVAL);
    *compressed = nullptr;
    if (!source || !options || source->compressed || source->isAudio() || source->file->started)
        return AVERROR(EINVAL);
    if (HRESULT hooked = injected("AVIMakeCompressedStream", source->info.fccType)) return hooked;
    const vfw::CodecChoice* codec = vfw::findCodec(options->fccHandler);
    if (!codec) return AVERROR_ENCODER_NOT_FOUND;
    if (std::strcmp(codec->name, "rawvideo") != 0 && !avcodec_find_encoder_by_name(codec->name))
        return AVERROR_ENCODER_NOT_FOUND;
    auto s = std::make_unique<IAVIStream>();
    s->file = source->file;
    s->info = source->info;
    s->source = source;
    s->compressed = true;
    s->options = *options;
    s->codec = codec;
    *compressed = s.get();
    source->file->streams.push_back(std::move(s));
    return AVIERR_OK;
}

HRESULT AVIStreamSetFormat(PAVISTREAM stream, LONG position, const void* format, LONG formatSize) {
    if (!stream || !format || position != 0 || stream->file->started || stream->formatSet) return AVERROR(EINVAL);
    if (!stream->compressed && !stream->isAudio()) return AVERROR(EINVAL);  // frames go through the compressor
    if (stream->compressed && stream->source->parameters->codec_type != AVMEDIA_TYPE_UNKNOWN)
        return AVERROR(EINVAL);  // one compressor per stream
    if (HRESULT hooked = injected("AVIStreamSetFormat", stream->info.fccType)) return hooked;
    HRESULT result = stream->isAudio() ? setAudioFormat(stream, format, formatSize)
                                       : setVideoFormat(stream, format, formatSize);
    if (result == 0) stream->formatSet = true;
    return result;
}

HRESULT AVIStreamWrite(PAVISTREAM stream, LONG start, LONG count, const void* data, LONG bytes, DWORD,
                       LONG* samplesWritten, LONG* bytesWritten) {
    if (samplesWritten) *samplesWritten = 0;
    if (bytesWritten) *bytesWritten = 0;
    if (!stream || !data || start < 0 || count < 0 || bytes < 0 || !stream->formatSet) return AVERROR(EINVAL);
    IAVIFile* file = stream->file;
    // After a failure nothing more is written. The failure is told to the
    // stream whose write failed, so that its caller names the right write;
    // another stream's writes are dropped quietly meanwhile.
    if (file->error() != 0) return file->errorOf(stream);
    if (HRESULT hooked = injected("AVIStreamWrite", stream->info.fccType)) return hooked;
    std::size_t needed = stream->isAudio() ? std::size_t(count) * std::size_t(stream->blockAlign)
                                           : stream->frameBytes * std::size_t(count);
    if (std::size_t(bytes) < needed) return AVERROR(EINVAL);
    if (stream->isAudio() && start < stream->acceptedSample) return AVERROR(EINVAL);  // sound only goes forward
    if (HRESULT result = file->start()) return result;
    if (count == 0) return file->errorOf(stream);
    if (stream->isAudio()) {
        stream->acceptedSample = start + count;
        file->enqueue(stream, start, count, data, needed);
    } else {
        const auto* frames = static_cast<const std::uint8_t*>(data);
        for (LONG i = 0; i < count; ++i)
            file->enqueue(stream, start + i, 1, frames + std::size_t(i) * stream->frameBytes, stream->frameBytes);
    }
    if (samplesWritten) *samplesWritten = count;
    if (bytesWritten) *bytesWritten = LONG(needed);
    return file->errorOf(stream);
}

DWORD AVIStreamRelease(PAVISTREAM) {
    // Streams belong to their file and go with it.
    return 0;
}

DWORD AVIFileRelease(PAVIFILE file) {
    if (!file) return 0;
    {
        std::lock_guard<std::mutex> lock(liveFilesMutex());
        liveFiles().erase(file);
    }
    int result = 0;
    if (!file->started && !file->streams.empty()) result = file->start();
    if (result == 0) result = file->finish();
    delete file;
    return DWORD(result);
}

DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, LPSTR buffer, DWORD size, void*) {
    if (!buffer) return 0;
    const int code = int(messageId);
    std::string text;
    if (code < 0) {
        if (const char* known = strerrordesc_np(-code)) {
            text = known;
        } else {
            char message[AV_ERROR_MAX_STRING_SIZE] = {};
            if (av_strerror(code, message, sizeof message) == 0 && std::strncmp(message, "Error number", 12) != 0)
                text = message;
        }
    } else if (const char* known = strerrordesc_np(code); known && code != 0) {
        text = known;
    }
    if (text.empty()) return 0;
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        char* copy = static_cast<char*>(std::malloc(text.size() + 1));
        if (!copy) return 0;
        std::memcpy(copy, text.c_str(), text.size() + 1);
        *reinterpret_cast<char**>(buffer) = copy;
        return DWORD(text.size());
    }
    if (size == 0) return 0;
    std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return DWORD(n);
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

namespace vfw {

const CodecChoice* codecChoices(int* count) {
    if (count) *count = kCodecCount;
    return kCodecs;
}

const CodecChoice* findCodec(const std::string& name) {
    for (const auto& c : kCodecs)
        if (name == c.name) return &c;
    return nullptr;
}

const CodecChoice* findCodec(FOURCC handler) {
    for (const auto& c : kCodecs)
        if (handler == c.handler) return &c;
    return nullptr;
}

void setFailureHook(FailureHook hook) { failureHook() = std::move(hook); }

HRESULT finishStream(PAVISTREAM stream) {
    if (!stream) return AVIERR_BADPARAM;
    IAVIFile* file = stream->file;
    if (!file->started) return 0;
    file->waitUntilDrained();
    if (stream->compressed) file->flushEncoder(stream);
    return file->errorOf(stream);
}

}  // namespace vfw
