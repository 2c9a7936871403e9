// The demo's own pictures for the frame benchmarks: one a second of the
// timeline, 640x480 BGR, rendered once per program (needs QuelVarnOssa.dat
// in the working folder, or QVO_BENCH_PACK).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "demo/headlessrender.h"

inline const std::vector<std::vector<std::uint8_t>>& demoFrames() {
    static const std::vector<std::vector<std::uint8_t>> frames = [] {
        std::vector<std::vector<std::uint8_t>> out;
        const char* pack = std::getenv("QVO_BENCH_PACK");
        HeadlessRenderer renderer(pack ? pack : "QuelVarnOssa.dat", 1.0f);
        renderer.run([&](int, const unsigned char* frame24, int) {
            out.emplace_back(frame24, frame24 + std::size_t(640) * 480 * 3);
            return true;
        });
        return out;
    }();
    return frames;
}
