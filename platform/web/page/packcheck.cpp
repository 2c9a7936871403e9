// What the page asks of the pack before any click: whether the program will
// be able to read it (so that a pack that cannot work is reported at once,
// with no start button), and the music image the run will decode (so that
// the browser decodes it while the viewer is still reading the page, not
// after the pre-roll with the picture waiting). Linked into the page's
// program only (cmake/web.cmake).
#include "demo/commandline.h"
#include "demo/music.h"
#include "source/fileserver.h"

#include <emscripten.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

namespace {

std::span<const unsigned char> bytes(const unsigned char* pack, int size) {
    return {pack, pack ? std::size_t(size > 0 ? size : 0) : 0};
}

}  // namespace

// 0 when the program will read the pack's directory, else the code its
// reader gives (PackDirectory::Result); the reason is PackDirectory::describe.
extern "C" EMSCRIPTEN_KEEPALIVE int qvoPackCheck(const unsigned char* pack, int size) {
    PackDirectory directory;
    return directory.parse(bytes(pack, size));
}

// The MP3 image the command line's run decodes, as a malloc'ed copy (the
// page frees it) of *imageSize bytes; null when the run plays no music or
// the pack lacks the clip.
extern "C" EMSCRIPTEN_KEEPALIVE unsigned char* qvoMusicImage(const unsigned char* pack, int size,
                                                              const char* commandLine, int* imageSize) {
    *imageSize = 0;
    if (!wantsSound(commandLine)) return nullptr;
    PackDirectory directory;
    if (directory.parse(bytes(pack, size)) != PackDirectory::ok) return nullptr;
    const char* name = wantsAlternateMusic(commandLine) ? alternateMusicName : mainMusicName;
    const std::int32_t length = directory.entrySize(name);
    const std::unique_ptr<unsigned char[]> entry(directory.readEntry(name));
    if (length <= 0 || !entry) return nullptr;
    auto* image = static_cast<unsigned char*>(std::malloc(std::size_t(length)));
    if (!image) return nullptr;
    std::memcpy(image, entry.get(), std::size_t(length));
    *imageSize = length;
    return image;
}
