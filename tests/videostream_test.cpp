// The AVI writer: captured sound, its buffer, failures; files read back with
// ffprobe/ffmpeg. Whole renders (frames, music, full disk, cancel, Ctrl-C)
// are checked by tests/e2e/video.sh.
#include "source/videostream.h"

#include "demo/videomode.h"
#include "platform/sdl/aviencoder.h"
#include "tests/support/aviprobe.h"
#include "tests/support/messageboxes.h"
#include "tests/support/scratchdir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int W = 640;
constexpr int H = 480;

// A fake music stream: the test hands blocks to the installed hook as the
// mixing thread would, and says when the music has ended.
struct FakeMusic {
    static inline DSPPROC* hook = nullptr;
    static inline BASS_DWORD hookedChannel = 0;
    static inline std::atomic<bool> active{true};

    static HDSP setDSP(BASS_DWORD channel, DSPPROC* proc, BASS_DWORD) {
        hook = proc;
        hookedChannel = channel;
        return 1;
    }
    static BASS_DWORD isActive(BASS_DWORD) { return active ? 1 : 0; }

    // Interleaved stereo samples whose value encodes their position.
    static std::vector<std::int16_t> sound(std::size_t sampleFrames, std::size_t from = 0) {
        std::vector<std::int16_t> s(sampleFrames * 2);
        for (std::size_t i = 0; i < s.size(); ++i) s[i] = std::int16_t(((from * 2 + i) * 37) % 60000 - 30000);
        return s;
    }

    // Plays `total` sample frames through the hook in 1024-frame blocks, ends
    // the music and returns what the output would have played.
    static std::vector<std::int16_t> play(std::size_t total) {
        std::vector<std::int16_t> output;
        for (std::size_t at = 0; at < total; at += 1024) {
            auto block = sound(std::min<std::size_t>(1024, total - at), at);
            hook(1, hookedChannel, block.data(), BASS_DWORD(block.size() * 2), 0);
            output.insert(output.end(), block.begin(), block.end());
        }
        active = false;
        return output;
    }
};
const videocapture::AudioSource fakeSource{FakeMusic::setDSP, FakeMusic::isActive};

class Writer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!aviToolsAvailable()) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";
        setenv("QVO_CODEC", "utvideo", 1);
        videocapture::setAudioSource(&fakeSource);
        videocapture::resetCancel();
        FakeMusic::active = true;
        FakeMusic::hook = nullptr;
    }
    void TearDown() override {
        videocapture::setAudioSource(nullptr);
        videocapture::setAllocator(nullptr);
        vfw::setFailureHook(nullptr);
    }
    ScratchDir dir;
    std::string path = dir.path("quel varn ossa.avi");
    std::vector<std::uint8_t> frame = std::vector<std::uint8_t>(std::size_t(W) * H * 3, 0x40);
    HSTREAM music = 77;
};

// At 40 fps the chunks alternate 1102/1103 sample frames of the music, the
// output is silenced, and frames past the end of the music get silence.
TEST_F(Writer, TheCapturedSoundIsWrittenInFrameSizedChunks) {
    const int frames = 9;  // 9922 sample frames; the music has 8000
    std::vector<std::int16_t> played;
    {
        VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        avi.attachFrameBuffer(frame.data(), &music);
        ASSERT_EQ(77u, FakeMusic::hookedChannel);
        played = FakeMusic::play(8000);
        for (int i = 0; i < frames; ++i) avi.addFrame(-1);
        EXPECT_EQ(frames * 44100 / 40, avi.getSamplesWritten());
    }
    EXPECT_EQ(std::vector<std::int16_t>(played.size()), played) << "the output was not silenced";
    EXPECT_EQ("video\naudio\n", probeStreams(path, "", "codec_type"));
    EXPECT_EQ((std::vector<long>{4408, 4412, 4408, 4412, 4408, 4412, 4408, 4412, 4408}), audioChunkSizes(path));
    auto expected = FakeMusic::sound(8000);
    expected.resize(frames * 44100 / 40 * 2, 0);
    EXPECT_TRUE(decodeAudioS16(path) == expected) << "the file's sound is not the music's";
}

TEST_F(Writer, TheWaitEndsOnlyWhenMoreThanTheChunkHasArrived) {
    VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
    avi.attachFrameBuffer(nullptr, &music);
    std::vector<std::int16_t> block(4408 / 2, 5);
    FakeMusic::hook(1, 1, block.data(), 4408, 0);  // exactly frame 0's chunk
    // The waiting thread's processor time: a wait that spins takes a core
    // from the encoder.
    auto waiting = std::async(std::launch::async, [&] {
        timespec begin{}, end{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &begin);
        avi.waitForAudio();
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
        return double(end.tv_sec - begin.tv_sec) + double(end.tv_nsec - begin.tv_nsec) / 1e9;
    });
    EXPECT_EQ(std::future_status::timeout, waiting.wait_for(std::chrono::milliseconds(300)));
    FakeMusic::hook(1, 1, block.data(), 4, 0);
    ASSERT_EQ(std::future_status::ready, waiting.wait_for(std::chrono::seconds(5)));
    EXPECT_LT(waiting.get(), 0.05) << "processor seconds spent waiting 0.3 s for sound";
    FakeMusic::active = false;
}

TEST_F(Writer, TheHookStopsAtTheEndOfTheCaptureBuffer) {
    VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
    avi.attachFrameBuffer(nullptr, &music);
    const std::int64_t capacity = videocapture::capacity();
    ASSERT_EQ(100000000, capacity);
    std::vector<std::uint8_t> block(1 << 20);
    for (std::int64_t fed = 0; fed < capacity + 3 * std::int64_t(block.size()); fed += std::int64_t(block.size())) {
        std::memset(block.data(), 0x5A, block.size());
        FakeMusic::hook(1, 1, block.data(), BASS_DWORD(block.size()), 0);
    }
    EXPECT_EQ(capacity, videocapture::captured());
    EXPECT_EQ(0, block[0]) << "sound past the end is still silenced";
    EXPECT_EQ(0x5A, avi.getAudioBuffer()[capacity - 1]);
    FakeMusic::active = false;
}

TEST_F(Writer, LowMemoryAsksForTheSmallBuffer) {
    videocapture::setAllocator([](std::size_t bytes) { return bytes > 50000000 ? nullptr : std::calloc(bytes, 1); });
    EXPECT_EXIT(
        {
            MessageBoxRecorder no(IDNO);
            VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        },
        ::testing::ExitedWithCode(0), "");
    MessageBoxRecorder yes(IDYES);
    {
        VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        EXPECT_EQ(35000000, videocapture::capacity());
    }
    ASSERT_EQ(2u, yes.calls.size());
    EXPECT_EQ("Oups. Low memory detected!", yes.calls[0].caption);
    EXPECT_EQ(MB_YESNO | MB_ICONWARNING, yes.calls[0].type);
    EXPECT_EQ("Ok, let's see if this will crash or not then :)", yes.calls[1].text);
}

// fail(): "Error!" box, exit code 1, with the system's text when it has one.
TEST_F(Writer, FailuresEndTheProcessWithTheirText) {
    const auto failsWith = [&](const char* fileName, const char* message, int code, const char* shown) {
        EXPECT_EXIT(
            {
                printMessageBoxesToStderr();
                VideoStream(nullptr, fileName, W, H, false, 40, 44100, 16).fail(message, code);
            },
            ::testing::ExitedWithCode(1), shown);
    };
    failsWith(path.c_str(), "Couldn't write to avi stream", -28,
              "\\[Error!\\] Couldn't write to avi stream - 'No space left on device'");
    failsWith(path.c_str(), "Something", 666, "\\[Error!\\] Something!");
    // A file that cannot be made is named in full, so the folder shows.
    failsWith(dir.path("no/such/dir.avi").c_str(), "", 0,
              "Cannot create \"/.*/no/such/dir\\.avi\"\\.\n.*Couldn't open avi file! - 'No such file or directory'");
    // A write failing mid-render ends it the same way.
    vfw::setFailureHook([](const char* call, FOURCC type) -> HRESULT {
        static int frames = 0;
        return std::strcmp(call, "AVIStreamWrite") == 0 && type == streamtypeVIDEO && ++frames == 3 ? -28 : 0;
    });
    EXPECT_EXIT(
        {
            printMessageBoxesToStderr();
            VideoStream avi(nullptr, path.c_str(), W, H, false, 40, 44100, 16);
            avi.attachFrameBuffer(frame.data(), nullptr);
            for (int i = 0; i < 10; ++i) avi.addFrame(-1);
            std::exit(7);
        },
        ::testing::ExitedWithCode(1), "Couldn't write to avi stream - 'No space left on device'");
}

// A write that fails after its call returned (the encoder has a thread of
// its own) still ends the render as a failure, with the text of the step
// that failed: a frame early on, the last queued frames, the index.
TEST_F(Writer, AWriteThatFailsLateEndsTheRenderWithItsOwnText) {
    setenv("QVO_CODEC", "rawvideo", 1);
    const int frames = 12;
    const auto renderAll = [&] {
        VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        avi.attachFrameBuffer(frame.data(), &music);
        FakeMusic::play(frames * 1103);
        for (int i = 0; i < frames; ++i) {
            avi.addFrame(i * 100 / frames);
            // Time for the encoder to meet a failure before the next frame's
            // sound is written.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    renderAll();
    const long whole = long(ScratchDir::read(path).size());
    ASSERT_GT(whole, frames * W * H * 3);
    using ::testing::AllOf;
    using ::testing::ContainsRegex;
    using ::testing::HasSubstr;
    using ::testing::Not;
    const struct {
        long limit;
        const char* shown;
    } cases[] = {
        {4096, "Couldn't write to avi stream - 'File too large'"},
        {whole / 2, "Couldn't write to avi stream - 'File too large'"},
        {whole - 2 * W * H * 3, "Couldn't write to avi stream - 'File too large'"},
        {whole - 100, "Couldn't complete avi file - 'File too large'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        const auto renderUnderLimit = [&] {
            printMessageBoxesToStderr();
            std::fputs("under the limit\n", stderr);  // the child runs the test from the top
            const rlimit limit{rlim_t(c.limit), rlim_t(c.limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
            FakeMusic::active = true;
            renderAll();
            std::exit(0);
        };
        EXPECT_EXIT(renderUnderLimit(), ::testing::ExitedWithCode(1),
                    AllOf(HasSubstr(std::string("[Error!] ") + c.shown), HasSubstr("left incomplete"),
                          Not(ContainsRegex("under the limit.*Render done"))));
    }
}

TEST_F(Writer, AnAudioStreamThatCannotBeMadeOnlyDisablesSound) {
    vfw::setFailureHook([](const char* call, FOURCC type) -> HRESULT {
        return std::strcmp(call, "AVIStreamSetFormat") == 0 && type == streamtypeAUDIO ? -22 : 0;
    });
    MessageBoxRecorder boxes;
    {
        VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        EXPECT_FALSE(avi.audioEnabled());
        avi.attachFrameBuffer(frame.data(), &music);
        EXPECT_EQ(nullptr, FakeMusic::hook) << "no capture without an audio stream";
        avi.addFrame(-1);
    }
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ("Couldn't create audio stream for avi - sound disabled!", boxes.calls[0].text);
    EXPECT_EQ("video,1\n", probeStreams(path, "", "codec_type,nb_read_frames"));
}

TEST(VideoMode, FrameRatesOutsideOneToAThousandAreRefused) {
    for (float rate : {1.0f, 1000.0f}) EXPECT_TRUE(videoFrameRateValid(rate)) << rate;
    for (float rate : {0.0f, 0.99f, 1001.0f, 2147483648.0f}) EXPECT_FALSE(videoFrameRateValid(rate)) << rate;
}

TEST(RenderProgress, TheLineShowsPercentFramesSpeedAndTimeLeft) {
    EXPECT_EQ("Rendering video:  25%    1520 frames   152.0 fps  0:30 left", formatRenderProgress(25, 1520, 10.0));
    EXPECT_EQ("Rendering video: 100%    6082 frames   304.1 fps", formatRenderProgress(100, 6082, 20.0));
    EXPECT_EQ("Rendering video:   0%       0 frames     0.0 fps", formatRenderProgress(0, 0, 0.0));
}

}  // namespace
