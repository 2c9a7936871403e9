// The Video for Windows stand-in, read back by ffprobe/ffmpeg.
#include "platform/vfw.h"

#include "tests/support/aviprobe.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int W = 160;
constexpr int H = 120;

// A frame whose every pixel differs from its neighbours and from the same
// pixel in other frames, with a red top row and a blue bottom row so an
// upside-down file shows at once. Rows top first.
std::vector<std::uint8_t> testFrame(int index, bool smooth = false) {
    std::vector<std::uint8_t> f(std::size_t(W) * H * 3);
    std::uint32_t seed = 2654435761u * std::uint32_t(index + 1);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            std::uint8_t* p = &f[(std::size_t(y) * W + x) * 3];
            if (smooth) {  // something a lossy codec can keep close
                p[0] = std::uint8_t(x + index * 3);
                p[1] = std::uint8_t(y * 2);
                p[2] = std::uint8_t(128 + index);
            } else {
                seed = seed * 1664525u + 1013904223u;
                p[0] = std::uint8_t(seed >> 24);
                p[1] = std::uint8_t(seed >> 16);
                p[2] = std::uint8_t(seed >> 8);
            }
            if (y < 4) p[0] = 0, p[1] = 0, p[2] = 255;        // red
            if (y >= H - 4) p[0] = 255, p[1] = 0, p[2] = 0;   // blue
        }
    return f;
}

std::vector<std::uint8_t> bottomUp(const std::vector<std::uint8_t>& frame) {
    std::vector<std::uint8_t> flipped(frame.size());
    const std::size_t row = std::size_t(W) * 3;
    for (int y = 0; y < H; ++y) std::memcpy(&flipped[y * row], &frame[(H - 1 - y) * row], row);
    return flipped;
}

struct Writer {
    PAVIFILE file = nullptr;
    PAVISTREAM video = nullptr;
    PAVISTREAM compressed = nullptr;
    PAVISTREAM audio = nullptr;

    // Sets up the file as the AVI writer does; returns the first failure.
    HRESULT open(const std::string& path, int rate, bool withAudio) {
        AVIFileInit();
        if (HRESULT r = AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr)) return r;
        AVISTREAMINFOA info{};
        info.fccType = streamtypeVIDEO;
        info.dwScale = 1;
        info.dwRate = DWORD(rate);
        info.rcFrame = RECT{0, 0, W, H};
        if (HRESULT r = AVIFileCreateStreamA(file, &video, &info)) return r;
        AVICOMPRESSOPTIONS options{};
        AVICOMPRESSOPTIONS* list[1] = {&options};
        if (!AVISaveOptions(nullptr, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, 1, &video, list)) return 666;
        if (HRESULT r = AVIMakeCompressedStream(&compressed, video, &options, nullptr)) return r;
        BITMAPINFO24 format{};
        format.bmiHeader = {44, W, H, 1, 24, BI_RGB, W * H * 3, 0, 0, 0, 0};
        if (HRESULT r = AVIStreamSetFormat(compressed, 0, &format, 44)) return r;
        if (!withAudio) return 0;
        AVISTREAMINFOA a{};
        a.fccType = streamtypeAUDIO;
        a.wPriority = 7;
        a.dwScale = 4;
        a.dwRate = 176400;
        a.dwSampleSize = 4;
        if (HRESULT r = AVIFileCreateStreamA(file, &audio, &a)) return r;
        WAVEFORMATEX wave{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
        return AVIStreamSetFormat(audio, 0, &wave, 18);
    }

    void close() {
        if (audio) AVIStreamRelease(audio);
        if (video) AVIStreamRelease(video);
        if (compressed) AVIStreamRelease(compressed);
        if (file) AVIFileRelease(file);
        AVIFileExit();
        file = nullptr;
    }
};

class Vfw : public ::testing::Test {
protected:
    void SetUp() override {
        if (!aviToolsAvailable()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
        unsetenv("QVO_QUALITY");
        unsetenv("QVO_KEYFRAMES");
        unsetenv("QVO_DATARATE");
    }
    void TearDown() override {
        unsetenv("QVO_CODEC");
        vfw::setFailureHook(nullptr);
    }
    ScratchDir dir;
};

struct CodecCase {
    const char* name;
    const char* probed;  // ffprobe's codec name
    bool lossless;
};

class VfwCodec : public Vfw, public ::testing::WithParamInterface<CodecCase> {};

// Five frames and their sound at 40 fps through each codec of the dialog.
TEST_P(VfwCodec, FramesAndSoundComeBackUprightWithTheRightRateAndCount) {
    const CodecCase c = GetParam();
    setenv("QVO_CODEC", c.name, 1);
    const std::string path = dir.path("codec.avi");
    Writer w;
    ASSERT_EQ(0, w.open(path, 40, true));
    std::vector<std::uint8_t> expected;
    std::vector<std::int16_t> sound;
    long samples = 0;
    for (int i = 0; i < 5; ++i) {
        // Sound first, as the writer does: up to the end of frame i.
        const long end = long(i + 1) * 44100 / 40;
        std::vector<std::int16_t> chunk(std::size_t(end - samples) * 2);
        for (std::size_t k = 0; k < chunk.size(); ++k) chunk[k] = std::int16_t((sound.size() + k) * 7 - 3000);
        ASSERT_EQ(0, AVIStreamWrite(w.audio, samples, end - samples, chunk.data(), LONG(chunk.size() * 2), 0,
                                    nullptr, nullptr));
        sound.insert(sound.end(), chunk.begin(), chunk.end());
        samples = end;
        auto frame = testFrame(i, !c.lossless);
        auto stored = bottomUp(frame);
        ASSERT_EQ(0, AVIStreamWrite(w.compressed, i, 1, stored.data(), W * H * 3, 0, nullptr, nullptr));
        expected.insert(expected.end(), frame.begin(), frame.end());
    }
    w.close();

    AviSummary s = probeAvi(path);
    ASSERT_TRUE(s.readable) << s.error;
    EXPECT_EQ(c.probed, s.videoCodec);
    EXPECT_EQ("40/1", s.frameRate);
    EXPECT_EQ(W, s.width);
    EXPECT_EQ(H, s.height);
    EXPECT_EQ(5, s.videoFrames);
    EXPECT_EQ(1, s.audioStreams);
    EXPECT_EQ(44100, s.sampleRate);
    EXPECT_EQ(2, s.channels);

    auto decodedSound = decodeAudioS16(path);
    EXPECT_EQ(std::size_t(5 * 44100 / 40 * 2), decodedSound.size());
    EXPECT_TRUE(decodedSound == sound) << "the sound changed on its way through the file";

    auto pixels = decodeVideoBgr24(path);
    ASSERT_EQ(expected.size(), pixels.size());
    if (c.lossless) {
        EXPECT_TRUE(pixels == expected) << "a lossless codec changed the picture";
    } else {
        double total = 0;
        for (std::size_t k = 0; k < pixels.size(); ++k) total += std::abs(int(pixels[k]) - int(expected[k]));
        EXPECT_LT(total / double(pixels.size()), 3.0) << "far from the input: wrong orientation, range or colours?";
    }
    // Upright: the top row is red, the bottom row blue, in every codec.
    EXPECT_GT(pixels[2], 200);
    EXPECT_LT(pixels[0], 60);
    const std::size_t bottom = (std::size_t(H) - 1) * W * 3;
    EXPECT_GT(pixels[bottom], 200);
    EXPECT_LT(pixels[bottom + 2], 60);
}

INSTANTIATE_TEST_SUITE_P(AllCodecs, VfwCodec,
                         ::testing::Values(CodecCase{"rawvideo", "rawvideo", true},
                                           CodecCase{"utvideo", "utvideo", true}, CodecCase{"ffv1", "ffv1", true},
                                           CodecCase{"huffyuv", "huffyuv", true},
                                           CodecCase{"mjpeg", "mjpeg", false},
                                           CodecCase{"libx264", "h264", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Vfw, UncompressedFramesAreStoredBottomUpWithAPositiveHeight) {
    setenv("QVO_CODEC", "rawvideo", 1);
    const std::string path = dir.path("raw.avi");
    Writer w;
    ASSERT_EQ(0, w.open(path, 25, false));
    auto stored = bottomUp(testFrame(0));
    ASSERT_EQ(0, AVIStreamWrite(w.compressed, 0, 1, stored.data(), W * H * 3, 0, nullptr, nullptr));
    w.close();
    EXPECT_EQ(H, firstVideoFormatHeight(path));
    // The first stored row is the picture's bottom (blue) row.
    std::string bytes = ScratchDir::read(path);
    const std::size_t movi = bytes.find("movi");
    ASSERT_NE(std::string::npos, movi);
    std::size_t chunk = bytes.find("00dc", movi);
    if (chunk == std::string::npos) chunk = bytes.find("00db", movi);
    ASSERT_NE(std::string::npos, chunk);
    EXPECT_EQ(char(255), bytes[chunk + 8]);
    EXPECT_EQ(char(0), bytes[chunk + 10]);
}

TEST_F(Vfw, FormatMessageGivesTheSystemTextOrNothing) {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, DWORD(-ENOSPC),
                             1033, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_GT(n, 0u);
    EXPECT_STREQ("No space left on device", text);
    LocalFree(text);
    text = nullptr;
    EXPECT_EQ(0u, FormatMessageA(0x1100, nullptr, 666, 1033, reinterpret_cast<LPSTR>(&text), 0, nullptr));
    EXPECT_EQ(nullptr, text);
    EXPECT_EQ(0u, FormatMessageA(0x1100, nullptr, 0, 1033, reinterpret_cast<LPSTR>(&text), 0, nullptr));
    // An FFmpeg code of its own has a text too.
    EXPECT_GT(FormatMessageA(0x1100, nullptr, DWORD(-0x54495845) /* AVERROR_EXIT */, 1033,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0u);
    LocalFree(text);
}

TEST_F(Vfw, RefusesWhatItCannotWrite) {
    setenv("QVO_CODEC", "utvideo", 1);
    PAVIFILE file = nullptr;
    AVIFileInit();
    EXPECT_EQ(-ENOENT, AVIFileOpenA(&file, dir.path("missing/x.avi").c_str(), OF_WRITE | OF_CREATE, nullptr));
    EXPECT_EQ(nullptr, file);

    Writer w;
    ASSERT_EQ(0, w.open(dir.path("bad.avi"), 30, true));
    auto frame = testFrame(0);
    EXPECT_NE(0, AVIStreamWrite(w.compressed, 0, 1, frame.data(), 100, 0, nullptr, nullptr)) << "short frame";
    EXPECT_NE(0, AVIStreamWrite(w.video, 0, 1, frame.data(), W * H * 3, 0, nullptr, nullptr))
        << "frames go through the compressor";
    std::int16_t sound[8] = {};
    ASSERT_EQ(0, AVIStreamWrite(w.audio, 0, 2, sound, 8, 0, nullptr, nullptr));
    EXPECT_NE(0, AVIStreamWrite(w.audio, 1, 2, sound, 8, 0, nullptr, nullptr)) << "sound only goes forward";
    AVISTREAMINFOA late{};
    late.fccType = streamtypeAUDIO;
    PAVISTREAM extra = nullptr;
    EXPECT_NE(0, AVIFileCreateStreamA(w.file, &extra, &late)) << "no streams once the file has started";
    w.close();
    AVIFileExit();
}

TEST_F(Vfw, TheDialogAnswersFromTheEnvironment) {
    AVICOMPRESSOPTIONS options{};
    AVICOMPRESSOPTIONS* list[1] = {&options};
    PAVISTREAM stream = nullptr;
    setenv("QVO_CODEC", "cancel", 1);
    EXPECT_EQ(0, AVISaveOptions(nullptr, 3, 1, &stream, list));
    setenv("QVO_CODEC", "divx", 1);
    EXPECT_EQ(0, AVISaveOptions(nullptr, 3, 1, &stream, list)) << "an unknown codec must not be guessed at";
    setenv("QVO_CODEC", "mjpeg", 1);
    setenv("QVO_QUALITY", "80", 1);
    setenv("QVO_KEYFRAMES", "25", 1);
    setenv("QVO_DATARATE", "8000", 1);
    ASSERT_EQ(1, AVISaveOptions(nullptr, ICMF_CHOOSE_KEYFRAME, 1, &stream, list));
    EXPECT_EQ(mmioFOURCC('M', 'J', 'P', 'G'), options.fccHandler);
    EXPECT_EQ(8000u, options.dwQuality);
    EXPECT_EQ(25u, options.dwKeyFrameEvery);
    EXPECT_EQ(0u, options.dwBytesPerSecond) << "the data rate was not asked for";
    EXPECT_EQ(AVICOMPRESSF_VALID | AVICOMPRESSF_KEYFRAMES, options.dwFlags);
    unsetenv("QVO_CODEC");
    EXPECT_EQ(1, AVISaveOptions(nullptr, 3, 1, &stream, list));  // no display, no terminal in CI: Ut Video
    if (!isatty(0)) {
        EXPECT_EQ(mmioFOURCC('U', 'L', 'R', 'G'), options.fccHandler);
    }
}

// Opening checks the file can be written but does not empty it: a cancelled
// run neither leaves a new empty file nor destroys an old one.
TEST_F(Vfw, AFileNeverStartedIsLeftAsItWas) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    const std::string fresh = dir.path("fresh.avi");
    const std::string old = dir.write("old.avi", "an earlier render");
    EXPECT_EXIT(
        {
            AVIFileInit();
            PAVIFILE a = nullptr;
            PAVIFILE b = nullptr;
            if (AVIFileOpenA(&a, fresh.c_str(), OF_WRITE | OF_CREATE, nullptr) ||
                AVIFileOpenA(&b, old.c_str(), OF_WRITE | OF_CREATE, nullptr))
                std::exit(2);
            std::exit(ScratchDir::exists(fresh) ? 3 : 1);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_FALSE(ScratchDir::exists(fresh));
    EXPECT_EQ("an earlier render", ScratchDir::read(old));
}

// In a child: writes frames under a 200000-byte file-size limit until a
// call fails, and exits 1 when that happened within the first frames.
[[noreturn]] void writeUntilTheLimit(const std::string& path) {
    rlimit limit{200000, 200000};
    setrlimit(RLIMIT_FSIZE, &limit);
    Writer w;
    if (w.open(path, 30, false)) std::exit(2);
    auto frame = bottomUp(testFrame(0));
    for (int i = 0; i < 200; ++i) {
        HRESULT r = AVIStreamWrite(w.compressed, i, 1, frame.data(), W * H * 3, 0, nullptr, nullptr);
        if (r != 0) {
            char* text = nullptr;
            FormatMessageA(0x1100, nullptr, DWORD(r), 1033, reinterpret_cast<LPSTR>(&text), 0, nullptr);
            std::fprintf(stderr, "failed at frame %d: %s\n", i, text ? text : "?");
            // 200000 bytes hold under four frames; the encoder runs at most a
            // queue (six frames) behind.
            std::exit(i < 16 ? 1 : 3);
        }
    }
    std::exit(4);
}

// A real write failure: the file-size limit is hit while the encoder
// thread writes; a later call reports it.
TEST_F(Vfw, AFullDiskIsReportedByALaterCall) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    setenv("QVO_CODEC", "rawvideo", 1);
    const std::string path = dir.path("full.avi");
    EXPECT_EXIT(writeUntilTheLimit(path),
        ::testing::ExitedWithCode(1), "failed at frame [0-9]+: File too large");
}

TEST_F(Vfw, AnInjectedFailureComesBackFromTheCall) {
    setenv("QVO_CODEC", "utvideo", 1);
    vfw::setFailureHook([](const char* call, FOURCC type) -> HRESULT {
        return std::strcmp(call, "AVIFileCreateStreamA") == 0 && type == streamtypeAUDIO ? -ENOMEM : 0;
    });
    Writer w;
    EXPECT_EQ(-ENOMEM, w.open(dir.path("hook.avi"), 30, true));
    w.close();
    AviSummary s = probeAvi(dir.path("hook.avi"));
    EXPECT_TRUE(s.readable);
    EXPECT_EQ(0, s.audioStreams);
    EXPECT_EQ(0, s.videoFrames);
}

}  // namespace
