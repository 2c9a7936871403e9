#include "source/videostream.h"

#include "platform/progresswindow.h"
#include "source/assertion.h"
#include "source/exceptionserver.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr std::int64_t kCaptureBytes = 100000000;
constexpr std::int64_t kSmallCaptureBytes = 35000000;

// The writer's process-wide state.
int aviLibraryUsers = 0;
HINSTANCE instanceHandle = nullptr;
std::uint8_t* flipBuffer = nullptr;
std::size_t flipBufferSize = 0;

// The capture: written by the hook on the mixing thread, read by the writer.
std::uint8_t* captureBuffer = nullptr;
std::int64_t captureCapacity = 0;
std::atomic<std::int32_t> captureOffset{0};
std::atomic<std::int32_t> delivered{0};
// The wait for sound sleeps until the hook has delivered more.
std::mutex deliveredMutex;
std::condition_variable deliveredMore;

void* callocate(std::size_t bytes) { return std::calloc(bytes, 1); }
void* (*allocateCapture)(std::size_t) = callocate;

HDSP realSetDSP(BASS_DWORD channel, DSPPROC* proc, BASS_DWORD user) { return BASS_ChannelSetDSP(channel, proc, user); }
BASS_DWORD realIsActive(BASS_DWORD channel) { return BASS_ChannelIsActive(channel); }
const videocapture::AudioSource realAudio{realSetDSP, realIsActive};
const videocapture::AudioSource* audioSource = &realAudio;

// The progress display.
bool dialogPending = true;
std::unique_ptr<win32::ProgressWindow> dialogWindow;
bool dialogClosed = false;
bool cancelConfirmed = false;
volatile std::sig_atomic_t interrupted = 0;
bool interruptReported = false;

struct sigaction previousInterrupt {};
bool interruptHandled = false;

void onInterrupt(int) { interrupted = 1; }

// Ctrl-C asks for the file to be completed with what is there; the handler
// is one-shot, so a second Ctrl-C ends the process the ordinary way. It
// lasts as long as the render.
void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    interruptHandled = sigaction(SIGINT, &action, &previousInterrupt) == 0;
}

void restoreInterruptHandler() {
    if (interruptHandled) sigaction(SIGINT, &previousInterrupt, nullptr);
    interruptHandled = false;
}

// A progress line on standard error: rewritten in place on a terminal,
// one line every ten percent otherwise (logs, CI).
struct ProgressLine {
    bool terminal = false;
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastShown;
    int lastTenth = -1;
    int lastPercent = -1;
    bool open = false;

    void start() {
        terminal = ::isatty(2) != 0;
        started = std::chrono::steady_clock::now();
        lastShown = started - std::chrono::seconds(1);
    }

    void show(int percent, int frames) {
        auto now = std::chrono::steady_clock::now();
        const double elapsed = std::chrono::duration<double>(now - started).count();
        if (terminal) {
            if (percent == lastPercent && now - lastShown < std::chrono::milliseconds(250)) return;
            std::fprintf(stderr, "\r%s", formatRenderProgress(percent, frames, elapsed).c_str());
            open = true;
        } else {
            if (percent / 10 == lastTenth) return;
            lastTenth = percent / 10;
            std::fprintf(stderr, "%s\n", formatRenderProgress(percent, frames, elapsed).c_str());
        }
        std::fflush(stderr);
        lastPercent = percent;
        lastShown = now;
    }

    void finish(int frames, std::int64_t samples, int sampleRate, bool cancelled) {
        if (open) std::fputc('\n', stderr);
        open = false;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::fprintf(stderr, "%s %d frames", cancelled ? "Render stopped:" : "Render done:", frames);
        if (sampleRate > 0 && samples > 0)
            std::fprintf(stderr, ", %.2f s of sound", double(samples) / sampleRate);
        std::fprintf(stderr, " in %.1f s\n", elapsed);
    }
};
ProgressLine progressLine;
bool progressStarted = false;

}  // namespace

std::string formatRenderProgress(int percent, int frames, double elapsedSeconds) {
    char text[160];
    const double fps = elapsedSeconds > 0 ? frames / elapsedSeconds : 0.0;
    if (percent > 0 && percent < 100 && elapsedSeconds > 0) {
        const int left = int(elapsedSeconds * (100 - percent) / percent + 0.5);
        std::snprintf(text, sizeof text, "Rendering video: %3d%%  %6d frames  %6.1f fps  %d:%02d left", percent,
                      frames, fps, left / 60, left % 60);
    } else {
        std::snprintf(text, sizeof text, "Rendering video: %3d%%  %6d frames  %6.1f fps", percent, frames, fps);
    }
    return text;
}

VideoStream::VideoStream(HINSTANCE instance, const char* fileName, int width, int height, bool audioEnabled,
                         int frameRate, int sampleRate, int bitsPerSample)
    : frameRate(frameRate),
      width(width),
      height(height),
      sampleRate(sampleRate),
      bitsPerSample(bitsPerSample),
      bAudioEnabled(audioEnabled) {
    initAviLibrary();
    instanceHandle = instance;
    // The rate divides every audio step and becomes the stream's rate: refuse
    // what cannot be written before anything is created.
    if (frameRate < 1 || width < 1 || height < 1 || sampleRate < 1 || bitsPerSample < 8)
        fail("Couldn't create avi stream", AVIERR_BADPARAM);
    openFile(fileName);
    createStreams();
}

VideoStream::~VideoStream() {
    restoreInterruptHandler();
    dialogWindow.reset();
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
    exitAviLibrary();
    if (progressStarted) {
        progressLine.finish(framesWritten, samplesWritten, bAudioEnabled ? sampleRate : 0, renderCancelled());
        progressStarted = false;
    }
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
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                                        DWORD(code), 1033, reinterpret_cast<LPSTR>(&systemText), 0, nullptr);
    char text[1024];
    if (length > 0 && systemText)
        std::snprintf(text, sizeof text, "%s - '%s'", message, systemText);
    else
        std::snprintf(text, sizeof text, "%s!", message);
    if (systemText) LocalFree(systemText);
    if (progressLine.open) std::fputc('\n', stderr);
    progressLine.open = false;
    if (fileWritten)
        std::fprintf(stderr, "\"%s\" is left incomplete (%d frames written before the failure); players may refuse it\n",
                     fileName.c_str(), framesWritten);
    MessageBoxA(nullptr, text, "Error!", MB_OK | MB_ICONERROR);
    ExitProcess(1);
}

void VideoStream::openFile(const char* fileName) {
    this->fileName = fileName ? fileName : "";
    HRESULT result = AVIFileOpenA(&file, fileName, OF_WRITE | OF_CREATE, nullptr);
    if (result != 0) {
        // The box names no file; a render started from a folder the user
        // cannot write should say which folder that was.
        std::error_code error;
        std::fprintf(stderr, "Cannot create \"%s\".\n", std::filesystem::absolute(fileName, error).c_str());
        fail("Couldn't open avi file!", result);
    }
}

void VideoStream::closeFile() {
    if (!file) return;
    const DWORD result = AVIFileRelease(file);
    file = nullptr;
    if (result != 0) fail("Couldn't complete avi file", HRESULT(result));
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

void VideoStream::releaseStreams() {
    if (audioStream) AVIStreamRelease(audioStream);
    if (videoStream) AVIStreamRelease(videoStream);
    if (compressedStream) AVIStreamRelease(compressedStream);
    audioStream = videoStream = compressedStream = nullptr;
}

void VideoStream::setupCompression(const BITMAPINFO24* format) {
    AVICOMPRESSOPTIONS options;
    std::memset(&options, 0, sizeof options);
    AVICOMPRESSOPTIONS* optionList[1] = {&options};
    if (!AVISaveOptions(nullptr, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, 1, &videoStream, optionList))
        fail("avi dialog was aborted", 666);
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
    audioSource->setDSP(capturedChannel, captureAudio, 0);
}

std::uint8_t* VideoStream::getAudioBuffer() {
    if (!bAudioEnabled) {
        std::fprintf(stderr, "Assertion failed: bAudioEnabled, file %s, line %d\n", __FILE__, __LINE__);
        std::abort();
    }
    return captureBuffer;
}

void VideoStream::waitForAudio() {
    if (!bAudioEnabled) return;
    const std::int64_t needed =
        (soundEnd(framesWritten + 1, sampleRate, frameRate) - samplesWritten) * std::int64_t(blockAlign);
    // A blocking wait, so the encoder keeps the core. The music's end comes
    // without a block to wake us: look at it now and then as well.
    std::unique_lock<std::mutex> lock(deliveredMutex);
    while (!(delivered.load() > needed) && audioSource->isActive(capturedChannel) != 0)
        deliveredMore.wait_for(lock, std::chrono::milliseconds(10));
    delivered.store(0);
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
    if (bytesTaken + chunk > captureCapacity) {
        // Past the end of the buffer there was nowhere to capture to: silence.
        padded.assign(std::size_t(chunk), 0);
        if (bytesTaken < captureCapacity)
            std::memcpy(padded.data(), sound, std::size_t(captureCapacity - bytesTaken));
        sound = padded.data();
    }
    write(sound, 3);
    bytesTaken += std::int32_t(chunk);
}

void VideoStream::showProgress(int progress) {
    if (dialogWindow) dialogWindow->setPosition(progress);
    progressLine.show(progress, framesWritten);
}

void VideoStream::addFrame(int progress) {
    if (dialogPending) {
        dialogPending = false;
        dialogWindow = win32::ProgressWindow::open();
        progressLine.start();
        progressStarted = true;
        installInterruptHandler();
    }
    if (bAudioEnabled) audioStep();
    if (frameBuffer) write(frameBuffer, 1);
    if (progress >= 0) showProgress(progress);

    if (dialogWindow && dialogWindow->cancelPressed()) {
        if (MessageBoxA(nullptr, "Really?", "", MB_YESNO | MB_ICONQUESTION) == IDYES) {
            dialogWindow.reset();
            dialogClosed = true;
            cancelConfirmed = true;
        }
    }
    if (interrupted && !interruptReported) {
        interruptReported = true;
        if (progressLine.open) std::fputc('\n', stderr);
        progressLine.open = false;
        std::fprintf(stderr, "Interrupted: completing the file with the frames so far "
                             "(Ctrl-C again to abandon it)\n");
    }
}

void captureAudio(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    if (!buffer) return;
    const std::int32_t offset = captureOffset.load(std::memory_order_relaxed);  // only this hook writes it
    if (captureBuffer && offset < captureCapacity) {
        // Stop at the end of the buffer; what does not fit is dropped.
        const std::int64_t room = captureCapacity - offset;
        const std::int64_t n = std::int64_t(length) < room ? std::int64_t(length) : room;
        std::memcpy(captureBuffer + offset, buffer, std::size_t(n));
        captureOffset.store(offset + std::int32_t(n));
    }
    std::memset(buffer, 0, length);
    {
        std::lock_guard<std::mutex> lock(deliveredMutex);
        delivered.fetch_add(std::int32_t(length));
    }
    deliveredMore.notify_all();
}

bool renderCancelled() { return cancelConfirmed || interrupted; }

namespace videocapture {

void obtainCaptureBuffer() {
    // A second writer in the same process starts a new capture in the same
    // buffer.
    if (captureBuffer) {
        std::memset(captureBuffer, 0, std::size_t(captureOffset.load()));
        captureOffset.store(0);
        delivered.store(0);
        return;
    }
    void* memory = nullptr;
    try {
        memory = allocateCapture(std::size_t(kCaptureBytes));
    } catch (...) {
        memory = nullptr;
    }
    if (memory) {
        captureBuffer = static_cast<std::uint8_t*>(memory);
        captureCapacity = kCaptureBytes;
        return;
    }
    int answer = MessageBoxA(nullptr,
                             "Your system doesn't seem to have enough memory for allocating soundbuffers.\n"
                             "Would you like to use a smaller buffer? (This might not work though :)\n",
                             "Oups. Low memory detected!", MB_YESNO | MB_ICONWARNING);
    if (answer != IDYES) ExitProcess(0);
    MessageBoxA(nullptr, "Ok, let's see if this will crash or not then :)", "Ehhh.. ", MB_OK);
    memory = allocateCapture(std::size_t(kSmallCaptureBytes));
    if (!memory) outOfMemoryHandler();
    captureBuffer = static_cast<std::uint8_t*>(memory);
    captureCapacity = kSmallCaptureBytes;
}

std::int64_t capacity() { return captureCapacity; }
std::int64_t captured() { return captureOffset.load(); }

void setAudioSource(const AudioSource* source) { audioSource = source ? source : &realAudio; }

void setAllocator(void* (*allocate)(std::size_t bytes)) {
    allocateCapture = allocate ? allocate : callocate;
    std::free(captureBuffer);
    captureBuffer = nullptr;
    captureCapacity = 0;
    captureOffset.store(0);
    delivered.store(0);
}

void resetCancel() {
    cancelConfirmed = false;
    interrupted = 0;
    interruptReported = false;
    dialogPending = true;
    dialogClosed = false;
}

}  // namespace videocapture
