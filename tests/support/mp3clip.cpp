#include "tests/support/mp3clip.h"

#include <dlfcn.h>
#include <lame/lame.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>

namespace {

// Loaded at run time, so only the tests that make clips depend on it.
void* lameLibrary() {
    static void* lib = dlopen("libmp3lame.so.0", RTLD_NOW | RTLD_LOCAL);
    return lib;
}

}  // namespace

#define LAME(fn) reinterpret_cast<decltype(&fn)>(dlsym(lameLibrary(), #fn))

std::vector<std::int16_t> testSignal(int frames, int rate) {
    std::vector<std::int16_t> pcm(std::size_t(frames) * 2);
    const double pi = 3.14159265358979323846;
    double phase = 0.0;
    for (std::size_t i = 0; i < std::size_t(frames); ++i) {
        const double t = double(i) / rate;
        // Sweep from 150 Hz up by 400 Hz a second, folded back every 5 s.
        phase += 2.0 * pi * (150.0 + 400.0 * std::fmod(t, 5.0)) / rate;
        pcm[i * 2] = std::int16_t(0.5 * std::sin(phase) * 32767.0);
        pcm[i * 2 + 1] = std::int16_t((0.25 * std::sin(2.0 * pi * 233.0 * t) + 0.2 * std::sin(2.0 * pi * 377.0 * t + 1.0)) * 32767.0);
    }
    return pcm;
}

std::vector<unsigned char> encodeMp3(const std::vector<std::int16_t>& interleaved, int rate, int kbps) {
    lame_global_flags* gf = lameLibrary() ? LAME(lame_init)() : nullptr;
    if (!gf) return {};
    LAME(lame_set_in_samplerate)(gf, rate);
    LAME(lame_set_num_channels)(gf, 2);
    LAME(lame_set_brate)(gf, kbps);
    LAME(lame_set_quality)(gf, 5);
    LAME(lame_set_bWriteVbrTag)(gf, 1);
    std::vector<unsigned char> out;
    const int frames = int(interleaved.size() / 2);
    // The encoder takes a non-const pointer but does not write through it.
    auto* pcm = const_cast<short*>(reinterpret_cast<const short*>(interleaved.data()));
    std::vector<unsigned char> chunk(std::size_t(frames) * 5 / 4 + 14400);
    int bytes = LAME(lame_init_params)(gf) < 0 ? -1 : LAME(lame_encode_buffer_interleaved)(gf, pcm, frames, chunk.data(), int(chunk.size()));
    if (bytes >= 0) {
        bytes += std::max(0, LAME(lame_encode_flush)(gf, chunk.data() + bytes, int(chunk.size()) - bytes));
        out.assign(chunk.begin(), chunk.begin() + bytes);
        // The LAME tag replaces the placeholder frame at the very start.
        unsigned char tag[2880];
        const std::size_t tagBytes = LAME(lame_get_lametag_frame)(gf, tag, sizeof tag);
        if (tagBytes > 0 && tagBytes <= out.size()) std::copy(tag, tag + tagBytes, out.begin());
    }
    LAME(lame_close)(gf);
    return out;
}

std::string lameUnavailableReason() { return lameLibrary() ? "" : "cannot load libmp3lame.so.0"; }

std::vector<std::int16_t> decodeMp3(const std::vector<unsigned char>& mp3) {
    std::vector<std::int16_t> pcm;
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    mpg123_format_none(mh);
    mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    mpg123_open_feed(mh);
    mpg123_feed(mh, mp3.data(), mp3.size());
    unsigned char buffer[16384];
    for (int r = MPG123_NEW_FORMAT; r == MPG123_OK || r == MPG123_NEW_FORMAT;) {  // feed mode ends with NEED_MORE
        std::size_t done = 0;
        r = mpg123_read(mh, buffer, sizeof buffer, &done);
        const auto* s = reinterpret_cast<const std::int16_t*>(buffer);
        pcm.insert(pcm.end(), s, s + done / 2);
    }
    mpg123_delete(mh);
    return pcm;
}
