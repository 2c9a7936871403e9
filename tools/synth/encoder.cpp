#include "tools/synth/encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "tools/synth/dsp.h"

namespace synth {
namespace {

struct LameDeleter {
    void operator()(lame_global_flags* g) const { lame_close(g); }
};
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

void encodeMp3(const std::vector<std::int16_t>& interleaved, const std::string& path) {
    const auto failed = [&](const std::string& what) { return std::runtime_error(path + ": " + what); };

    std::unique_ptr<lame_global_flags, LameDeleter> lame(lame_init());
    if (!lame) throw failed("cannot initialise LAME");
    lame_set_in_samplerate(lame.get(), sampleRate);
    lame_set_out_samplerate(lame.get(), sampleRate);
    lame_set_num_channels(lame.get(), 2);
    lame_set_mode(lame.get(), JOINT_STEREO);
    lame_set_VBR(lame.get(), vbr_off);
    lame_set_brate(lame.get(), 192);
    lame_set_quality(lame.get(), 3);
    lame_set_bWriteVbrTag(lame.get(), 1);
    lame_set_write_id3tag_automatic(lame.get(), 0);
    if (lame_init_params(lame.get()) < 0) throw failed("LAME rejected the encoder settings");

    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(path.c_str(), "wb+"));
    if (!out) throw failed(std::string("cannot create: ") + std::strerror(errno));

    // The first frame is kept free by LAME for the Info tag written at the end.
    const std::size_t frames = interleaved.size() / 2;
    constexpr std::size_t chunk = 8192;
    std::vector<unsigned char> mp3(chunk * 5 / 4 + 7200);
    for (std::size_t done = 0; done < frames; done += chunk) {
        const int n = int(std::min(chunk, frames - done));
        const int bytes = lame_encode_buffer_interleaved(
            lame.get(), const_cast<short*>(interleaved.data() + 2 * done), n, mp3.data(), int(mp3.size()));
        if (bytes < 0) throw failed("LAME failed to encode (" + std::to_string(bytes) + ")");
        if (std::fwrite(mp3.data(), 1, std::size_t(bytes), out.get()) != std::size_t(bytes))
            throw failed("write failed");
    }
    const int tail = lame_encode_flush(lame.get(), mp3.data(), int(mp3.size()));
    if (tail < 0) throw failed("LAME failed to flush");
    if (std::fwrite(mp3.data(), 1, std::size_t(tail), out.get()) != std::size_t(tail)) throw failed("write failed");
    lame_mp3_tags_fid(lame.get(), out.get());
    if (std::fflush(out.get()) != 0 || std::ferror(out.get())) throw failed("write failed");
    if (std::fclose(out.release()) != 0) throw failed("close failed");
}

}  // namespace synth
