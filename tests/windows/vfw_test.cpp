// Video for Windows on Windows: a file is never allowed past what a classic
// AVI file holds. The write that would pass it completes the file and fails,
// and the file reads back whole through the system's own AVI reader (the
// ctest that follows reads it with ffprobe too).
#include "platform/vfw.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

constexpr int width = 640, height = 480;
constexpr LONG frameBytes = width * height * 3;

void mark(std::vector<std::uint8_t>& frame, LONG index) { std::memcpy(frame.data(), &index, sizeof index); }

TEST(FileSizeLimit, TheWriteThatWouldPassItCompletesTheFileAndFails) {
    const char* name = "limit.avi";
    std::remove(name);
    AVIFileInit();
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpenA(&file, name, OF_WRITE | OF_CREATE, nullptr), 0);
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 40;
    info.rcFrame = RECT{0, 0, width, height};
    PAVISTREAM video = nullptr;
    ASSERT_EQ(AVIFileCreateStreamA(file, &video, &info), 0);
    BITMAPINFO24 format{};
    format.bmiHeader.biSize = sizeof format;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biSizeImage = frameBytes;
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

}  // namespace
