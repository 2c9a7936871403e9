#include "demo/headlessrender.h"

#include "demo/entrypoint.h"

#include <memory>
#include <vector>

#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "demo/effects/bars.h"
#include "demo/effects/squares.h"
#include "demo/effects/titles.h"
#include "demo/frameloop.h"
#include "display/graphics.h"
#include "source/debugserver.h"
#include "source/fileserver.h"
#include "source/processstate.h"
#include "source/settings.h"

HeadlessRenderer::HeadlessRenderer(std::string packPath, float frameRate)
    : packPath(std::move(packPath)), frameRate(frameRate) {}

int HeadlessRenderer::run(const FrameSink& sink) {
    // From process start, and back there at the end (before the objects
    // below are freed), so that every render in a process is the same.
    resetProcessState();
    DebugServer debug(11, 0);
    FileServer files(&debug, 200);
    std::unique_ptr<Surface> frame;  // made once the display settings are stored
    struct EndOfRun {
        ~EndOfRun() {
            for (TitleImage* title : titleImages) delete title;
            resetProcessState();
        }
    } endOfRun;

    // Start-up as the video mode does it with sound off: the bars first,
    // then the flags, services, pack, settings, timeline and surface.
    drawBars(nullptr);
    soundEnabled = false;
    videoMode = true;
    videoFrameRate = frameRate;

    debugServer = &debug;
    fileServer = &files;
    files.openPack(packPath.c_str());
    storeDisplaySettings();
    buildCueLists();
    buildTracks();
    frame = std::make_unique<Surface>();
    surface = frame.get();
    // Start-up marks the frame before and after the real-time pre-roll; in
    // video mode there is none and both marks read 0, so one is enough.
    frameMark = demoTime();

    loadTitles();

    std::vector<unsigned char> frame24(frame24Size, 0);
    markSyncStart();  // the music start marks the origin of the cue times
    drawSquares(nullptr);
    loopStart = demoTime();

    int frames = 0;
    bool wanted = true;
    while (wanted && framePass()) {
        const bool handed = videoHandOff(frame24.data(), [&](int progress) {
            wanted = sink(frames, frame24.data(), progress);
            ++frames;
        });
        if (!handed) break;
    }
    return frames;
}
