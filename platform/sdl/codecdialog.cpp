// The codec question as a box of buttons, one per codec, on the display.
#include "platform/ffmpeg/codecchoice.h"

#include <SDL.h>

#include <string>

namespace vfw {

int askInDialog(const CodecChoice* codecs, int count, int defaultIndex) {
    constexpr int most = 8;
    if (count > most) return -1;
    SDL_MessageBoxButtonData buttons[most + 1];
    for (int i = 0; i < count; ++i)
        buttons[i] = {i == defaultIndex ? Uint32(SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT) : 0u, i,
                      codecs[i].shortLabel};
    buttons[count] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, -2, "Cancel"};
    std::string text = "Compress the video with:\n";
    for (int i = 0; i < count; ++i) text += std::string("\n  ") + codecs[i].label;
    SDL_MessageBoxData data{};
    data.flags = SDL_MESSAGEBOX_INFORMATION;
    data.title = "Video Compression";
    data.message = text.c_str();
    data.numbuttons = count + 1;
    data.buttons = buttons;
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) return -1;
    return pressed < 0 ? -2 : pressed;  // closing the box cancels
}

}  // namespace vfw
