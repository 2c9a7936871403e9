// Runs the real-time timeline with sound but without a display and, at every
// bar trigger, compares the music's position heard with the demo clock's
// time since the music started (what the cues count). Prints the offset at
// the first and the last bar and the spread over all of them. Exit 1 when
// the music stops before the show does.
//
//   SDL_AUDIODRIVER=dummy qvo-synccheck [PACK]
#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "demo/effects/bars.h"
#include "demo/effects/squares.h"
#include "demo/effects/titles.h"
#include "demo/frameloop.h"
#include "demo/headlessrender.h"
#include "demo/music.h"
#include "demo/timeline.h"
#include "display/graphics.h"
#include "platform/bassoutput.h"
#include "source/debugserver.h"
#include "source/exceptionserver.h"
#include "source/fileserver.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Milliseconds of the clip heard right now: what left the mixer, less the
// block in flight and the device's buffer.
double heardMs() {
    const double frames = double(bass::decodedBytes(musicStream)) / 4.0 - bass::blockFrames -
                          bass::outputLatencySeconds() * 44100.0;
    return frames * 1000.0 / 44100.0;
}

struct Sample {
    int bar;
    double clockMs;
    double heardMs;
};

}  // namespace

int main(int argc, char** argv) {
    const char* pack = argc > 1 ? argv[1] : "QuelVarnOssa.dat";
    try {
        drawBars(nullptr);
        debugServer = new DebugServer(11, 0);
        fileServer = new FileServer(debugServer, 200);
        fileServer->openPack(pack);
        storeDisplaySettings();
        buildCueLists();
        buildTracks();
        surface = new Surface();
        loadTitles();
        frameMark = demoTime();
        startMusic();
        playMusic();
        drawSquares(nullptr);
        loopStart = demoTime();

        std::vector<Sample> samples;
        std::uint32_t bars = barTriggerCount;
        while (framePass()) {
            if (barTriggerCount == bars) continue;
            bars = barTriggerCount;
            samples.push_back({int(bars), double(demoTime() - syncStartTime), heardMs()});
        }
        stopMusic();
        if (samples.empty()) {
            std::fprintf(stderr, "no bar fired\n");
            return 1;
        }
        double lowest = 1e9, highest = -1e9;
        for (const Sample& s : samples) {
            lowest = std::min(lowest, s.heardMs - s.clockMs);
            highest = std::max(highest, s.heardMs - s.clockMs);
        }
        const Sample& first = samples.front();
        const Sample& last = samples.back();
        std::printf("bars fired: %zu\n", samples.size());
        std::printf("first bar: clock %.0f ms, heard %.1f ms, heard - clock %+.1f ms\n", first.clockMs,
                    first.heardMs, first.heardMs - first.clockMs);
        std::printf("last bar:  clock %.0f ms, heard %.1f ms, heard - clock %+.1f ms\n", last.clockMs,
                    last.heardMs, last.heardMs - last.clockMs);
        std::printf("heard - clock over all bars: %+.1f .. %+.1f ms (output buffer %.1f ms)\n", lowest, highest,
                    bass::outputLatencySeconds() * 1000.0);
        // A clip cut short or ended by damage: the heard position stands
        // still while the bars go on. That is no measurement of sync.
        for (std::size_t i = 1; i < samples.size(); ++i) {
            if (samples[i].heardMs > samples[i - 1].heardMs) continue;
            std::fprintf(stderr, "qvo-synccheck: the music stopped at %.1f ms, heard no further from bar %d on\n",
                         samples[i].heardMs, samples[i].bar);
            return 1;
        }
        return 0;
    } catch (const ExceptionType& error) {
        std::fprintf(stderr, "qvo-synccheck: %s %s\n", error.string, error.extraString);
    } catch (int code) {
        std::fprintf(stderr, "qvo-synccheck: %s\n", describeMusicFailure(code).c_str());
    }
    return 1;
}
