#include "tests/support/framesurface.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "demo/entrypoint.h"
#include "demo/frameloop.h"
#include "demo/timeline.h"
#include "source/processstate.h"

void setDemoTime(int ms) {
    videoMode = true;
    float units = float(double(ms) * 0.071);
    for (int tries = 0; tries < 64; ++tries) {
        setVideoTime(units);
        if (demoTime() == ms) return;
        units = std::nextafter(units, demoTime() < ms ? 1e30f : -1e30f);
    }
    throw std::runtime_error("no video time reads " + std::to_string(ms) + " ms");
}

void FrameTest::SetUp() {
    resetProcessState();
    buildCueLists();
    buildTracks();
    storeDisplaySettings();
    frame = std::make_unique<Surface>();
    pixels = static_cast<std::uint32_t*>(frame->getPixels());
    surface = frame.get();
    setDemoTime(0);
}

void FrameTest::TearDown() {
    resetProcessState();
}
