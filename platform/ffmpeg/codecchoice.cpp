#include "platform/ffmpeg/codecchoice.h"
#include "platform/vfwoptions.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vfw {
namespace {

// utvideo and huffyuv: one thread, since libavcodec's encoder codes nothing;
// left prediction, as our coders make it. FFV1 in slices, so that it can use
// several cores (level 3). MJPEG: full-range 4:2:0 as JPEG wants it (plain
// yuv420p with the range set converts five times faster than "yuvj").
// H.264: no B-frames, which AVI cannot reorder.
constexpr CodecChoice kCodecs[] = {
    {"rawvideo", "Full Frames (Uncompressed)", "Uncompressed", mmioFOURCC('D', 'I', 'B', ' '), "bgr24", "",
     QualityScale::None, OwnCoder::None},
    {"utvideo", "Ut Video (fast lossless RGB)", "Ut Video", mmioFOURCC('U', 'L', 'R', 'G'), "gbrp",
     "threads=1:pred=left", QualityScale::None, OwnCoder::UtVideo},
    {"ffv1", "FFV1 (small lossless, slow)", "FFV1", mmioFOURCC('F', 'F', 'V', '1'), "bgr0", "level=3:slices=4",
     QualityScale::None, OwnCoder::None},
    {"huffyuv", "HuffYUV (lossless RGB)", "HuffYUV", mmioFOURCC('H', 'F', 'Y', 'U'), "rgb24",
     "threads=1:pred=left", QualityScale::None, OwnCoder::HuffYuv},
    {"mjpeg", "Motion JPEG", "MJPEG", mmioFOURCC('M', 'J', 'P', 'G'), "yuv420p", "color_range=pc",
     QualityScale::JpegQ, OwnCoder::None},
    {"libx264", "H.264 (x264, yuv420p)", "H.264", mmioFOURCC('H', '2', '6', '4'), "yuv420p",
     "preset=veryfast:bf=0", QualityScale::X264Crf, OwnCoder::None},
};
constexpr int kCodecCount = int(sizeof(kCodecs) / sizeof(kCodecs[0]));
constexpr int kDefaultCodec = 1;  // Ut Video: lossless and the fastest to encode

int askOnTerminal() {
    std::fprintf(stderr, "Video compression:\n");
    for (int i = 0; i < kCodecCount; ++i) std::fprintf(stderr, "  %d) %s\n", i + 1, kCodecs[i].label);
    std::fprintf(stderr, "  0) Cancel\n");
    for (;;) {
        std::fprintf(stderr, "Choice [%d]: ", kDefaultCodec + 1);
        std::fflush(stderr);
        char line[64];
        if (!std::fgets(line, sizeof line, stdin)) return -2;
        if (line[0] == '\n') return kDefaultCodec;
        char* end = nullptr;
        long choice = std::strtol(line, &end, 10);
        if (end != line && (*end == '\n' || *end == 0) && choice >= 0 && choice <= kCodecCount)
            return choice == 0 ? -2 : int(choice - 1);
    }
}

// The index of the chosen codec, or -2 when the user cancelled.
int askForCodec() {
    if (const char* name = std::getenv("QVO_CODEC"); name && *name) {
        if (std::strcmp(name, "cancel") == 0) return -2;
        if (const vfw::CodecChoice* c = findCodec(std::string(name))) return int(c - kCodecs);
        std::string known;
        for (const auto& c : kCodecs) known += std::string(" ") + c.name;
        std::fprintf(stderr, "QVO_CODEC=%s is not a codec offered here (one of:%s, or cancel)\n", name,
                     known.c_str());
        return -2;
    }
    if (win32::displayAvailable()) {
        int choice = askInDialog(kCodecs, kCodecCount, kDefaultCodec);
        if (choice != -1) return choice;
    }
    if (::isatty(0)) return askOnTerminal();
    std::fprintf(stderr, "Video compression: %s (set QVO_CODEC to choose)\n", kCodecs[kDefaultCodec].label);
    return kDefaultCodec;
}

}  // namespace

std::span<const CodecChoice> codecChoices() { return kCodecs; }

const CodecChoice* findCodec(const std::string& name) {
    for (const auto& c : kCodecs)
        if (name == c.name) return &c;
    return nullptr;
}

const CodecChoice* findCodec(FOURCC handler) {
    for (const auto& c : kCodecs)
        if (handler == c.handler) return &c;
    return nullptr;
}

const CodecChoice* chooseCodec() {
    const int choice = askForCodec();
    return choice >= 0 ? &kCodecs[choice] : nullptr;
}

}  // namespace vfw

int AVISaveOptions(HWND, UINT flags, int streamCount, PAVISTREAM* streams, LPAVICOMPRESSOPTIONS* options) {
    if (streamCount < 1 || !streams || !options) return 0;
    const vfw::CodecChoice* choice = vfw::chooseCodec();
    if (!choice) return 0;
    for (int i = 0; i < streamCount; ++i) {
        AVICOMPRESSOPTIONS* o = options[i];
        if (!o) continue;
        vfw::fillOptions(o, flags, choice->handler);
    }
    return 1;
}
