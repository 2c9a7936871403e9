#include "source/videostream.h"

#include "source/assertion.h"
#include "source/audiocapture.h"
#include "source/exceptionserver.h"
#include "source/processstate.h"
#include "source/rendercancel.h"
#include "source/renderdialog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

// The writer's process-wide state.
int aviLibraryUsers = 0;
std::uint8_t* flipBuffer = nullptr;
std::size_t flipBufferSize = 0;

const ProcessStateSlot writerStateSlot{__FILE__, "aviLibraryUsers flipBuffer flipBufferSize", [] {
                                           aviLibraryUsers = 0;
                                           std::free(flipBuffer);
                                           flipBuffer = nullptr;
                                           flipBufferSize = 0;
                                       }};

}  // namespace

// The instance handle is not kept: the progress window finds its resource
// itself.
VideoStream::VideoStream(HINSTANCE, const char* fileName, int width, int height, bool audioEnabled, int frameRate,
                         int sampleRate, int bitsPerSample)
    : frameRate(frameRate),
      width(width),
      height(height),
      sampleRate(sampleRate),
      bitsPerSample(bitsPerSample),
      bAudioEnabled(audioEnabled) {
    initAviLibrary();
    // The rate divides every audio step and becomes the stream's rate: refuse
    // what cannot be written before anything is created.
    if (frameRate < 1 || width < 1 || height < 1 || sampleRate < 1 || bitsPerSample < 8)
        fail("Couldn't create avi stream", AVIERR_BADPARAM);
    openFile(fileName);
    createStreams();
}

VideoStream::~VideoStream() {
    rendercancel::closeDialog();
    // Writes are queued: the last ones may fail only now, each with its own
    // text, and so may completing the file. Only then is the render done.
    if (audioStream) {
        if (HRESULT result = vfw::finishStream(audioStream)) fail("Couldn't write audio to avi stream", result);
    }
    if (compressedStream) {
        if (HRESULT result = vfw::finishStream(compressedStream)) fail("Couldn't write to avi stream", result);
    }
    releaseStreams();
    closeFile();
    publishFile();
    // Only now: a second Ctrl-C while the file is completed abandons it.
    rendercancel::releaseInterrupt();
    exitAviLibrary();
    if (progressLine.started())
        progressLine.finish(framesWritten, samplesWritten, bAudioEnabled ? sampleRate : 0, renderCancelled());
}

void VideoStream::initAviLibrary() {
    if (aviLibraryUsers == 0) AVIFileInit();
    ++aviLibraryUsers;
}

void VideoStream::exitAviLibrary() {
    if (--aviLibraryUsers == 0) AVIFileExit();
}

void VideoStream::fail(const char* message, int code) {
    char* systemText = nullptr;
    // 0 is no system code: the message says it all.
    const DWORD length =
        code == 0 ? 0
                  : FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, DWORD(code),
                                   1033, reinterpret_cast<LPSTR>(&systemText), 0, nullptr);
    char text[1024];
    if (length > 0 && systemText)
        std::snprintf(text, sizeof text, "%s - '%s'", message, systemText);
    else
        std::snprintf(text, sizeof text, "%s!", message);
    if (systemText) LocalFree(systemText);
    progressLine.breakLine();
    if (fileWritten && vfw::completedAfterFailure(file)) {
        // Every frame before the failure is there and the file is whole: a
        // render cut short, as a cancel would leave it.
        if (publishFile())
            std::fprintf(stderr, "\"%s\" is complete with the %d frames written before the failure\n",
                         fileName.c_str(), framesWritten);
    } else {
        discardFile();
    }
    MessageBoxA(nullptr, text, "Error!", MB_OK | MB_ICONERROR);
    ExitProcess(1);
}

// The render is written under a name of its own beside the final one and
// takes the final name only when it is complete: an earlier render survives
// a failed or cancelled one, and two renders in one folder never write into
// the same file. The extension stays, since it chooses the file's handler.
std::string partialName(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of("/\\");
    const std::size_t dot = fileName.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExtension ? fileName.substr(0, dot) : fileName;
    const std::string extension = hasExtension ? fileName.substr(dot) : "";
    return stem + ".partial-" + std::to_string(GetCurrentProcessId()) + extension;
}

void VideoStream::openFile(const char* fileName) {
    this->fileName = fileName ? fileName : "";
    partName = fileName ? partialName(fileName) : "";
    rendercancel::setAbandonedFile(partName.c_str());
    HRESULT result = AVIFileOpenA(&file, fileName ? partName.c_str() : nullptr, OF_WRITE | OF_CREATE, nullptr);
    if (result != 0) {
        // The box names no file; a render started from a folder the user
        // cannot write should say which folder that was.
        std::error_code error;
        std::fprintf(stderr, "Cannot create \"%s\".\n", std::filesystem::absolute(fileName, error).string().c_str());
        fail("Couldn't open avi file!", result);
    }
}

void VideoStream::closeFile() {
    if (!file) return;
    const DWORD result = AVIFileRelease(file);
    file = nullptr;
    if (result != 0) fail("Couldn't complete avi file", HRESULT(result));
}

bool VideoStream::publishFile() {
    rendercancel::setAbandonedFile(nullptr);
    if (partName.empty()) return true;
    std::error_code error;
    if (!std::filesystem::exists(partName, error)) return true;  // nothing was ever written
    std::filesystem::rename(partName, fileName, error);
    if (!error) return true;
    progressLine.breakLine();
    std::fprintf(stderr, "The render could not take the name \"%s\" (%s); it is kept as \"%s\".\n",
                 fileName.c_str(), error.message().c_str(), partName.c_str());
    return false;
}

void VideoStream::discardFile() {
    rendercancel::setAbandonedFile(nullptr);
    // Released before it is removed: an open file cannot be removed on Windows.
    releaseStreams();
    if (file) AVIFileRelease(file);
    file = nullptr;
    if (partName.empty()) return;
    std::error_code error;
    const bool existed = std::filesystem::remove(partName, error);
    if (!existed) return;
    if (std::filesystem::exists(fileName, error))
        std::fprintf(stderr, "The unfinished render was removed; the earlier \"%s\" is untouched.\n",
                     fileName.c_str());
    else
        std::fprintf(stderr, "The unfinished render was removed.\n");
}

void VideoStream::createStreams() {
    AVISTREAMINFOA videoInfo{};
    videoInfo.fccType = streamtypeVIDEO;
    videoInfo.fccHandler = 0;
    videoInfo.dwScale = 1;
    videoInfo.dwRate = DWORD(frameRate);
    videoInfo.dwSuggestedBufferSize = 0;
    videoInfo.rcFrame = RECT{0, 0, width, height};
    HRESULT result = AVIFileCreateStreamA(file, &videoStream, &videoInfo);
    if (result != 0) fail("Couldn't create avi stream", result);

    BITMAPINFO24 frameFormat{};
    frameFormat.bmiHeader.biSize = sizeof(BITMAPINFO24);
    frameFormat.bmiHeader.biWidth = width;
    frameFormat.bmiHeader.biHeight = height;  // positive: rows bottom-up
    frameFormat.bmiHeader.biPlanes = 1;
    frameFormat.bmiHeader.biBitCount = 24;
    frameFormat.bmiHeader.biCompression = BI_RGB;
    frameFormat.bmiHeader.biSizeImage = DWORD(width * height * 3);

    WAVEFORMATEX audioFormat{};
    audioFormat.wFormatTag = WAVE_FORMAT_PCM;
    audioFormat.nChannels = WORD(channels);
    audioFormat.nSamplesPerSec = DWORD(sampleRate);
    audioFormat.nAvgBytesPerSec = DWORD(bitsPerSample / 8 * sampleRate * channels);
    audioFormat.nBlockAlign = WORD(bitsPerSample / 8 * channels);
    audioFormat.wBitsPerSample = WORD(bitsPerSample);
    audioFormat.cbSize = 0;

    setupCompression(&frameFormat);
    if (!bAudioEnabled) return;

    videocapture::obtainCaptureBuffer();

    blockAlign = audioFormat.nBlockAlign;
    AVISTREAMINFOA audioInfo{};
    audioInfo.fccType = streamtypeAUDIO;
    audioInfo.fccHandler = 0;
    audioInfo.wPriority = 7;
    audioInfo.dwScale = DWORD(blockAlign);
    audioInfo.dwRate = audioFormat.nAvgBytesPerSec;
    audioInfo.dwInitialFrames = DWORD(0.75 * sampleRate);
    audioInfo.dwSuggestedBufferSize = audioFormat.nAvgBytesPerSec;
    audioInfo.dwSampleSize = DWORD(blockAlign);
    const char* warning = "Couldn't create audio stream for avi - sound disabled!";
    if (AVIFileCreateStreamA(file, &audioStream, &audioInfo) != 0) {
        MessageBoxA(nullptr, warning, "Warning", MB_OK | MB_ICONWARNING);
        bAudioEnabled = false;
        return;
    }
    if (AVIStreamSetFormat(audioStream, 0, &audioFormat, sizeof audioFormat) != 0) {
        MessageBoxA(nullptr, warning, "Warning", MB_OK | MB_ICONWARNING);
        bAudioEnabled = false;
    }
}

void VideoStream::expectFrames(int frames) {
    const bool uncompressed = codecHandler == 0 || codecHandler == mmioFOURCC('D', 'I', 'B', ' ');
    if (!uncompressed || frames < 1) return;
    // Each chunk has an 8-byte header and a 16-byte index entry; the file's
    // headers take a few kilobytes.
    const std::int64_t headers = 64 * 1024;
    const std::int64_t perFrame = std::int64_t(width) * height * 3 + 24 +
                                  (bAudioEnabled ? std::int64_t(sampleRate) / frameRate * blockAlign + 28 : 0);
    const std::int64_t projected = headers + std::int64_t(frames) * perFrame;
    const std::int64_t limit = vfw::fileSizeLimit();
    if (projected <= limit) return;
    const std::int64_t fitting = (limit - headers) / perFrame;
    char text[512];
    std::snprintf(text, sizeof text,
                  "%d uncompressed frames at %d fps make a %.2f GB file, and an AVI file written here holds "
                  "at most %.2f GB.\n\nChoose a codec that compresses, or render at %d fps or less.",
                  frames, frameRate, double(projected) / 1e9, double(limit) / 1e9,
                  int(fitting * frameRate / frames));
    // Nothing is rendered, and nothing is left behind.
    discardFile();
    MessageBoxA(nullptr, text, "Error!", MB_OK | MB_ICONERROR);
    ExitProcess(1);
}

void VideoStream::releaseStreams() {
    if (audioStream) AVIStreamRelease(audioStream);
    if (videoStream) AVIStreamRelease(videoStream);
    if (compressedStream) AVIStreamRelease(compressedStream);
    audioStream = videoStream = compressedStream = nullptr;
}

void VideoStream::setupCompression(const BITMAPINFO24* format) {
    AVICOMPRESSOPTIONS options;
    AVICOMPRESSOPTIONS* optionList[1] = {&options};
    // A codec that cannot compress these frames is refused before anything is
    // rendered: the dialog comes again, or, when its answer was given
    // beforehand, the render ends saying which codec and why.
    for (;;) {
        std::memset(&options, 0, sizeof options);
        if (!AVISaveOptions(nullptr, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, 1, &videoStream, optionList))
            fail("avi dialog was aborted", 666);
        const std::string problem = vfw::compressionProblem(options, *format);
        if (problem.empty()) break;
        std::fprintf(stderr, "quelvarnossa: %s\n", problem.c_str());
        if (!vfw::codecDialogAsksAgain()) fail(problem.c_str(), 0);
        MessageBoxA(nullptr, (problem + ".\n\nChoose another codec.").c_str(), "Warning", MB_OK | MB_ICONWARNING);
    }
    codecHandler = options.fccHandler;
    HRESULT result = AVIMakeCompressedStream(&compressedStream, videoStream, &options, nullptr);
    if (result != 0) fail("Couldn't create compressed avi stream", result);
    result = AVIStreamSetFormat(compressedStream, 0, format,
                                LONG(format->bmiHeader.biSize + format->bmiHeader.biClrUsed * 4));
    if (result != 0) fail("Couldn't set for avi stream", result);
}

const std::uint8_t* VideoStream::flipRows(const std::uint8_t* frame) {
    const std::size_t rowBytes = std::size_t(width) * 3;
    const std::size_t bytes = rowBytes * std::size_t(height);
    if (flipBufferSize < bytes) {
        std::free(flipBuffer);
        flipBuffer = static_cast<std::uint8_t*>(std::malloc(bytes));
        if (!flipBuffer) outOfMemoryHandler();
        flipBufferSize = bytes;
    }
    for (int i = 0; i < height; ++i)
        std::memcpy(flipBuffer + std::size_t(i) * rowBytes, frame + std::size_t(height - 1 - i) * rowBytes, rowBytes);
    return flipBuffer;
}

// Sample frames the audio holds once frame `frames` (counting from 1) has
// ended. 64-bit: at high rates the product passes 2^31 within the run.
static std::int64_t soundEnd(std::int64_t frames, std::int64_t rate, std::int64_t frameRate) {
    return frames * rate / frameRate;
}

void VideoStream::write(const void* data, int kind) {
    if (kind == 1) {
        const std::uint8_t* rows = flipRows(static_cast<const std::uint8_t*>(data));
        fileWritten = true;
        HRESULT result =
            AVIStreamWrite(compressedStream, framesWritten, 1, rows, width * height * 3, 0, nullptr, nullptr);
        ++framesWritten;
        if (result != 0) fail("Couldn't write to avi stream", result);
    } else if (kind == 3) {
        if (!bAudioEnabled) return;
        const std::int32_t n = std::int32_t(soundEnd(framesWritten + 1, sampleRate, frameRate) - samplesWritten);
        fileWritten = true;
        HRESULT result = AVIStreamWrite(audioStream, samplesWritten, n, data, n * blockAlign, 0, nullptr, nullptr);
        if (result != 0) fail("Couldn't write audio to avi stream", result);
        samplesWritten += n;
    }
}

void VideoStream::attachFrameBuffer(const std::uint8_t* frame, HSTREAM* hAudioStream) {
    frameBuffer = frame;
    if (!bAudioEnabled) return;
    QVO_REQUIRE(hAudioStream);
    capturedChannel = *hAudioStream;
    videocapture::hook(capturedChannel);
}

std::uint8_t* VideoStream::getAudioBuffer() {
    if (!bAudioEnabled) {
        std::fprintf(stderr, "Assertion failed: bAudioEnabled, file %s, line %d\n", __FILE__, __LINE__);
        std::abort();
    }
    return videocapture::buffer();
}

void VideoStream::waitForAudio() {
    if (!bAudioEnabled) return;
    const std::int64_t needed =
        (soundEnd(framesWritten + 1, sampleRate, frameRate) - samplesWritten) * std::int64_t(blockAlign);
    videocapture::waitForMoreThan(needed, capturedChannel);
}

void VideoStream::audioStep() {
    // The same sum as write's, in bytes; members rather than fixed numbers so
    // bytes taken and samples written cannot drift apart at other rates.
    const std::int64_t chunk =
        soundEnd(framesWritten + 1, sampleRate, frameRate) * blockAlign - std::int64_t(bytesTaken);
    waitForAudio();
    // The hook counts a block as delivered only after copying it, and the
    // wait saw the count: the bytes up to the end of this chunk are there
    // (or the music has ended, and the rest of the buffer is still zeros).
    const std::uint8_t* sound = getAudioBuffer() + bytesTaken;
    std::vector<std::uint8_t> padded;
    const std::int64_t capacity = videocapture::capacity();
    if (bytesTaken + chunk > capacity) {
        // Past the end of the buffer there was nowhere to capture to: silence.
        padded.assign(std::size_t(chunk), 0);
        if (bytesTaken < capacity) std::memcpy(padded.data(), sound, std::size_t(capacity - bytesTaken));
        sound = padded.data();
    }
    write(sound, 3);
    bytesTaken += std::int32_t(chunk);
}

void VideoStream::showProgress(int progress) {
    rendercancel::showInDialog(progress);
    progressLine.show(progress, framesWritten);
}

void VideoStream::addFrame(int progress) {
    if (!progressLine.started()) {
        rendercancel::openDialog();
        progressLine.start();
        rendercancel::catchInterrupt();
    }
    if (bAudioEnabled) audioStep();
    if (frameBuffer) write(frameBuffer, 1);
    if (progress >= 0) showProgress(progress);

    rendercancel::pollDialog();
    if (rendercancel::interruptToReport()) {
        progressLine.breakLine();
        std::fprintf(stderr, "Interrupted: completing the file with the frames so far "
                             "(Ctrl-C again to abandon it)\n");
    }
}
