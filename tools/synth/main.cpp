// qvo-synth: renders the demo's two music clips.
//
//   qvo-synth MAIN.mp3 ALTERNATE.mp3 [--wav]
//
// writes the main clip (composed to the demo's timeline) and the alternate
// clip; with --wav also the unencoded mixes beside them, for listening.
// The clips are rendered on two threads; the output is the same bytes on
// every run. Files are written under a temporary name and renamed, so a
// failed run leaves no truncated clip behind.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <thread>

#include "tools/synth/encoder.h"
#include "tools/synth/mix.h"
#include "tools/synth/score.h"

namespace {

// Peak level of the 16-bit master, about -3 dBFS.
constexpr double masterPeak = 0.7;

void writeWav(const std::vector<std::int16_t>& pcm, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    const auto u32 = [&](std::uint32_t v) { std::fwrite(&v, 4, 1, f); };
    const auto u16 = [&](std::uint16_t v) { std::fwrite(&v, 2, 1, f); };
    const std::uint32_t bytes = std::uint32_t(pcm.size() * 2);
    std::fwrite("RIFF", 1, 4, f), u32(36 + bytes), std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16), u16(1), u16(2), u32(synth::sampleRate), u32(synth::sampleRate * 4), u16(4), u16(16);
    std::fwrite("data", 1, 4, f), u32(bytes);
    std::fwrite(pcm.data(), 2, pcm.size(), f);
    if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + path);
}

struct Job {
    std::function<synth::Score()> compose;
    std::string path;
    std::string error;
};

std::string withExtension(const std::string& path, const std::string& extension) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? path.substr(0, dot) : path) + extension;
}

double secondsSince(std::chrono::steady_clock::time_point begin) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

void run(Job& job, bool wav) {
    try {
        const auto begin = std::chrono::steady_clock::now();
        const synth::Score score = job.compose();
        const std::vector<std::int16_t> pcm = synth::toPcm16(synth::mixScore(score), masterPeak);
        const double rendered = secondsSince(begin);
        const std::string& path = job.path;
        const std::string partial = path + ".part";
        synth::encodeMp3(pcm, partial);
        if (std::rename(partial.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot rename to " + path);
        if (wav) writeWav(pcm, withExtension(path, ".wav"));
        std::printf("qvo-synth: %s (%s): %.1f s of music, rendered in %.1f s, encoded in %.1f s\n", path.c_str(),
                    score.title.c_str(), double(pcm.size() / 2) / synth::sampleRate, rendered,
                    secondsSince(begin) - rendered);
    } catch (const std::exception& e) {
        job.error = e.what();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4 || (argc == 4 && std::string(argv[3]) != "--wav")) {
        std::fprintf(stderr, "usage: qvo-synth MAIN.mp3 ALTERNATE.mp3 [--wav]\n");
        return 2;
    }
    const bool wav = argc == 4;

    Job jobs[] = {{synth::composeMarrowin, argv[1], {}}, {synth::composeTidewrangler, argv[2], {}}};
    // Find out that an output cannot be written before spending seconds on it.
    for (const Job& job : jobs) {
        const std::string probe = job.path + ".part";
        std::FILE* f = std::fopen(probe.c_str(), "wb");
        if (!f) {
            std::fprintf(stderr, "qvo-synth: cannot create %s: %s\n", job.path.c_str(), std::strerror(errno));
            return 1;
        }
        std::fclose(f);
        std::remove(probe.c_str());
    }
    std::thread second(run, std::ref(jobs[1]), wav);
    run(jobs[0], wav);
    second.join();

    int status = 0;
    for (const Job& job : jobs) {
        if (job.error.empty()) continue;
        std::fprintf(stderr, "qvo-synth: %s\n", job.error.c_str());
        status = 1;
    }
    return status;
}
