// qvo-decode CLIP.mp3 OUT.raw: decodes the clip through the audio stand-in's
// offline output, exactly as the video mode captures it (gapless, every block
// through a DSP procedure in order), and writes 44.1 kHz 16-bit stereo
// little-endian samples. Exit 1 when the clip cannot be read or decoded.
#include "platform/bass.h"
#include "platform/bassoutput.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace {

std::vector<unsigned char> decoded;

void capture(HDSP, BASS_DWORD, void* buffer, BASS_DWORD length, BASS_DWORD) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    decoded.insert(decoded.end(), bytes, bytes + length);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qvo-decode CLIP.mp3 OUT.raw\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<unsigned char> clip{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in && !in.eof()) {
        std::fprintf(stderr, "qvo-decode: cannot read %s\n", argv[1]);
        return 1;
    }
    bass::useOfflineOutput(true);
    HSTREAM stream = 0;
    if (!BASS_Init(-1, 44100, 0, nullptr) ||
        !(stream = BASS_StreamCreateFile(1, clip.data(), 0, BASS_DWORD(clip.size()), 0)) ||
        !BASS_ChannelSetDSP(stream, capture, 0) || !BASS_Start() || !BASS_StreamPlay(stream, 0, 0)) {
        std::fprintf(stderr, "qvo-decode: %s: %s\n", argv[1], bass::lastError());
        return 1;
    }
    // The DSP runs on the mixing thread; the stream turns inactive only after
    // its last block went through it.
    while (BASS_ChannelIsActive(stream)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    BASS_Stop();
    BASS_StreamFree(stream);
    BASS_Free();

    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(decoded.data()), std::streamsize(decoded.size()));
    if (!out) {
        std::fprintf(stderr, "qvo-decode: cannot write %s\n", argv[2]);
        return 1;
    }
    std::fprintf(stderr, "%zu sample frames\n", decoded.size() / 4);
    return 0;
}
