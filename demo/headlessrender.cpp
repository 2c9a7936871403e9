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
#include "source/settings.h"

namespace {

// The process-wide objects and flags a run replaces, put back afterwards so
// that a render leaves no trace in the process.
class ProcessState {
public:
    ProcessState()
        : files(fileServer), win(window), frame(surface), video(videoMode), sound(soundEnabled),
          rate(videoFrameRate) {
        for (int i = 0; i < 3; ++i) titles[i] = titleImages[i];
    }
    ~ProcessState() {
        for (int i = 0; i < 3; ++i) {
            delete titleImages[i];
            titleImages[i] = titles[i];
        }
        delete surface;
        surface = frame;
        window = win;
        fileServer = files;
        videoMode = video;
        soundEnabled = sound;
        videoFrameRate = rate;
    }

private:
    FileServer* files;
    Window* win;
    Surface* frame;
    TitleImage* titles[3];
    bool video, sound;
    float rate;
};

}  // namespace

HeadlessRenderer::HeadlessRenderer(std::string packPath, float frameRate)
    : packPath(std::move(packPath)), frameRate(frameRate) {}

int HeadlessRenderer::run(const FrameSink& sink) {
    ProcessState saved;
    for (TitleImage*& title : titleImages) title = nullptr;
    window = nullptr;
    surface = nullptr;

    // Start-up as the video mode does it with sound off: the bars first,
    // then the flags, services, pack, settings, timeline and surface.
    resetEffects();
    drawBars(nullptr);
    soundEnabled = false;
    videoMode = true;
    videoFrameRate = frameRate;

    DebugServer debug(11, 0);
    FileServer files(&debug, 200);
    fileServer = &files;
    files.openPack(packPath.c_str());
    storeDisplaySettings();
    buildCueLists();
    buildTracks();
    surface = new Surface();
    frameMark = demoTime();
    frameMark = demoTime();

    titleImages[0] = TitleImage::load("data/ossa.raw", 180, 65);
    titleImages[1] = TitleImage::load("data/quel.raw", 180, 65);
    titleImages[2] = TitleImage::load("data/varn.raw", 180, 65);

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
