#include "demo/entrypoint.h"

#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "demo/effects/bars.h"
#include "demo/effects/squares.h"
#include "demo/effects/titles.h"
#include "demo/frameloop.h"
#include "demo/music.h"
#include "demo/packlocation.h"
#include "demo/startupreport.h"
#include "demo/stopsignals.h"
#include "demo/timeline.h"
#include "demo/videomode.h"
#include "display/ddrawdisplay.h"
#include "display/graphics.h"
#include "platform/bassoutput.h"
#include "platform/interrupt.h"
#include "platform/win32.h"
#include "platform/win32window.h"
#include "source/debugserver.h"
#include "source/exceptionserver.h"
#include "source/fileserver.h"
#include "source/processstate.h"
#include "source/rendercancel.h"
#include "source/settings.h"
#include "source/videostream.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace {

// A reset forgets them; the run that made them ends with the process.
PROCESS_STATE(VideoStream*, aviWriter, nullptr);
PROCESS_STATE(unsigned char*, videoFrame24, nullptr);

[[noreturn]] void serviceFailed(const char* text) {
    MessageBoxA(nullptr, text, "Fatal error!", MB_ICONERROR);
    ExitProcess(3);
}

// Exit code of a run that failed on the way: the box says why.
constexpr int failedRunExitCode = 2;

// The box's fixed text says nothing useful; the real reason goes beneath it
// and to standard error, so that a user (or a bug report) can see what
// happened, whether the program was started from a terminal or a menu.
std::string failureReason() {
    try {
        throw;
    } catch (const ExceptionType& error) {
        if (error.extraString[0]) return std::string(error.string) + " (" + error.extraString + ")";
        return error.string;
    } catch (ExceptionSpace::Exception* error) {
        return error->message + " (" + error->file + ":" + std::to_string(error->line) + ")";
    } catch (int code) {
        return "music error " + std::to_string(code) + ": " + describeMusicFailure(code);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown failure";
    }
}

// A real-time run without a screen would play the music to nobody for
// 152 s, with no window to press Escape in: it ends here instead.
void requireDisplay(int opened) {
    if (opened || videoMode) return;
    throw std::runtime_error(std::string("The display could not be set up: ") + displayFailure() +
                             ".\n\"quelvarnossa video\" renders the demo into \"quel varn ossa.avi\" without a "
                             "display.");
}

// The black pre-roll before the show: 3.5 s from the run's start, so
// that the start-up (the display, the titles, the music's output and its
// first decoding) happens during it instead of before it; but never less
// than a second of black on the screen, which may be changing its mode.
constexpr double prerollMs = 3500.0;
constexpr double leastBlackMs = 1000.0;

void runFrameLoop() {
    bool first = true;
    while (framePass()) {
        if (first) startup::firstFrame(prerollMs);
        first = false;
        startup::sampleMemory();
        if (!videoMode) continue;
        if (!videoHandOff(videoFrame24, [](int progress) { aviWriter->addFrame(progress); })) break;
        // A stop request (SIGTERM, closing the console) ends the render as a
        // confirmed cancel does: the file is completed and reported as stopped.
        if (stopRequested()) rendercancel::confirm();
        if (renderCancelled()) break;
    }
}

}  // namespace

void loadTitles() {
    titleImages[0] = TitleImage::load("data/ossa.raw", 180, 65);
    titleImages[1] = TitleImage::load("data/quel.raw", 180, 65);
    titleImages[2] = TitleImage::load("data/varn.raw", 180, 65);
}

void storeDisplaySettings() {
    SettingsServer* settings = SettingsServer::getInstance();
    settings->setInt(SettingKey::Width, 640);
    settings->setInt(SettingKey::Height, 480);
    settings->setInt(SettingKey::BitsPerPixel, 32);
    settings->setInt(SettingKey::PlatformSelect1, 1);
    settings->setInt(SettingKey::PlatformSelect2, 1);
}

void initDemo() {
    debugServer = new (std::nothrow) DebugServer(11, 0);
    if (!debugServer) serviceFailed("Error - Couldn't initialize debug-server! Aborting...");
    exceptionServer = new (std::nothrow) ExceptionServer(debugServer);
    if (!exceptionServer) serviceFailed("Error - Couldn't initialize exception-server! Aborting...");
    fileServer = new (std::nothrow) FileServer(debugServer, 200);
    if (!fileServer) serviceFailed("Error - Couldn't initialize file-server! Aborting...");
    std::set_new_handler(outOfMemoryHandler);

    fileServer->openPack(packFileName());
    startup::phaseDone("pack");

    storeDisplaySettings();

    buildCueLists();
    buildTracks();

    window = new Window("");
    surface = new Surface();
    window->setSurface(surface);
    requireDisplay(window->open());
    if (videoMode) ShowWindow(getWindowHandle(), SW_HIDE);
    startup::phaseDone("window");
}

// Presents the still black frame until the pre-roll is over (real time only).
void finishPreroll(double windowOpenMs) {
    if (!videoMode) {
        const double until = std::max(prerollMs, windowOpenMs + leastBlackMs);
        while (startup::sinceBeginMs() < until) {
            endOnStopSignal();
            window->update();
        }
    }
    frameMark = demoTime();
}

void shutdownDemo() {
    stopMusic();
    window->close();
    delete surface;
    surface = nullptr;
    delete window;
    window = nullptr;
}

int runDemo(const char* commandLine) {
    startup::begin();
    catchStopSignals();
    drawBars(nullptr);
    try {
        soundEnabled = wantsSound(commandLine);
        videoMode = wantsVideo(commandLine);
        alternateMusic = wantsAlternateMusic(commandLine);
        videoFrameRate = float(requestedFrameRate(commandLine));
        if (videoMode) checkVideoFrameRate(videoFrameRate);

        initDemo();
        const double windowOpenMs = startup::sinceBeginMs();
        loadTitles();
        startup::phaseDone("titles");
        if (videoMode)
            aviWriter = new VideoStream(nullptr, "quel varn ossa.avi", 640, 480, soundEnabled,
                                        int(videoFrameRate), 44100, 16);
        if (videoMode) aviWriter->expectFrames(videoFrameTotal(int(videoFrameRate)));
        videoFrame24 = new unsigned char[frame24Size]();
        // A video render needs no sound card: the music is played offline, as
        // fast as the frames want it, unless real-time capture is asked for.
        if (videoMode) bass::useOfflineOutput(!bass::realtimeCaptureRequested());
        startMusic();
        startup::phaseDone("music");
        if (videoMode) aviWriter->attachFrameBuffer(videoFrame24, &musicStream);
        finishPreroll(windowOpenMs);
        playMusic();
        drawSquares(nullptr);
        loopStart = demoTime();

        runFrameLoop();
        startup::reportMemory();

        delete aviWriter;
        aviWriter = nullptr;
        window->close();
        if (wantsCredits(commandLine)) showCredits();
        shutdownDemo();
        ExitProcess(0);
    } catch (...) {
        const std::string reason = failureReason();
        std::fprintf(stderr, "quelvarnossa: %s\n", reason.c_str());
        // A render that never finished leaves no file behind.
        if (aviWriter) aviWriter->discardFile();
        if (window) window->close();
        // Nothing looks at a stop request any more: it ends the box too.
        platform::stopRequestsEndAtOnce(true);
        MessageBoxA(nullptr, ("Fuck you.\n\n" + reason).c_str(), "", MB_ICONWARNING);
    }
    return failedRunExitCode;
}
