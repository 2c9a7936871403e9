// Runs the whole timeline the way the video mode does, without a display or
// sound, and hands out every finished frame as the 24-bit copy the AVI writer
// would receive.
//
//   HeadlessRenderer renderer("QuelVarnOssa.dat", 40.0f);
//   int frames = renderer.run([](int index, const unsigned char* frame24, int progress) {
//       ...                     // 921600 bytes, BGR, top row first
//       return true;            // false stops the run after this frame
//   });
//
// run() throws what start-up throws: a copy of exReadMetadata for an
// unusable pack, exFileNotFound / exInvalidData for a missing or short title.
#pragma once

#include <functional>
#include <string>

#include "demo/entrypoint.h"  // storeDisplaySettings

class HeadlessRenderer {
public:
    using FrameSink = std::function<bool(int index, const unsigned char* frame24, int progress)>;

    HeadlessRenderer(std::string packPath, float frameRate);

    // Renders from process start to the end of the timeline; returns the
    // number of frames handed to the sink. May be called again.
    int run(const FrameSink& sink);

private:
    std::string packPath;
    float frameRate;
};
