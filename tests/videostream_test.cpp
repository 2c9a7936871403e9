// The AVI writer's rules against an encoder that records in memory: chunk
// sizes and order, the captured sound and its buffer, each failure's text,
// cancelling. Files under a real size limit are read back too; whole renders
// are checked by tests/e2e/video.sh.
#include "source/videostream.h"

#include "demo/videomode.h"
#include "platform/ffmpeg/aviencoder.h"
#include "tests/support/aviprobe.h"
#include "source/processstate.h"
#include "source/renderdialog.h"
#include "tests/support/memoryencoder.h"
#include "tests/support/messageboxes.h"
#include "tests/support/scratchdir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
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

// The progress window, scripted: each press of Cancel is queued, and what
// the writer shows is kept.
struct FakeDialog : ProgressDisplay {
    static inline int presses = 0;
    static inline int position = -1;
    static inline bool open = false;
    FakeDialog() { open = true; }
    ~FakeDialog() override { open = false; }
    void setPosition(int percent) override { position = percent; }
    bool cancelPressed() override { return presses > 0 && presses-- > 0; }
};

// The names in a folder, sorted.
std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Writer : public ::testing::Test {
protected:
    void SetUp() override {
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";
        setenv("QVO_CODEC", "utvideo", 1);
        freshProcess();
    }
    // As a new process would be, with the fake music and the scripted window.
    static void freshProcess() {
        resetProcessState();
        videocapture::setAudioSource(&fakeSource);
        rendercancel::setDisplayFactory([] { return std::make_unique<FakeDialog>(); });
        FakeMusic::active = true;
        FakeMusic::hook = nullptr;
        FakeDialog::presses = 0;
        FakeDialog::position = -1;
    }
    void TearDown() override {
        videocapture::setAudioSource(nullptr);
        videocapture::setAllocator(nullptr);
        vfw::setFailureHook(nullptr);
        rendercancel::setDisplayFactory(nullptr);
        MemoryEncoder::uninstall();
    }
    ScratchDir dir;
    std::string path = dir.path("quel varn ossa.avi");
    std::vector<std::uint8_t> frame = rowNumbered();
    HSTREAM music = 77;
    MemoryEncoder::Record& record = MemoryEncoder::install();

    // Each row's bytes hold its number, so an upside-down frame shows.
    static std::vector<std::uint8_t> rowNumbered() {
        std::vector<std::uint8_t> f(std::size_t(W) * H * 3);
        for (int y = 0; y < H; ++y) std::memset(&f[std::size_t(y) * W * 3], y & 255, std::size_t(W) * 3);
        return f;
    }
};

// At 40 fps the chunks alternate 1102/1103 sample frames of the music, each
// written before its frame; the output is silenced, frames past the end of
// the music get silence, and the frames go in bottom-up.
TEST_F(Writer, TheCapturedSoundIsWrittenInFrameSizedChunksBeforeEachFrame) {
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
    ASSERT_TRUE(record.finished && record.videoEnded);
    EXPECT_EQ(44100u, DWORD(record.wave.nSamplesPerSec));  // a copy: the packed field is unaligned
    std::string order;
    std::vector<std::int64_t> chunks;
    std::vector<std::int16_t> sound;
    for (const auto& w : record.writes) {
        order += w.kind;
        if (w.kind == 'v') continue;
        chunks.push_back(w.count);
        const auto* samples = reinterpret_cast<const std::int16_t*>(w.data.data());
        sound.insert(sound.end(), samples, samples + w.data.size() / 2);
    }
    EXPECT_EQ("avavavavavavavavav", order);
    EXPECT_EQ((std::vector<std::int64_t>{1102, 1103, 1102, 1103, 1102, 1103, 1102, 1103, 1102}), chunks);
    auto expected = FakeMusic::sound(8000);
    expected.resize(frames * 44100 / 40 * 2, 0);
    EXPECT_TRUE(sound == expected) << "the written sound is not the music's";
    ASSERT_EQ(frame.size(), record.writes[1].data.size());
    EXPECT_EQ((H - 1) & 255, record.writes[1].data[0]) << "the first row written is the bottom one";
    EXPECT_TRUE(record.video.bottomUp);
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
    MemoryEncoder::uninstall();
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
}

// A write that fails after its call returned (the encoder has a thread of
// its own) still ends the render as a failure, with the text of the step
// that failed: a frame early on, the last queued frames, the index.
TEST_F(Writer, AWriteThatFailsLateEndsTheRenderWithItsOwnText) {
    MemoryEncoder::uninstall();
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
                    AllOf(HasSubstr(std::string("[Error!] ") + c.shown),
                          HasSubstr("The unfinished render was removed; the earlier"),
                          Not(ContainsRegex("under the limit.*Render done"))));
        EXPECT_EQ(whole, long(ScratchDir::read(path).size())) << "the earlier render is untouched";
        EXPECT_EQ(std::vector<std::string>{"quel varn ossa.avi"}, filesIn(dir.path()));
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
    EXPECT_FALSE(record.audio);
    ASSERT_EQ(1u, record.writes.size());
    EXPECT_EQ('v', record.writes[0].kind);
}

// Every failure, wherever it happens, ends the render with the "Error!" box
// naming the step that failed, exit code 1 and never "Render done": a
// writer sets up 3 frames with sound (writes 1..6: sound, frame, sound...).
TEST_F(Writer, EachStepFailsWithItsOwnText) {
    using ::testing::AllOf;
    using ::testing::ContainsRegex;
    using ::testing::HasSubstr;
    using ::testing::Not;
    const struct {
        const char* hookedCall;  // fails through the failure hook, or
        FOURCC hookedType;
        int failWrite;  // the encoder's Nth write fails, or
        bool failFinish;
        const char* shown;
    } cases[] = {
        {"AVIFileCreateStreamA", streamtypeVIDEO, 0, false, "Couldn't create avi stream - 'No space left on device'"},
        {"AVIMakeCompressedStream", streamtypeVIDEO, 0, false, "Couldn't create compressed avi stream - 'No space"},
        {"AVIStreamSetFormat", streamtypeVIDEO, 0, false, "Couldn't set for avi stream - 'No space left on device'"},
        {"", 0, 1, false, "Couldn't write audio to avi stream - 'No space left on device'"},
        {"", 0, 2, false, "Couldn't write to avi stream - 'No space left on device'"},
        {"", 0, 5, false, "Couldn't write audio to avi stream - 'No space left on device'"},  // the last sound
        {"", 0, 6, false, "Couldn't write to avi stream - 'No space left on device'"},        // the last frame
        {"", 0, 0, true, "Couldn't complete avi file - 'No space left on device'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        const auto render = [&] {
            printMessageBoxesToStderr();
            std::fputs("rendering\n", stderr);  // the child runs the test from the top
            record.failWrite = c.failWrite;
            record.failFinish = c.failFinish;
            const std::string call = c.hookedCall;
            const FOURCC type = c.hookedType;
            vfw::setFailureHook([call, type](const char* name, FOURCC t) -> HRESULT {
                return call == name && t == type ? -ENOSPC : 0;
            });
            {
                VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
                avi.attachFrameBuffer(frame.data(), &music);
                FakeMusic::play(4000);
                for (int i = 0; i < 3; ++i) avi.addFrame(-1);
            }
            std::exit(0);
        };
        EXPECT_EXIT(render(), ::testing::ExitedWithCode(1),
                    AllOf(HasSubstr(std::string("[Error!] ") + c.shown), Not(ContainsRegex("rendering.*Render done"))));
    }
}

// Cancel in the progress window asks "Really?": No goes on rendering with the
// window as it was; Yes closes the window and ends the render, and the file
// is completed with the frames so far and their sound.
TEST_F(Writer, CancelAsksAndYesCompletesTheFileWithTheFramesSoFar) {
    for (int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer == IDYES ? "Yes" : "No");
        freshProcess();
        MessageBoxRecorder boxes(answer);
        MemoryEncoder::Record& r = MemoryEncoder::install();
        int frames = 0;
        {
            VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
            avi.attachFrameBuffer(frame.data(), &music);
            FakeMusic::active = true;
            FakeMusic::play(20000);
            for (; frames < 12 && !renderCancelled(); ++frames) {
                if (frames == 4) FakeDialog::presses = 1;
                avi.addFrame(frames * 10);
            }
            EXPECT_EQ(answer == IDNO, FakeDialog::open);
        }
        ASSERT_EQ(1u, boxes.calls.size());
        EXPECT_EQ("Really?", boxes.calls[0].text);
        EXPECT_EQ(MB_YESNO | MB_ICONQUESTION, boxes.calls[0].type);
        EXPECT_EQ(answer == IDYES ? 5 : 12, frames);
        EXPECT_EQ(answer == IDYES ? 40 : 110, FakeDialog::position) << "the window's last progress";
        EXPECT_TRUE(r.finished);
        EXPECT_EQ(std::size_t(frames), r.count('v'));
        EXPECT_EQ(frames * 44100 / 40, r.samples());
    }
}

// Ctrl-C ends the render the same way, without asking; a second one
// abandons it at once.
TEST_F(Writer, CtrlCCompletesTheFileAndASecondOneAbandonsIt) {
    int frames = 0;
    {
        VideoStream avi(nullptr, path.c_str(), W, H, true, 40, 44100, 16);
        avi.attachFrameBuffer(frame.data(), &music);
        FakeMusic::play(20000);
        for (; frames < 12 && !renderCancelled(); ++frames) {
            if (frames == 3) std::raise(SIGINT);
            avi.addFrame(-1);
        }
    }
    EXPECT_EQ(4, frames);
    EXPECT_TRUE(record.finished);
    EXPECT_EQ(4 * 44100 / 40, record.samples());
    const auto twice = [&] {
        VideoStream avi(nullptr, path.c_str(), W, H, false, 40, 44100, 16);
        avi.attachFrameBuffer(frame.data(), nullptr);
        avi.addFrame(-1);
        std::raise(SIGINT);
        avi.addFrame(-1);
        std::raise(SIGINT);
        std::exit(0);
    };
    EXPECT_EXIT(twice(), ::testing::ExitedWithCode(130), "Ctrl-C again to abandon it(.|\n)*Abandoned");
}

// Until it is complete a render has a name of its own: an earlier render
// stays whole beside it, and only the finished file takes its place.
TEST_F(Writer, ARenderTakesItsNameOnlyWhenComplete) {
    MemoryEncoder::uninstall();
    setenv("QVO_CODEC", "rawvideo", 1);
    dir.write("quel varn ossa.avi", "an earlier render");
    {
        VideoStream avi(nullptr, path.c_str(), W, H, false, 40, 44100, 16);
        avi.attachFrameBuffer(frame.data(), nullptr);
        for (int i = 0; i < 3; ++i) avi.addFrame(-1);
        EXPECT_EQ("an earlier render", ScratchDir::read(path));
        const std::vector<std::string> names = filesIn(dir.path());
        ASSERT_EQ(2u, names.size());
        EXPECT_THAT(names[1], ::testing::MatchesRegex("quel varn ossa\\.partial-[0-9]+\\.avi"));
    }
    EXPECT_EQ(std::vector<std::string>{"quel varn ossa.avi"}, filesIn(dir.path()));
    if (aviToolsAvailable()) {
        EXPECT_EQ("rawvideo,3\n", probeStreams(path, "v:0", "codec_name,nb_read_frames"));
    }
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

// In a log (not a terminal) a line every ten percent; the last frames all
// show 100 %, and the 100 % line counts every one of them, as the summary does.
TEST(RenderProgress, TheLastLineCountsEveryFrame) {
    ::testing::internal::CaptureStderr();
    ProgressLine line;
    line.start();
    for (int frame = 1; frame <= 30; ++frame) line.show(std::min(100, frame * 4), frame);
    line.finish(30, 0, 0, false);
    const std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(shown, ::testing::ContainsRegex("Rendering video:  92% +23 frames"));
    EXPECT_THAT(shown, ::testing::ContainsRegex("Rendering video: 100% +30 frames.*\nRender done: 30 frames"));
    EXPECT_THAT(shown, ::testing::Not(::testing::HasSubstr(" 25 frames")));
}

}  // namespace
