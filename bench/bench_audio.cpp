// Decoding and offline playback speed of the audio stand-in.
//
// The clip: the file named by QVO_BENCH_MP3, else the main clip of the pack
// ("QuelVarnOssa.dat" in the working directory or the one above it).
//   build/bench/bench_audio                      (from build/bench)
//   QVO_BENCH_MP3=clip.mp3 build/bench/bench_audio
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demo/music.h"
#include "platform/bass.h"
#include "platform/bassoutput.h"
#include "source/fileserver.h"

namespace {

std::vector<unsigned char> loadClip() {
    if (const char* path = std::getenv("QVO_BENCH_MP3")) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    for (const char* pack : {"QuelVarnOssa.dat", "../QuelVarnOssa.dat"}) {
        if (!std::ifstream(pack)) continue;
        FileServer files(nullptr, 200);
        files.openPack(pack);
        const std::int32_t size = files.getFileSize(mainMusicName);
        unsigned char* bytes = files.getFile(mainMusicName);
        if (size <= 0 || !bytes) continue;
        std::vector<unsigned char> clip(bytes, bytes + size);
        delete[] bytes;
        return clip;
    }
    return {};
}

const std::vector<unsigned char>& clip() {
    static const std::vector<unsigned char> bytes = loadClip();
    return bytes;
}

std::uint64_t delivered = 0;
void countBytes(HDSP, BASS_DWORD, void*, BASS_DWORD length, BASS_DWORD) { delivered += length; }

HSTREAM openClip() {
    return BASS_StreamCreateFile(1, clip().data(), 0, BASS_DWORD(clip().size()), 0);
}

// The whole clip through the offline output, DSP hook included: what the
// video renderer waits for.
void BM_OfflinePlayback(benchmark::State& state) {
    if (clip().empty()) {
        state.SkipWithError("no clip: set QVO_BENCH_MP3 or run beside the pack");
        return;
    }
    bass::useOfflineOutput(true);
    if (!BASS_Init(-1, 44100, 16, nullptr)) {
        state.SkipWithError(bass::lastError());
        return;
    }
    const HSTREAM h = openClip();
    BASS_ChannelSetDSP(h, countBytes, 0);
    BASS_Start();
    for (auto _ : state) {
        delivered = 0;
        BASS_StreamPlay(h, 0, 0);
        while (BASS_ChannelIsActive(h)) {
        }
    }
    const double seconds = double(delivered) / 176400.0;
    state.counters["clip_s"] = seconds;
    state.counters["x_realtime"] =
        benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
    BASS_Free();
    bass::useOfflineOutput(false);
}
BENCHMARK(BM_OfflinePlayback)->Unit(benchmark::kMillisecond)->UseRealTime();

// Opening a stream: parsing the first frames and rewinding.
void BM_StreamCreate(benchmark::State& state) {
    if (clip().empty()) {
        state.SkipWithError("no clip");
        return;
    }
    bass::useOfflineOutput(true);
    BASS_Init(-1, 44100, 16, nullptr);
    for (auto _ : state) {
        const HSTREAM h = openClip();
        benchmark::DoNotOptimize(h);
        BASS_StreamFree(h);
    }
    BASS_Free();
    bass::useOfflineOutput(false);
}
BENCHMARK(BM_StreamCreate)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
