// Video for Windows on Windows: a file is never allowed past what a classic
// AVI file holds. The write that would pass it completes the file and fails,
// and the file reads back whole through the system's own AVI reader (the
// ctest that follows reads it with ffprobe too). A codec is asked before
// rendering whether it compresses the writer's frames, and its answer is
// the one the compressing stream gives.
#include "platform/vfw.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int width = 640, height = 480;
constexpr LONG frameBytes = width * height * 3;

void mark(std::vector<std::uint8_t>& frame, LONG index) { std::memcpy(frame.data(), &index, sizeof index); }

// The writer's frame format: 24-bit, bottom-up.
BITMAPINFO24 frameFormat() {
    BITMAPINFO24 format{};
    format.bmiHeader.biSize = sizeof format;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biSizeImage = frameBytes;
    return format;
}

// A new file `name` with a video stream of the writer's size.
PAVISTREAM openVideo(const char* name, PAVIFILE* file) {
    std::remove(name);
    PAVISTREAM video = nullptr;
    if (AVIFileOpenA(file, name, OF_WRITE | OF_CREATE, nullptr) != 0) return nullptr;
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 40;
    info.rcFrame = RECT{0, 0, width, height};
    if (AVIFileCreateStreamA(*file, &video, &info) != 0) return nullptr;
    return video;
}

TEST(FileSizeLimit, TheWriteThatWouldPassItCompletesTheFileAndFails) {
    const char* name = "limit.avi";
    AVIFileInit();
    PAVIFILE file = nullptr;
    PAVISTREAM video = openVideo(name, &file);
    ASSERT_TRUE(video);
    const BITMAPINFO24 format = frameFormat();
    ASSERT_EQ(AVIStreamSetFormat(video, 0, &format, sizeof format), 0);

    std::vector<std::uint8_t> frame(frameBytes, 0x40);
    LONG written = 0;
    HRESULT result = 0;
    for (; written < 4000; ++written) {
        mark(frame, written);
        result = AVIStreamWrite(video, written, 1, frame.data(), frameBytes, AVIIF_KEYFRAME, nullptr, nullptr);
        if (result != 0) break;
    }
    EXPECT_EQ(result, HRESULT(ERROR_FILE_TOO_LARGE));
    EXPECT_TRUE(vfw::completedAfterFailure(file));
    // Every write refused from now on, without touching the file.
    EXPECT_EQ(AVIStreamWrite(video, written, 1, frame.data(), frameBytes, 0, nullptr, nullptr),
              HRESULT(ERROR_FILE_TOO_LARGE));

    std::ifstream onDisk(name, std::ios::binary | std::ios::ate);
    const std::int64_t size = onDisk.tellg();
    EXPECT_LE(size, vfw::fileSizeLimit());
    // Not wasteful: the next frame would not have fit with its index entry.
    EXPECT_GT(size + 2 * (frameBytes + 24) + (1 << 20), vfw::fileSizeLimit());

    // The system's reader takes every frame back, the last one intact.
    PAVIFILE back = nullptr;
    ASSERT_EQ(AVIFileOpenA(&back, name, OF_READ, nullptr), 0);
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIFileGetStream(back, &stream, streamtypeVIDEO, 0), 0);
    EXPECT_EQ(AVIStreamLength(stream), written);
    std::vector<std::uint8_t> last(frameBytes);
    LONG bytes = 0;
    ASSERT_EQ(AVIStreamRead(stream, written - 1, 1, last.data(), frameBytes, &bytes, nullptr), 0);
    LONG index = -1;
    std::memcpy(&index, last.data(), sizeof index);
    EXPECT_EQ(index, written - 1);
    AVIStreamRelease(stream);
    AVIFileRelease(back);
    AVIFileExit();

    std::ofstream("limit.frames", std::ios::binary) << written << "\n";
    std::printf("%ld frames, %lld bytes\n", long(written), (long long)size);
}

// Every video codec installed here, and Full Frames: the question asked
// before rendering gets the answer the compressing stream gives when it is
// made (Wine lacks the compressors of the codecs it lists, Windows has
// them), and a refusal names the codec.
TEST(CompressionProblem, ACodecIsRefusedExactlyWhenItsStreamCannotTakeTheFrames) {
    std::vector<FOURCC> handlers{mmioFOURCC('D', 'I', 'B', ' ')};
    ICINFO installed{};
    installed.dwSize = sizeof installed;
    for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &installed); ++i) handlers.push_back(installed.fccHandler);
    const BITMAPINFO24 format = frameFormat();
    AVIFileInit();
    for (FOURCC handler : handlers) {
        const std::string code(reinterpret_cast<const char*>(&handler), 4);
        AVICOMPRESSOPTIONS options{};
        options.fccType = streamtypeVIDEO;
        options.fccHandler = handler;
        options.dwQuality = ICQUALITY_DEFAULT;
        options.dwFlags = AVICOMPRESSF_VALID;
        const std::string problem = vfw::compressionProblem(options, format);

        PAVIFILE file = nullptr;
        PAVISTREAM video = openVideo("codec.avi", &file);
        ASSERT_TRUE(video);
        PAVISTREAM compressed = nullptr;
        bool takesFrames = AVIMakeCompressedStream(&compressed, video, &options, nullptr) == 0;
        if (takesFrames) takesFrames = AVIStreamSetFormat(compressed, 0, &format, sizeof format) == 0;
        if (compressed) AVIStreamRelease(compressed);
        AVIStreamRelease(video);
        AVIFileRelease(file);

        EXPECT_EQ(problem.empty(), takesFrames) << code << ": " << problem;
        if (!problem.empty()) {
            EXPECT_NE(problem.find("(" + code + ")"), std::string::npos) << problem;
        }
        std::printf("%s: %s\n", code.c_str(), problem.empty() ? "compresses" : problem.c_str());
    }
    AVIFileExit();
    std::remove("codec.avi");
}

}  // namespace
