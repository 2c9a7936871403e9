// The AVI writer: frames, captured sound, failures, cancel; files read back
// with ffprobe/ffmpeg.
#include "source/videostream.h"

#include "demo/videomode.h"
#include "platform/bassoutput.h"
#include "tests/support/aviprobe.h"
#include "tests/support/messageboxes.h"
#include "tests/support/mp3clip.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <csignal>
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

    // Plays `total` sample frames through the hook in 1024-frame blocks and
    // returns what the output would have played.
    static std::vector<std::int16_t> play(std::size_t total) {
        std::vector<std::int16_t> output;
        for (std::size_t at = 0; at < total; at += 1024) {
            std::size_t n = std::min<std::size_t>(1024, total - at);
            auto block = sound(n, at);
            hook(1, hookedChannel, block.data(), BASS_DWORD(block.size() * 2), 0);
            output.insert(output.end(), block.begin(), block.end());
        }
        active = false;
        return output;
    }
};
const videocapture::AudioSource fakeSource{FakeMusic::setDSP, FakeMusic::isActive};

std::vector<std::uint8_t> frame24(int index) {
    std::vector<std::uint8_t> f(std::size_t(W) * H * 3);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            std::uint8_t* p = &f[(std::size_t(y) * W + x) * 3];
            p[0] = std::uint8_t(x ^ index);
            p[1] = std::uint8_t(y + index * 5);
            p[2] = std::uint8_t((x * y) >> 3);
        }
    for (int x = 0; x < W; ++x) {  // top row red
        std::uint8_t* p = &f[std::size_t(x) * 3];
        p[0] = 0, p[1] = 0, p[2] = 255;
    }
    return f;
}

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
        videocapture::resetCancel();
    }
    ScratchDir dir;
    std::string path = dir.path("quel varn ossa.avi");
};

TEST_F(Writer, WithoutSoundTheFileHasOneStreamOfUprightFrames) {
    MessageBoxRecorder boxes;
    std::vector<std::uint8_t> expected;
    {
        VideoStream avi(nullptr, path.c_str(), W, H, false, 10, 44100, 16);
        std::vector<std::uint8_t> frame;
        avi.attachFrameBuffer(nullptr, nullptr);  // no stream needed with sound off
        for (int i = 0; i < 4; ++i) {
            frame = frame24(i);
            avi.attachFrameBuffer(frame.data(), nullptr);
            avi.addFrame(i * 25);
            expected.insert(expected.end(), frame.begin(), frame.end());
        }
        EXPECT_EQ(4, avi.getFramesWritten());
        EXPECT_EQ(0, avi.getSamplesWritten());
    }
    EXPECT_TRUE(boxes.calls.empty());
    AviSummary s = probeAvi(path);
    ASSERT_TRUE(s.readable) << s.error;
    EXPECT_EQ(1, s.videoStreams);
    EXPECT_EQ(0, s.audioStreams);
    EXPECT_EQ("10/1", s.frameRate);
    EXPECT_EQ(4, s.videoFrames);
    EXPECT_TRUE(decodeVideoBgr24(path) == expected) << "frames differ from what was handed in";
}

// At 40 fps the chunks alternate 1102/1103 sample frames, each frame's
// sound is written before the frame, and the sound is the music's.
TEST_F(Writer, TheCapturedSoundIsWrittenInFrameSizedChunks) {
    const int frames = 9;
    std::vector<std::int16_t> played;
    {
        VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        ASSERT_TRUE(avi.audioEnabled());
        auto frame = frame24(0);
        HSTREAM music = 77;
        avi.attachFrameBuffer(frame.data(), &music);
        ASSERT_NE(nullptr, FakeMusic::hook);
        EXPECT_EQ(77u, FakeMusic::hookedChannel);
        // The music runs ahead of the writer and ends, as the offline output does.
        played = FakeMusic::play(20000);
        for (int i = 0; i < frames; ++i) avi.addFrame(-1);
        EXPECT_EQ(frames * 44100 / 40, avi.getSamplesWritten());
    }
    for (std::size_t i = 0; i < played.size(); ++i) ASSERT_EQ(0, played[i]) << "the output was not silenced";

    AviSummary s = probeAvi(path);
    ASSERT_TRUE(s.readable) << s.error;
    EXPECT_EQ(1, s.audioStreams);
    EXPECT_EQ(44100, s.sampleRate);
    EXPECT_EQ(2, s.channels);
    EXPECT_EQ(frames, s.videoFrames);
    const std::vector<long> chunks = audioChunkSizes(path);
    const std::vector<long> expected = {4408, 4412, 4408, 4412, 4408, 4412, 4408, 4412, 4408};
    EXPECT_EQ(expected, chunks);
    auto sound = decodeAudioS16(path);
    EXPECT_EQ(std::size_t(frames * 44100 / 40 * 2), sound.size());
    EXPECT_TRUE(sound == FakeMusic::sound(frames * 44100 / 40)) << "the file's sound is not the music's";
}

// Sound that stops early (or never came) leaves silence, not garbage, and
// nothing waits once the music has ended.
TEST_F(Writer, FramesBeyondTheMusicGetSilence) {
    {
        VideoStream avi(nullptr, path.c_str(), W, H, true, 25, 44100, 16);
        auto frame = frame24(1);
        HSTREAM music = 1;
        avi.attachFrameBuffer(frame.data(), &music);
        FakeMusic::play(1000);
        for (int i = 0; i < 3; ++i) avi.addFrame(-1);
    }
    auto sound = decodeAudioS16(path);
    ASSERT_EQ(std::size_t(3 * 1764 * 2), sound.size());
    auto music = FakeMusic::sound(1000);
    EXPECT_TRUE(std::equal(music.begin(), music.end(), sound.begin()));
    for (std::size_t i = music.size(); i < sound.size(); ++i) ASSERT_EQ(0, sound[i]);
}

TEST_F(Writer, TheWaitEndsOnlyWhenMoreThanTheChunkHasArrived) {
    VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
    HSTREAM music = 1;
    avi.attachFrameBuffer(nullptr, &music);
    std::vector<std::int16_t> block(4408 / 2, 5);
    FakeMusic::hook(1, 1, block.data(), 4408, 0);  // exactly frame 0's chunk
    auto waiting = std::async(std::launch::async, [&] { avi.waitForAudio(); });
    EXPECT_EQ(std::future_status::timeout, waiting.wait_for(std::chrono::milliseconds(100)));
    std::int16_t more[2] = {1, 1};
    FakeMusic::hook(1, 1, more, 4, 0);
    EXPECT_EQ(std::future_status::ready, waiting.wait_for(std::chrono::seconds(5)));
    FakeMusic::active = false;
}

TEST_F(Writer, TheHookStopsAtTheEndOfTheCaptureBuffer) {
    VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
    HSTREAM music = 1;
    avi.attachFrameBuffer(nullptr, &music);
    const std::int64_t capacity = videocapture::capacity();
    ASSERT_EQ(100000000, capacity);
    std::vector<std::uint8_t> block(1 << 20, 0x5A);
    for (std::int64_t fed = 0; fed < capacity + 3 * std::int64_t(block.size()); fed += std::int64_t(block.size())) {
        std::memset(block.data(), 0x5A, block.size());
        FakeMusic::hook(1, 1, block.data(), BASS_DWORD(block.size()), 0);
    }
    EXPECT_EQ(capacity, videocapture::captured());
    EXPECT_EQ(0, block[0]) << "sound past the end is still silenced";
    EXPECT_EQ(0x5A, avi.getAudioBuffer()[capacity - 1]);
    FakeMusic::active = false;
}

void* failingAllocation(std::size_t bytes) { return bytes > 50000000 ? nullptr : std::calloc(bytes, 1); }

TEST_F(Writer, LowMemoryAsksForTheSmallBuffer) {
    videocapture::setAllocator(failingAllocation);
    EXPECT_EXIT(
        {
            MessageBoxRecorder no(IDNO);
            VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
            std::exit(9);  // not reached
        },
        ::testing::ExitedWithCode(0), "");
    MessageBoxRecorder answer(IDYES);
    {
        VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        EXPECT_EQ(35000000, videocapture::capacity());
    }
    ASSERT_EQ(2u, answer.calls.size());
    EXPECT_EQ("Oups. Low memory detected!", answer.calls[0].caption);
    EXPECT_EQ(MB_YESNO | MB_ICONWARNING, answer.calls[0].type);
    EXPECT_EQ("Ehhh.. ", answer.calls[1].caption);
    EXPECT_EQ("Ok, let's see if this will crash or not then :)", answer.calls[1].text);
    videocapture::setAllocator(nullptr);
}

// fail(): "Error!" box, exit code 1, with or without the system's text.
TEST_F(Writer, FailuresEndTheProcessWithTheirText) {
    EXPECT_EXIT(
        {
            printMessageBoxesToStderr();
            VideoStream avi(nullptr, path.c_str(), W, H, false, 40, 44100, 16);
            avi.fail("Couldn't write to avi stream", -28);
        },
        ::testing::ExitedWithCode(1), "\\[Error!\\] Couldn't write to avi stream - 'No space left on device'");
    EXPECT_EXIT(
        {
            printMessageBoxesToStderr();
            VideoStream avi(nullptr, path.c_str(), W, H, false, 40, 44100, 16);
            avi.fail("Something", 666);
        },
        ::testing::ExitedWithCode(1), "\\[Error!\\] Something!");
    EXPECT_EXIT(
        {
            printMessageBoxesToStderr();
            VideoStream avi(nullptr, dir.path("no/such/dir.avi").c_str(), W, H, false, 40, 44100, 16);
        },
        ::testing::ExitedWithCode(1), "Couldn't open avi file! - 'No such file or directory'");
}

TEST_F(Writer, CancellingTheDialogLeavesNoFile) {
    setenv("QVO_CODEC", "cancel", 1);
    EXPECT_EXIT(
        {
            printMessageBoxesToStderr();
            VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        },
        ::testing::ExitedWithCode(1), "\\[Error!\\] avi dialog was aborted!");
    EXPECT_FALSE(ScratchDir::exists(path));
}

TEST_F(Writer, AWriteFailureEndsTheRender) {
    vfw::setFailureHook([](const char* call, FOURCC type) -> HRESULT {
        static int frames = 0;
        return std::strcmp(call, "AVIStreamWrite") == 0 && type == streamtypeVIDEO && ++frames == 3 ? -28 : 0;
    });
    EXPECT_EXIT(
        {
            printMessageBoxesToStderr();
            VideoStream avi(nullptr, path.c_str(), W, H, false, 40, 44100, 16);
            auto frame = frame24(0);
            avi.attachFrameBuffer(frame.data(), nullptr);
            for (int i = 0; i < 10; ++i) avi.addFrame(-1);
            std::exit(7);
        },
        ::testing::ExitedWithCode(1), "Couldn't write to avi stream - 'No space left on device'");
}

// A real disk-full: the file-size limit stops the encoder thread's writes,
// and the writer reports it at a following call.
TEST_F(Writer, ARealFullDiskEndsTheRenderWithItsReason) {
    setenv("QVO_CODEC", "rawvideo", 1);
    EXPECT_EXIT(
        {
            printMessageBoxesToStderr();
            rlimit limit;
            limit.rlim_cur = limit.rlim_max = 4000000;
            setrlimit(RLIMIT_FSIZE, &limit);
            VideoStream avi(nullptr, path.c_str(), W, H, false, 40, 44100, 16);
            auto frame = frame24(0);
            avi.attachFrameBuffer(frame.data(), nullptr);
            for (int i = 0; i < 100; ++i) avi.addFrame(i);
            std::exit(7);
        },
        ::testing::ExitedWithCode(1), "Couldn't write to avi stream - 'File too large'");
}

TEST_F(Writer, AnAudioStreamThatCannotBeMadeOnlyDisablesSound) {
    vfw::setFailureHook([](const char* call, FOURCC type) -> HRESULT {
        return std::strcmp(call, "AVIStreamSetFormat") == 0 && type == streamtypeAUDIO ? -22 : 0;
    });
    MessageBoxRecorder boxes;
    {
        VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        EXPECT_FALSE(avi.audioEnabled());
        auto frame = frame24(0);
        HSTREAM music = 1;
        avi.attachFrameBuffer(frame.data(), &music);
        EXPECT_EQ(nullptr, FakeMusic::hook) << "no capture without an audio stream";
        avi.addFrame(-1);
    }
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ("Couldn't create audio stream for avi - sound disabled!", boxes.calls[0].text);
    EXPECT_EQ("Warning", boxes.calls[0].caption);
    EXPECT_EQ(MB_OK | MB_ICONWARNING, boxes.calls[0].type);
    AviSummary s = probeAvi(path);
    EXPECT_EQ(0, s.audioStreams);
    EXPECT_EQ(1, s.videoFrames);
}

// Ctrl-C mid-render: the loop sees renderCancelled(), and the file is
// completed with the frames and sound written so far.
TEST_F(Writer, AnInterruptLeavesACompleteFileWithTheFramesSoFar) {
    {
        VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        auto frame = frame24(2);
        HSTREAM music = 1;
        avi.attachFrameBuffer(frame.data(), &music);
        FakeMusic::play(44100);
        int frames = 0;
        while (!renderCancelled() && frames < 1000) {
            avi.addFrame(frames / 10);
            if (++frames == 6) std::raise(SIGINT);
        }
        EXPECT_EQ(6, frames);
    }
    std::signal(SIGINT, SIG_DFL);
    AviSummary s = probeAvi(path);
    ASSERT_TRUE(s.readable) << s.error;
    EXPECT_EQ(6, s.videoFrames);
    EXPECT_EQ(std::size_t(6 * 44100 / 40 * 2), decodeAudioS16(path).size());
}

// The real audio stand-in with its offline output: the hook sees the whole
// decode, and the file's sound is the clip's, sample for sample, from its
// first sample.
TEST_F(Writer, TheFileHoldsTheMusicAsDecoded) {
    auto mp3 = encodeMp3(testSignal(44100 * 3));
    if (mp3.empty()) GTEST_SKIP() << lameUnavailableReason();
    const std::vector<std::int16_t> reference = decodeMp3(mp3);
    videocapture::setAudioSource(nullptr);
    bass::useOfflineOutput(true);
    ASSERT_NE(0, BASS_Init(-1, 44100, 0, nullptr)) << bass::lastError();
    HSTREAM music = BASS_StreamCreateFile(1, mp3.data(), 0, BASS_DWORD(mp3.size()), 0);
    ASSERT_NE(0u, music) << bass::lastError();
    const int frames = 100;  // 2.5 s at 40 fps
    {
        VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        auto frame = frame24(3);
        avi.attachFrameBuffer(frame.data(), &music);
        BASS_Start();
        ASSERT_NE(0, BASS_StreamPlay(music, 0, 0));
        for (int i = 0; i < frames; ++i) avi.addFrame(i);
    }
    BASS_Stop();
    BASS_StreamFree(music);
    BASS_Free();
    bass::useOfflineOutput(false);

    auto sound = decodeAudioS16(path);
    ASSERT_EQ(std::size_t(frames * 44100 / 40 * 2), sound.size());
    ASSERT_LE(sound.size(), reference.size());
    EXPECT_TRUE(std::equal(sound.begin(), sound.end(), reference.begin()))
        << "the captured sound is not the clip's decode";
}

TEST(VideoMode, FrameRatesOutsideOneToAThousandAreRefused) {
    EXPECT_TRUE(videoFrameRateValid(1.0f));
    EXPECT_TRUE(videoFrameRateValid(1000.0f));
    EXPECT_FALSE(videoFrameRateValid(0.0f));
    EXPECT_FALSE(videoFrameRateValid(1001.0f));
    EXPECT_FALSE(videoFrameRateValid(2147483648.0f));
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            printMessageBoxesToStderr();
            checkVideoFrameRate(0.0f);
        },
        ::testing::ExitedWithCode(1), "\\[Error!\\] Can't render video at 0 frames per second.*video fps 30 sound=0");
}

TEST(RenderProgress, TheLineShowsPercentFramesSpeedAndTimeLeft) {
    EXPECT_EQ("Rendering video:  25%    1520 frames   152.0 fps  0:30 left", formatRenderProgress(25, 1520, 10.0));
    EXPECT_EQ("Rendering video: 100%    6082 frames   304.1 fps", formatRenderProgress(100, 6082, 20.0));
    EXPECT_EQ("Rendering video:   0%       0 frames     0.0 fps", formatRenderProgress(0, 0, 0.0));
}

}  // namespace
