// The Video for Windows file and stream calls: they check what they are given
// as Video for Windows would, and hand formats, frames and sound to the
// file's encoder, which runs on a thread of its own.
#include "platform/vfw.h"

#include <cstdint>

#include "platform/ffmpeg/ffmpegencoder.h"
#include "platform/ffmpeg/threadedencoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

struct IAVIStream {
    IAVIFile* file = nullptr;
    AVISTREAMINFOA info{};
    IAVIStream* source = nullptr;  // a compressed stream's
    bool compressed = false;
    bool formatSet = false;
    AVICOMPRESSOPTIONS options{};
    const vfw::CodecChoice* codec = nullptr;
    std::size_t frameBytes = 0;
    int blockAlign = 0;
    std::int64_t nextSample = 0;  // sound only goes forward

    bool isAudio() const { return info.fccType == streamtypeAUDIO; }
    AviStep step() const { return isAudio() ? AviStep::Audio : AviStep::Video; }
};

struct IAVIFile {
    std::string path;
    ThreadedEncoder encoder;
    std::vector<std::unique_ptr<IAVIStream>> streams;
    bool started = false;
    bool videoEnded = false;

    IAVIFile(std::string path, std::unique_ptr<AviEncoder> inner) : path(std::move(path)), encoder(std::move(inner)) {}

    // The first failure if it was this stream's writes' (or the file's
    // header's), else 0: the caller of that stream names the right write.
    HRESULT failureOf(const IAVIStream* s) const {
        const AviStep step = encoder.failedStep();
        return step == s->step() || step == AviStep::None ? encoder.failure() : 0;
    }
};

namespace {


vfw::EncoderFactory& encoderFactory() {
    static vfw::EncoderFactory factory;
    return factory;
}

vfw::FailureHook& failureHook() {
    static vfw::FailureHook hook;
    return hook;
}

HRESULT injected(const char* call, FOURCC type) { return failureHook() ? failureHook()(call, type) : 0; }

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
    for (IAVIFile* file : liveFiles()) file->encoder.abandon();
    liveFiles().clear();
}

HRESULT setVideoFormat(IAVIStream* s, const void* format, LONG size) {
    if (size < LONG(sizeof(BITMAPINFOHEADER))) return AVIERR_BADPARAM;
    BITMAPINFOHEADER header;
    std::memcpy(&header, format, sizeof header);
    if (header.biBitCount != 24 || header.biCompression != BI_RGB || header.biWidth <= 0 || header.biHeight == 0 ||
        header.biWidth > 16384 || header.biHeight > 16384 || header.biHeight < -16384)
        return AVIERR_BADPARAM;
    AviVideoFormat video;
    video.width = header.biWidth;
    video.height = header.biHeight > 0 ? header.biHeight : -header.biHeight;
    video.bottomUp = header.biHeight > 0;
    // DIB rows are padded to four bytes.
    video.frameBytes = std::size_t((video.width * 3 + 3) & ~3) * std::size_t(video.height);
    video.rate = s->info.dwRate;
    video.scale = s->info.dwScale;
    video.codec = s->codec;
    video.options = s->options;
    s->frameBytes = video.frameBytes;
    return s->file->encoder.setVideo(video);
}

HRESULT setAudioFormat(IAVIStream* s, const void* format, LONG size) {
    if (size < 16) return AVIERR_BADPARAM;
    WAVEFORMATEX wave{};
    std::memcpy(&wave, format, std::size_t(size) < sizeof wave ? std::size_t(size) : sizeof wave);
    if (wave.wFormatTag != WAVE_FORMAT_PCM || wave.nChannels < 1 || wave.nChannels > 8 ||
        (wave.wBitsPerSample != 8 && wave.wBitsPerSample != 16) || wave.nSamplesPerSec == 0 ||
        wave.nBlockAlign != wave.nChannels * wave.wBitsPerSample / 8)
        return AVIERR_BADPARAM;
    s->blockAlign = wave.nBlockAlign;
    return s->file->encoder.setAudio(wave);
}

// Creates the file and writes its header; from here on the streams are fixed.
HRESULT startFile(IAVIFile* file) {
    if (file->started) return 0;
    bool anyFormat = false;
    for (auto& s : file->streams) anyFormat = anyFormat || s->formatSet;
    if (!anyFormat) return AVIERR_BADPARAM;
    if (HRESULT result = file->encoder.start()) return result;
    file->started = true;
    return 0;
}

}  // namespace

// The writer counts its users of the library (source/videostream.cpp); here
// there is only what to set up once per process.
void AVIFileInit() {
    static bool once = false;
    if (!once) {
        once = true;
        std::atexit(cleanUpAtExit);
        // A file-size limit should end in a write error, not kill the process.
        std::signal(SIGXFSZ, SIG_IGN);
    }
}

void AVIFileExit() {}

HRESULT AVIFileOpenA(PAVIFILE* file, LPCSTR name, UINT mode, const void*) {
    if (!file) return AVIERR_BADPARAM;
    *file = nullptr;
    if (!name || !*name || (mode & (OF_WRITE | OF_CREATE)) != (OF_WRITE | OF_CREATE)) return AVIERR_BADPARAM;
    if (HRESULT hooked = injected("AVIFileOpenA", 0)) return hooked;
    // Check now that the file can be written, without emptying it yet; a
    // file made only for the check goes again at once, so an interrupted
    // or cancelled run leaves nothing behind.
    bool existed = ::access(name, F_OK) == 0;
    int fd = ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -errno;
    ::close(fd);
    if (!existed) ::unlink(name);
    std::unique_ptr<AviEncoder> inner =
        encoderFactory() ? encoderFactory()(name) : std::make_unique<FfmpegEncoder>(name);
    if (!inner) return -ENOMEM;
    *file = new IAVIFile(name, std::move(inner));
    std::lock_guard<std::mutex> lock(liveFilesMutex());
    liveFiles().insert(*file);
    return AVIERR_OK;
}

HRESULT AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFOA* info) {
    if (!stream) return AVIERR_BADPARAM;
    *stream = nullptr;
    if (!file || !info || file->started) return AVIERR_BADPARAM;
    if (info->fccType != streamtypeVIDEO && info->fccType != streamtypeAUDIO) return AVIERR_BADPARAM;
    if (info->fccType == streamtypeVIDEO && (info->dwRate == 0 || info->dwScale == 0)) return AVIERR_BADPARAM;
    for (auto& s : file->streams)
        if (s->info.fccType == info->fccType) return AVIERR_BADPARAM;  // one of each
    if (HRESULT hooked = injected("AVIFileCreateStreamA", info->fccType)) return hooked;
    auto s = std::make_unique<IAVIStream>();
    s->file = file;
    s->info = *info;
    *stream = s.get();
    file->streams.push_back(std::move(s));
    return AVIERR_OK;
}

HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, const AVICOMPRESSOPTIONS* options,
                                const void*) {
    if (!compressed) return AVIERR_BADPARAM;
    *compressed = nullptr;
    if (!source || !options || source->compressed || source->isAudio() || source->file->started)
        return AVIERR_BADPARAM;
    if (HRESULT hooked = injected("AVIMakeCompressedStream", source->info.fccType)) return hooked;
    const vfw::CodecChoice* codec = vfw::findCodec(options->fccHandler);
    if (!codec) return AVIERR_BADPARAM;
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
    if (!stream || !format || position != 0 || stream->file->started || stream->formatSet) return AVIERR_BADPARAM;
    if (!stream->compressed && !stream->isAudio()) return AVIERR_BADPARAM;  // frames go through the compressor
    if (stream->compressed && stream->source->formatSet) return AVIERR_BADPARAM;  // one compressor per stream
    if (HRESULT hooked = injected("AVIStreamSetFormat", stream->info.fccType)) return hooked;
    HRESULT result = stream->isAudio() ? setAudioFormat(stream, format, formatSize)
                                       : setVideoFormat(stream, format, formatSize);
    if (result == 0) {
        stream->formatSet = true;
        if (stream->source) stream->source->formatSet = true;
    }
    return result;
}

HRESULT AVIStreamWrite(PAVISTREAM stream, LONG start, LONG count, const void* data, LONG bytes, DWORD,
                       LONG* samplesWritten, LONG* bytesWritten) {
    if (samplesWritten) *samplesWritten = 0;
    if (bytesWritten) *bytesWritten = 0;
    if (!stream || !data || start < 0 || count < 0 || bytes < 0 || !stream->formatSet) return AVIERR_BADPARAM;
    if (!stream->compressed && !stream->isAudio()) return AVIERR_BADPARAM;
    IAVIFile* file = stream->file;
    // After a failure nothing more is written. The failure is told to the
    // stream whose write failed, so that its caller names the right write;
    // the other stream's writes are dropped quietly meanwhile.
    if (file->encoder.failure() != 0) return file->failureOf(stream);
    if (HRESULT hooked = injected("AVIStreamWrite", stream->info.fccType)) return hooked;
    const std::size_t needed = stream->isAudio() ? std::size_t(count) * std::size_t(stream->blockAlign)
                                                 : stream->frameBytes * std::size_t(count);
    if (std::size_t(bytes) < needed) return AVIERR_BADPARAM;
    if (stream->isAudio() && start < stream->nextSample) return AVIERR_BADPARAM;
    if (!stream->isAudio() && file->videoEnded) return AVIERR_BADPARAM;
    if (HRESULT result = startFile(file)) return result;
    const auto* bytesIn = static_cast<const std::uint8_t*>(data);
    if (stream->isAudio()) {
        if (count > 0) file->encoder.writeAudio(start, count, bytesIn);
        stream->nextSample = start + count;
    } else {
        for (LONG i = 0; i < count; ++i) file->encoder.writeFrame(start + i, bytesIn + std::size_t(i) * stream->frameBytes);
    }
    if (samplesWritten) *samplesWritten = count;
    if (bytesWritten) *bytesWritten = LONG(needed);
    return file->failureOf(stream);
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
    // A file nothing was written to is still made, with its streams and no
    // frames.
    HRESULT result = file->encoder.failure();
    if (result == 0 && !file->started && !file->streams.empty()) result = startFile(file);
    if (result == 0) result = file->encoder.finish();
    delete file;
    return DWORD(result);
}

namespace vfw {

HRESULT finishStream(PAVISTREAM stream) {
    if (!stream) return AVIERR_BADPARAM;
    IAVIFile* file = stream->file;
    if (!file->started) return 0;
    if (stream->compressed && !file->videoEnded) {
        file->videoEnded = true;
        file->encoder.endVideo();
    } else {
        file->encoder.drain();
    }
    return file->failureOf(stream);
}

void setEncoderFactory(EncoderFactory factory) { encoderFactory() = std::move(factory); }

void setFailureHook(FailureHook hook) { failureHook() = std::move(hook); }

// OpenDML past 1 GiB: the muxer's own limits are far off.
std::int64_t fileSizeLimit() { return INT64_MAX; }

bool completedAfterFailure(PAVIFILE) { return false; }

// Every encoder the dialog offers takes the writer's frames.
std::string compressionProblem(const AVICOMPRESSOPTIONS&, const BITMAPINFO24&) { return {}; }
bool codecDialogAsksAgain() { return false; }

}  // namespace vfw
