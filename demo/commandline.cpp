#include "demo/commandline.h"

#include "platform/win32.h"
#include "source/ascii.h"
#include "source/processstate.h"

#include <climits>
#include <string>

PROCESS_STATE(bool, soundEnabled, true);
PROCESS_STATE(bool, videoMode, false);
PROCESS_STATE(bool, alternateMusic, false);
PROCESS_STATE(float, videoFrameRate, 40.0f);

namespace {

std::string lowered(const char* text) { return asciiLowered(text ? text : ""); }

bool contains(const char* commandLine, const char* keyword) {
    return lowered(commandLine).find(keyword) != std::string::npos;
}

}  // namespace

bool wantsSound(const char* commandLine) {
    // Nine words, no more: "nosound" alone leaves the sound on, while
    // "nosound=0" silences it because it contains "sound=0".
    static const char* const soundOff[] = {"noaudio",  "no audio",  "audio off", "audio=off", "audio=0",
                                           "no sound", "sound off", "sound=off", "sound=0"};
    const std::string text = lowered(commandLine);
    for (const char* keyword : soundOff)
        if (text.find(keyword) != std::string::npos) return false;
    return true;
}

bool wantsVideo(const char* commandLine) { return contains(commandLine, "video"); }
bool wantsAlternateMusic(const char* commandLine) { return contains(commandLine, "hollowmere"); }
bool wantsCredits(const char* commandLine) { return contains(commandLine, "credits"); }

int requestedFrameRate(const char* commandLine) {
    const std::string text = lowered(commandLine);
    if (text.find("fps") == std::string::npos) return 40;
    // The first digit anywhere wins, even one before "fps".
    const std::size_t first = text.find_first_of("0123456789");
    if (first == std::string::npos) return 40;
    // Read like "%d" from a digit, but saturate instead of overflowing.
    long long value = 0;
    for (std::size_t i = first; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return int(value);
}

const char* creditsText() {
    return "Quel  Varn  Ossa\n"
           "created by Lanternfold Collective\n"
           "\n"
           "Music: Wren Halloway\n"
           "Code: Ossian Trask\n"
           "\n"
           "wren@example.orgossian@example.org\n";
}

void showCredits() { MessageBoxA(nullptr, creditsText(), "Credits...", MB_OK); }
