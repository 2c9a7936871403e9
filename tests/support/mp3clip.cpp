#include "tests/support/mp3clip.h"

#include <dlfcn.h>
#include <lame/lame.h>
#include <mpg123.h>

#include <cmath>

namespace {

struct Lame {
    decltype(&lame_init) init = nullptr;
    decltype(&lame_set_in_samplerate) setInRate = nullptr;
    decltype(&lame_set_out_samplerate) setOutRate = nullptr;
    decltype(&lame_set_num_channels) setChannels = nullptr;
    decltype(&lame_set_brate) setBitrate = nullptr;
    decltype(&lame_set_quality) setQuality = nullptr;
    decltype(&lame_set_bWriteVbrTag) setTag = nullptr;
    decltype(&lame_init_params) initParams = nullptr;
    decltype(&lame_encode_buffer_interleaved) encode = nullptr;
    decltype(&lame_encode_flush) flush = nullptr;
    decltype(&lame_get_lametag_frame) tagFrame = nullptr;
    decltype(&lame_close) close = nullptr;
    std::string error;
};

template <typename F>
void bind(void* lib, F& slot, const char* name, std::string& error) {
    slot = reinterpret_cast<F>(dlsym(lib, name));
    if (!slot && error.empty()) error = std::string("libmp3lame lacks ") + name;
}

const Lame& lame() {
    static const Lame loaded = [] {
        Lame l;
        void* lib = dlopen("libmp3lame.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            l.error = std::string("cannot load libmp3lame.so.0: ") + dlerror();
            return l;
        }
        bind(lib, l.init, "lame_init", l.error);
        bind(lib, l.setInRate, "lame_set_in_samplerate", l.error);
        bind(lib, l.setOutRate, "lame_set_out_samplerate", l.error);
        bind(lib, l.setChannels, "lame_set_num_channels", l.error);
        bind(lib, l.setBitrate, "lame_set_brate", l.error);
        bind(lib, l.setQuality, "lame_set_quality", l.error);
        bind(lib, l.setTag, "lame_set_bWriteVbrTag", l.error);
        bind(lib, l.initParams, "lame_init_params", l.error);
        bind(lib, l.encode, "lame_encode_buffer_interleaved", l.error);
        bind(lib, l.flush, "lame_encode_flush", l.error);
        bind(lib, l.tagFrame, "lame_get_lametag_frame", l.error);
        bind(lib, l.close, "lame_close", l.error);
        return l;
    }();
    return loaded;
}

}  // namespace

std::vector<std::int16_t> testSignal(int frames, int rate) {
    std::vector<std::int16_t> pcm(std::size_t(frames) * 2);
    const double pi = 3.14159265358979323846;
    double phase = 0.0;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        // Sweep from 150 Hz up by 400 Hz a second, folded back every 5 s.
        const double f = 150.0 + 400.0 * std::fmod(t, 5.0);
        phase += 2.0 * pi * f / rate;
        const double left = 0.5 * std::sin(phase);
        const double right = 0.25 * std::sin(2.0 * pi * 233.0 * t) + 0.2 * std::sin(2.0 * pi * 377.0 * t + 1.0);
        pcm[std::size_t(i) * 2] = std::int16_t(left * 32767.0);
        pcm[std::size_t(i) * 2 + 1] = std::int16_t(right * 32767.0);
    }
    return pcm;
}

std::vector<unsigned char> encodeMp3(const std::vector<std::int16_t>& interleaved, int rate, int kbps) {
    const Lame& l = lame();
    if (!l.error.empty()) return {};
    lame_global_flags* gf = l.init();
    if (!gf) return {};
    l.setInRate(gf, rate);
    l.setOutRate(gf, rate);
    l.setChannels(gf, 2);
    l.setBitrate(gf, kbps);
    l.setQuality(gf, 5);
    l.setTag(gf, 1);
    std::vector<unsigned char> out;
    if (l.initParams(gf) < 0) {
        l.close(gf);
        return {};
    }
    const int frames = int(interleaved.size() / 2);
    std::vector<unsigned char> chunk(std::size_t(1.25 * 8192 + 7200));
    // The encoder takes a non-const pointer but does not write through it.
    auto* pcm = const_cast<short*>(reinterpret_cast<const short*>(interleaved.data()));
    for (int done = 0; done < frames;) {
        const int n = std::min(8192, frames - done);
        const int bytes = l.encode(gf, pcm + std::size_t(done) * 2, n, chunk.data(), int(chunk.size()));
        if (bytes < 0) {
            l.close(gf);
            return {};
        }
        out.insert(out.end(), chunk.begin(), chunk.begin() + bytes);
        done += n;
    }
    const int tail = l.flush(gf, chunk.data(), int(chunk.size()));
    if (tail > 0) out.insert(out.end(), chunk.begin(), chunk.begin() + tail);
    // The LAME tag replaces the placeholder frame at the very start.
    unsigned char tag[2880];
    const std::size_t tagBytes = l.tagFrame(gf, tag, sizeof tag);
    if (tagBytes > 0 && tagBytes <= out.size()) std::copy(tag, tag + tagBytes, out.begin());
    l.close(gf);
    return out;
}

std::string lameUnavailableReason() { return lame().error; }

std::vector<std::int16_t> decodeMp3(const std::vector<unsigned char>& mp3) {
    std::vector<std::int16_t> pcm;
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    if (!mh) return pcm;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    mpg123_format_none(mh);
    mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    mpg123_open_feed(mh);
    mpg123_feed(mh, mp3.data(), mp3.size());
    unsigned char buffer[16384];
    for (;;) {
        std::size_t done = 0;
        const int r = mpg123_read(mh, buffer, sizeof buffer, &done);
        const auto* s = reinterpret_cast<const std::int16_t*>(buffer);
        pcm.insert(pcm.end(), s, s + done / 2);
        if (r == MPG123_NEW_FORMAT) continue;
        if (r != MPG123_OK) break;  // feed mode ends with MPG123_NEED_MORE
    }
    mpg123_delete(mh);
    return pcm;
}
