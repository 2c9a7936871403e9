// The Video for Windows stand-in, read back by ffprobe/ffmpeg.
#include "platform/ffmpeg/codecchoice.h"
#include "platform/vfw.h"

#include "tests/support/aviprobe.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int W = 160;
constexpr int H = 120;

// Noise that no codec can fake, or a smooth picture a lossy codec keeps
// close; either way far from itself upside down. Rows top first.
std::vector<std::uint8_t> testFrame(int index, bool smooth = false) {
    std::vector<std::uint8_t> f(std::size_t(W) * H * 3);
    std::uint32_t seed = 2654435761u * std::uint32_t(index + 1);
    for (std::size_t k = 0; k < f.size(); ++k) {
        const std::size_t x = k / 3 % W, y = k / 3 / W;
        seed = seed * 1664525u + 1013904223u;
        const std::size_t value = k % 3 == 0 ? x + index * 3 : k % 3 == 1 ? y * 2 : 128 + index;
        f[k] = std::uint8_t(smooth ? value : seed >> 24);
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
        a.dwScale = a.dwSampleSize = 4;
        a.dwRate = 176400;
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
        for (const char* name : {"QVO_QUALITY", "QVO_KEYFRAMES", "QVO_DATARATE"}) unsetenv(name);
    }
    void TearDown() override { unsetenv("QVO_CODEC"); }
    ScratchDir dir;
};

// What ffprobe calls each codec's stream, where it is not the encoder's name.
std::string probedName(const vfw::CodecChoice& c) { return std::string(c.name) == "libx264" ? "h264" : c.name; }

class VfwCodec : public Vfw, public ::testing::WithParamInterface<vfw::CodecChoice> {};

// Five frames and their sound at 40 fps through each codec of the dialog;
// the codecs without a quality are lossless.
TEST_P(VfwCodec, FramesAndSoundComeBackUprightWithTheRightRateAndCount) {
    const vfw::CodecChoice c = GetParam();
    const bool lossless = c.quality == vfw::QualityScale::None;
    setenv("QVO_CODEC", c.name, 1);
    const std::string path = dir.path("codec.avi");
    Writer w;
    ASSERT_EQ(0, w.open(path, 40, true));
    std::vector<std::uint8_t> expected;
    std::vector<std::int16_t> sound;
    for (long i = 0, samples = 0; i < 5; ++i) {
        // Sound first, as the writer does: up to the end of frame i.
        const long end = (i + 1) * 44100 / 40;
        std::vector<std::int16_t> chunk(std::size_t(end - samples) * 2);
        for (std::size_t k = 0; k < chunk.size(); ++k) chunk[k] = std::int16_t((sound.size() + k) * 7 - 3000);
        ASSERT_EQ(0, AVIStreamWrite(w.audio, samples, end - samples, chunk.data(), LONG(chunk.size() * 2), 0,
                                    nullptr, nullptr));
        sound.insert(sound.end(), chunk.begin(), chunk.end());
        samples = end;
        const auto frame = testFrame(int(i), !lossless);
        ASSERT_EQ(0, AVIStreamWrite(w.compressed, i, 1, bottomUp(frame).data(), W * H * 3, 0, nullptr, nullptr));
        expected.insert(expected.end(), frame.begin(), frame.end());
    }
    w.close();

    EXPECT_EQ(probedName(c) + ",160,120,40/1,5\n",
              probeStreams(path, "v", "codec_name,width,height,r_frame_rate,nb_read_frames"));
    EXPECT_EQ("s16,44100,2\n", probeStreams(path, "a", "sample_fmt,sample_rate,channels"));
    EXPECT_TRUE(decodeAudioS16(path) == sound) << "the sound changed on its way through the file";
    const auto pixels = decodeVideoBgr24(path);
    ASSERT_EQ(expected.size(), pixels.size());
    if (lossless) {
        EXPECT_TRUE(pixels == expected) << "a lossless codec changed the picture";
    } else {
        double total = 0;
        for (std::size_t k = 0; k < pixels.size(); ++k) total += std::abs(int(pixels[k]) - int(expected[k]));
        EXPECT_LT(total / double(pixels.size()), 3.0) << "far from the input: wrong orientation, range or colours?";
    }
}

INSTANTIATE_TEST_SUITE_P(AllCodecs, VfwCodec, ::testing::ValuesIn(vfw::codecChoices().begin(), vfw::codecChoices().end()),
                         [](const auto& info) { return std::string(info.param.name); });

// Uncompressed frames are the DIB as handed in: bottom-up, positive height.
TEST_F(Vfw, UncompressedFramesAreStoredBottomUpWithAPositiveHeight) {
    setenv("QVO_CODEC", "rawvideo", 1);
    const std::string path = dir.path("raw.avi");
    Writer w;
    ASSERT_EQ(0, w.open(path, 25, false));
    const auto stored = bottomUp(testFrame(0));
    ASSERT_EQ(0, AVIStreamWrite(w.compressed, 0, 1, stored.data(), W * H * 3, 0, nullptr, nullptr));
    w.close();
    const std::string bytes = ScratchDir::read(path);
    const std::size_t strf = bytes.find("strf"), chunk = bytes.find("00d", bytes.find("movi"));
    ASSERT_TRUE(strf != std::string::npos && chunk != std::string::npos && chunk + 8 + stored.size() <= bytes.size());
    std::int32_t height;
    std::memcpy(&height, bytes.data() + strf + 16, 4);  // after the chunk header, biSize and biWidth
    EXPECT_EQ(H, height);
    EXPECT_EQ(0, bytes.compare(chunk + 8, stored.size(), std::string(stored.begin(), stored.end())));
}

std::string systemText(DWORD code) {
    char* text = nullptr;
    if (!FormatMessageA(0x1100, nullptr, code, 1033, reinterpret_cast<LPSTR>(&text), 0, nullptr))
        return text ? "(text left on failure)" : "";
    std::string s = text;
    LocalFree(text);
    return s;
}

TEST_F(Vfw, FormatMessageGivesTheSystemTextOrNothing) {
    EXPECT_EQ("No space left on device", systemText(DWORD(-ENOSPC)));
    for (DWORD code : {666u, 0u}) EXPECT_EQ("", systemText(code)) << code;
    EXPECT_NE("", systemText(DWORD(-0x54495845))) << "FFmpeg's own AVERROR_EXIT";
}

TEST_F(Vfw, RefusesWhatItCannotWrite) {
    setenv("QVO_CODEC", "utvideo", 1);
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
    // With no answer, no display and no terminal the default is taken. Run
    // by hand from a desktop's terminal the dialog would ask in a box or on
    // the terminal and wait: the call gets neither.
    unsetenv("QVO_CODEC");
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    const std::string savedDriver = driver ? driver : "";
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    const int savedInput = dup(0);
    const int nothing = open("/dev/null", O_RDONLY);
    ASSERT_TRUE(savedInput >= 0 && nothing >= 0 && dup2(nothing, 0) == 0);
    const int answered = AVISaveOptions(nullptr, 3, 1, &stream, list);
    dup2(savedInput, 0);
    if (driver) setenv("SDL_VIDEODRIVER", savedDriver.c_str(), 1);
    else unsetenv("SDL_VIDEODRIVER");
    close(savedInput);
    close(nothing);
    EXPECT_EQ(1, answered);
    EXPECT_EQ(mmioFOURCC('U', 'L', 'R', 'G'), options.fccHandler) << "Ut Video by default";
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

}  // namespace
