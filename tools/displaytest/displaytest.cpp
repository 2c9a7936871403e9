// qvo-displaytest: opens the demo's display, presents a fixed test picture
// and keeps presenting it until Escape or a close request ends the process
// (or until the time limit, exit code 2). Without a display it reports the
// failed open and a frame that was not presented, and exits with 3.
//
//   QVO_DISPLAY_FORMAT=rgb565 qvo-displaytest [seconds]
//
// The picture: four quadrants red (top left), green (top right), blue
// (bottom left) and white (bottom right), with a yellow 40 x 40 square at
// (40, 40) so that a mirrored or flipped picture shows.
#include "platform/standin/windowcore.h"
#include "platform/sdl/video.h"
#include "display/ddrawdisplay.h"
#include "display/graphics.h"
#include "source/settings.h"

#include <SDL.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void paint(std::uint32_t* pixels, int width, int height) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool right = x >= width / 2, bottom = y >= height / 2;
            std::uint32_t colour = bottom ? (right ? 0xFFFFFF : 0x0000FF) : (right ? 0x00FF00 : 0xFF0000);
            if (x >= 40 && x < 80 && y >= 40 && y < 80) colour = 0xFFFF00;
            pixels[y * width + x] = colour;
        }
}

// What the process leaves behind, printed on every way out.
void reportExit() {
    std::printf("exit: window %s, screen saver %s, cursor %s\n",
                win32::sdlWindow(getWindowHandle()) ? "open" : "closed",
                win32::screenSaverAllowed() ? "allowed" : "blocked", win32::cursorHidden() ? "hidden" : "shown");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    SettingsServer* settings = SettingsServer::getInstance();
    settings->setInt(SettingKey::Width, 640);
    settings->setInt(SettingKey::Height, 480);
    settings->setInt(SettingKey::BitsPerPixel, 32);
    settings->setInt(SettingKey::PlatformSelect1, 1);
    settings->setInt(SettingKey::PlatformSelect2, 1);

    auto* window = new Window("Quel Varn Ossa");
    auto* surface = new Surface();
    window->setSurface(surface);
    paint(static_cast<std::uint32_t*>(surface->getPixels()), surface->getRight(), surface->getBottom());
    std::atexit(reportExit);

    int opened = window->open();
    std::printf("open: %d\n", opened);
    std::fflush(stdout);
    if (!opened) {
        std::printf("update: %d\n", window->update());
        window->close();
        return 3;
    }
    const Uint64 limit = SDL_GetTicks64() + Uint64(seconds * 1000);
    while (SDL_GetTicks64() < limit) window->update();
    window->close();
    delete surface;
    delete window;
    return 2;
}
