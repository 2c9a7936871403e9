#include "tools/render/publish.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "codecs/publishframe.h"
#include "demo/frameloop.h"
#include "demo/headlessrender.h"
#include "demo/music.h"
#include "demo/stopsignals.h"
#include "demo/videomode.h"
#include "platform/bass.h"
#include "platform/bassoutput.h"
#include "platform/ffmpeg/mp4threadedwriter.h"
#include "platform/ffmpeg/mp4writer.h"
#include "source/debugserver.h"
#include "source/fileserver.h"
#include "source/rendercancel.h"
#include "source/renderprogress.h"
#include "source/videostream.h"

namespace {

constexpr int sourceWidth = 640, sourceHeight = 480, sampleRate = 44100;

// The file's settings, chosen by measuring the demo's noise decoded back
// (scripts/publish-quality.sh): red noise lives in Cr, which x264 quantises
// harder than luma, so chroma gets x264's largest offset; luma then has
// bits to spare at this CRF. Psychovisual tuning stays on: without it
// (tune psnr) the same CRF loses more than a decibel.
constexpr int defaultCrf = 17;
constexpr int defaultChromaQpOffset = -12;
constexpr const char* defaultPreset = "veryfast";

// Sample frames the sound holds once frame `frames` has ended, as the video
// mode counts them.
std::int64_t soundEnd(std::int64_t frames, std::int64_t frameRate) { return frames * sampleRate / frameRate; }

std::vector<std::int16_t> capturedMusic;
std::atomic<std::size_t> capturedCount{0};  // read while the mixer's thread appends

void captureMusic(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    const auto* samples = static_cast<const std::int16_t*>(buffer);
    capturedMusic.insert(capturedMusic.end(), samples, samples + length / 2);
    capturedCount.store(capturedMusic.size(), std::memory_order_release);
}

// The main clip through the offline output, every block as the video
// mode's capture hook receives it, up to `wanted` sample frames or its
// end (a short slice near the start needs only its first seconds); empty
// (and why) when it cannot play.
std::vector<std::int16_t> decodeMusic(const std::string& pack, std::int64_t wanted, std::string& why) {
    DebugServer debug(11, 0);
    FileServer files(&debug, 200);
    files.openPack(pack.c_str());
    const std::int32_t size = files.getFileSize(mainMusicName);
    const unsigned char* clip = files.getFile(mainMusicName);
    if (!clip || size <= 0) {
        why = std::string("the pack has no ") + mainMusicName;
        return {};
    }
    capturedMusic.clear();
    capturedCount = 0;
    bass::useOfflineOutput(true);
    HSTREAM stream = 0;
    if (!BASS_Init(-1, sampleRate, 16, nullptr) ||
        !(stream = BASS_StreamCreateFile(1, clip, 0, BASS_DWORD(size), 0)) ||
        !BASS_ChannelSetDSP(stream, captureMusic, 0) || !BASS_Start() || !BASS_StreamPlay(stream, 0, 0)) {
        why = std::string("the music would not play: ") + bass::lastError();
        BASS_Free();
        return {};
    }
    // The stream turns inactive only after its last block went through the
    // hook; after BASS_Stop no block goes through it.
    while (BASS_ChannelIsActive(stream) && capturedCount.load(std::memory_order_acquire) < std::size_t(2 * wanted))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    BASS_Stop();
    BASS_StreamFree(stream);
    BASS_Free();
    bass::useOfflineOutput(false);
    return std::move(capturedMusic);
}

// The partial file goes unless the publish took it over.
struct PartialFile {
    std::string path;
    ~PartialFile() {
        if (path.empty()) return;
        rendercancel::setAbandonedFile(nullptr);
        std::error_code error;
        std::filesystem::remove(path, error);
    }
};

// QVO_TIMINGS=1: where a publish's time goes, said at its end. "waiting"
// is the time the renderer waited for a free picture: the encoder is the
// slower side by that much.
class PhaseTimes {
public:
    void mark(const char* name) {
        if (!on) return;
        const auto now = Clock::now();
        char part[80];
        std::snprintf(part, sizeof part, "%s%s %.2f s", text.empty() ? "" : ", ", name, seconds(last, now));
        text += part;
        last = now;
    }
    // Time spent in `step`, added to the waiting total.
    template <typename Step>
    auto waitFor(Step step) {
        if (!on) return step();
        const auto before = Clock::now();
        auto result = step();
        waiting += seconds(before, Clock::now());
        return result;
    }
    void report() const {
        if (on) std::fprintf(stderr, "publish phases: %s (of which waiting for the encoder %.2f s)\n", text.c_str(), waiting);
    }

private:
    using Clock = std::chrono::steady_clock;
    static double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
    bool on = std::getenv("QVO_TIMINGS") != nullptr;
    Clock::time_point last = Clock::now();
    std::string text;
    double waiting = 0;
};

int fail(const std::string& why, ProgressLine& progress) {
    progress.breakLine();
    std::fprintf(stderr, "qvo-render: %s\n", why.c_str());
    return 1;
}

}  // namespace

bool publishHeightValid(int height) { return height == 2160 || height == 1440; }

int publish(const PublishRequest& request) {
    ProgressLine progress;
    const int fps = request.frameRate;
    const std::int64_t total = videoFrameTotal(fps);
    const std::int64_t first = std::llround(request.from * fps);
    const std::int64_t last = request.to < 0 ? total : std::min<std::int64_t>(total, std::llround(request.to * fps));
    if (first < 0 || first >= last)
        return fail("--from and --to leave no frame to publish (the show has " + std::to_string(total) +
                        " frames at " + std::to_string(fps) + " fps)",
                    progress);

    publishframe::Geometry geometry;
    const int width = request.height * 16 / 9, factor = request.height == 2160 ? 4 : 3;
    publishframe::fits(sourceWidth, sourceHeight, width, request.height, factor, geometry);

    PhaseTimes phases;
    std::string why;
    const std::vector<std::int16_t> music = decodeMusic(request.pack, soundEnd(last, fps), why);
    if (music.empty()) return fail(why, progress);
    phases.mark("music");
    const std::int64_t musicFrames = std::int64_t(music.size()) / 2;

    mp4::Settings settings;
    settings.title = "Quel Varn Ossa";
    settings.width = geometry.width;
    settings.height = geometry.height;
    settings.frameRate = fps;
    settings.sampleRate = sampleRate;
    settings.crf = request.crf >= 0 ? request.crf : defaultCrf;
    settings.chromaQpOffset = defaultChromaQpOffset;
    settings.preset = request.preset.empty() ? defaultPreset : request.preset;
    PartialFile partial{partialName(request.output)};
    settings.path = partial.path;
    // One picture filled here, one waiting, one with the encoder.
    settings.pictures = 3;
    mp4::Writer writer;
    if (!writer.open(settings, why)) return fail(why, progress);
    mp4::ThreadedWriter out(writer, settings.pictures);
    phases.mark("encoder set up");

    std::vector<std::int16_t> silence;
    bool stopped = false, finished = false, failed = false;
    HeadlessRenderer renderer(request.pack, float(fps));
    renderer.run([&](int index, const unsigned char* frame24, int) {
        if (index == 0) {
            // The run starts from a clean process state, stop handling
            // included: ours go in from here. A first Ctrl-C completes the
            // file with the frames so far; a second removes it.
            catchStopSignals();
            rendercancel::catchInterrupt();
            rendercancel::setAbandonedFile(partial.path.c_str());
        }
        if (index < first) return true;
        if (!progress.started()) {
            phases.mark("frames before the slice");
            progress.start();
        }
        if (stopRequested() || renderCancelled()) {
            progress.breakLine();
            std::fprintf(stderr, "Interrupted: completing the file with the frames so far "
                                 "(Ctrl-C again to abandon it)\n");
            stopped = true;
        } else {
            const std::int64_t begin = soundEnd(index, fps), end = soundEnd(index + 1, fps);
            const std::int16_t* sound = nullptr;
            if (end <= musicFrames) {
                sound = music.data() + 2 * begin;
            } else {
                // Past the clip's end the capture hears silence.
                silence.assign(std::size_t(2 * (end - begin)), 0);
                for (std::int64_t s = begin; s < std::min(end, musicFrames); ++s) {
                    silence[std::size_t(2 * (s - begin))] = music[std::size_t(2 * s)];
                    silence[std::size_t(2 * (s - begin) + 1)] = music[std::size_t(2 * s + 1)];
                }
                sound = silence.data();
            }
            const int picture = phases.waitFor([&] { return out.take(); });
            if (picture < 0) {
                out.finish(why);  // the writer's failure, said
                failed = true;
                return false;
            }
            std::uint8_t* const* planes = out.planes(picture);
            if (!planes) {
                why = "out of memory for the picture";
                failed = true;
                return false;
            }
            publishframe::convert(frame24, sourceWidth, sourceHeight, 3, sourceWidth * 3, geometry, planes,
                                  out.strides(picture));
            out.submit(picture, sound, int(end - begin));
            const std::int64_t done = index + 1 - first;
            progress.show(int(done * 100 / (last - first)), int(done));
            if (index + 1 < last) return true;
        }
        // Completed while the stop handling is still ours: a second Ctrl-C
        // during the last pass over the file abandons it.
        phases.mark("the slice's frames");
        if (!out.finish(why)) failed = true;
        phases.mark("last frames encoded, index");
        finished = !failed;
        return false;
    });
    if (failed) return fail(why, progress);
    if (!finished) return fail("the timeline ended before the frames asked for", progress);

    std::error_code error;
    std::filesystem::rename(partial.path, request.output, error);
    if (error) return fail("cannot name the file " + request.output + ": " + error.message(), progress);
    partial.path.clear();
    progress.finish(int(writer.framesWritten()), writer.samplesWritten(), sampleRate, stopped);
    phases.report();
    return 0;
}
