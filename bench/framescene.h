// The frame benchmarks' scene, shared by bench_frame (native, Google
// Benchmark) and bench_frame_web (the same frames compiled to WebAssembly and
// run under node), so that the two builds are timed on the same work.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "demo/effects/bars.h"
#include "demo/effects/squares.h"
#include "demo/effects/titles.h"
#include "demo/frameloop.h"
#include "demo/headlessrender.h"
#include "demo/timeline.h"
#include "display/graphics.h"
#include "display/rowconverters.h"
#include "source/processstate.h"

namespace benchscene {

// A run's process-wide objects without a pack: synthetic title rasters.
struct Scene {
    Scene() {
        storeDisplaySettings();
        frame.reset(new Surface());
        for (int slot = 0; slot < 3; ++slot) {
            rasters[slot].assign(180 * 65, 255);
            for (int i = 0; i < 65; ++i)
                for (int j = 0; j < 180; ++j)
                    if ((i + (slot + 1) * j) % 7 < 2) rasters[slot][std::size_t(i * 180 + j)] = 0;
            titles[slot] = std::make_unique<TitleImage>(rasters[slot].data(), 180, 65);
        }
        restart();
    }
    ~Scene() {
        surface = nullptr;
        for (TitleImage*& image : titleImages) image = nullptr;
    }
    // Process start, in video mode at 40 fps.
    void restart() {
        resetProcessState();
        buildCueLists();
        buildTracks();
        drawBars(nullptr);
        videoMode = true;
        videoFrameRate = 40.0f;
        surface = frame.get();
        for (int slot = 0; slot < 3; ++slot) titleImages[slot] = titles[slot].get();
        markSyncStart();
        drawSquares(nullptr);
        loopStart = demoTime();
    }
    // The frame-derived clock at about ms.
    static void at(int ms) { setVideoTime(float(double(ms) * 0.071)); }

    // The clock step of the video hand-off, without its copy.
    static void stepClock() {
        setVideoTime(float(71.0 / 40.0 * double(videoFrameCount)));
        videoFrameCount += 1.0f;
    }

    std::uint32_t* pixels() { return static_cast<std::uint32_t*>(frame->getPixels()); }

    std::unique_ptr<Surface> frame;
    std::vector<unsigned char> rasters[3];
    std::unique_ptr<TitleImage> titles[3];
};

// What the page does with a drawn frame before putImageData: the display's
// rows through the converter for the canvas's R, G, B, A byte order
// (display/ddrawdisplay.cpp), then the opaque alpha (platform/web/ddraw.cpp).
struct CanvasStep {
    CanvasStep() : convert(selectRowConverter(32, 0x000000FF, 0x0000FF00, 0x00FF0000)), rgba(640 * 480) {}
    void operator()(const std::uint32_t* source) {
        for (int y = 0; y < 480; ++y) convert(source + y * 640, rgba.data() + y * 640, 640);
        for (std::uint32_t& p : rgba) p |= 0xFF000000u;
    }
    RowConverter convert;
    std::vector<std::uint32_t> rgba;
};

}  // namespace benchscene
