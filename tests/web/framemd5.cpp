// qvo-framemd5 [PACK] [FPS]: the headless renderer compiled to WebAssembly,
// run under node. Prints "INDEX MD5" for every 24-bit frame, as
// qvo-render --md5 does, so the two builds' frames can be compared line by
// line. The hashing is node's own.
// qvo-framemd5 --bars: prints the bar cue times (ms after the music
// started), where the page's music is checked against the clock.
#include "demo/headlessrender.h"
#include "demo/timeline.h"

#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

EM_JS(void, printFrameMd5, (int index, const unsigned char* frame, int bytes), {
    const hash = require('crypto').createHash('md5').update(HEAPU8.subarray(frame, frame + bytes)).digest('hex');
    process.stdout.write(index + ' ' + hash + '\n');
});

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--bars") == 0) {
        buildCueLists();
        for (std::int32_t t : barCues.entries)
            if (t >= 0) std::printf("%d\n", t);
        return 0;
    }
    const char* pack = argc > 1 ? argv[1] : "QuelVarnOssa.dat";
    const float fps = argc > 2 ? float(std::atof(argv[2])) : 40.0f;
    try {
        HeadlessRenderer renderer(pack, fps);
        const int frames = renderer.run([](int index, const unsigned char* frame24, int) {
            printFrameMd5(index, frame24, 640 * 480 * 3);
            return true;
        });
        std::fprintf(stderr, "%d frames\n", frames);
        return 0;
    } catch (...) {
        std::fprintf(stderr, "qvo-framemd5: the pack or a title is unusable\n");
        return 1;
    }
}
