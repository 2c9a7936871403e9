// qvo-render [--pack FILE] [--fps N] [--md5] [--dump K OUT.png|OUT.ppm]...
// qvo-render [--pack FILE] [--fps N] --publish OUT.mp4 [--height 2160|1440] [--from S] [--to S]
//
// Renders the whole timeline headless, exactly as the video mode does, and
//   --md5        prints "INDEX MD5" per frame: the MD5 of the 921600-byte
//                24-bit frame (BGR, top row first) the AVI writer receives;
//   --dump K F   writes frame K (from 0) to F, PNG or PPM by its extension.
//   --publish F  writes the upload-ready MP4 instead (tools/render/publish.h).
// The frame count goes to standard error. Exit 1 when the pack or a title is
// unusable or a file cannot be written, 2 on a usage error.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/md5.h>
}

#include "demo/frameloop.h"
#include "demo/headlessrender.h"
#include "demo/packlocation.h"
#include "source/exceptionserver.h"
#include "tools/render/publish.h"

namespace {

constexpr int width = 640, height = 480;

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "qvo-render: %s\n", problem);
    std::fprintf(stderr,
                 "usage: qvo-render [--pack FILE] [--fps N] [--md5] [--raw OUT] [--dump K OUT.png|OUT.ppm]...\n"
                 "       qvo-render [--pack FILE] [--fps N] --publish OUT.mp4 [--height 2160|1440] [--from S] [--to S]\n"
                 "  --pack FILE   the data pack (default: QuelVarnOssa.dat where the demo finds it)\n"
                 "  --fps N       frames per second, 1 to 1000 (default 40; 60 with --publish)\n"
                 "  --md5         print INDEX MD5 of every 24-bit frame\n"
                 "  --raw OUT     write every 24-bit frame (bgr24, top row first) to OUT, - for stdout\n"
                 "  --dump K OUT  write frame K (from 0) as PNG or PPM\n"
                 "  --publish OUT write an MP4 for a video site: H.264 4:2:0 BT.709 with AAC, each pixel\n"
                 "                a sharp block (2160: 3840x2160, 4x4, the default; 1440: 2560x1440, 3x3)\n"
                 "  --from S --to S  publish only seconds S to S of the show (the timeline runs from its start)\n"
                 "  --crf N --preset NAME  libx264's quality and speed (default: the measured ones)\n");
    return 2;
}

bool parseInt(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

bool parseSeconds(const char* text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && value >= 0 && value <= 1e6;
}

bool endsWith(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    return true;
}

std::vector<unsigned char> toRgb(const unsigned char* bgr) {
    std::vector<unsigned char> rgb(std::size_t(width) * height * 3);
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = bgr[i + 2];
        rgb[i + 1] = bgr[i + 1];
        rgb[i + 2] = bgr[i];
    }
    return rgb;
}

bool writeFile(const std::string& path, const void* data, std::size_t size, const char* header = "") {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fputs(header, file) >= 0 && std::fwrite(data, 1, size, file) == size;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

// PNG through libavcodec's encoder.
bool writePng(const std::string& path, const unsigned char* bgr) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!codec) return false;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    bool ok = false;
    if (context && frame && packet) {
        context->width = width;
        context->height = height;
        context->pix_fmt = AV_PIX_FMT_RGB24;
        context->time_base = AVRational{1, 1};
        frame->format = AV_PIX_FMT_RGB24;
        frame->width = width;
        frame->height = height;
        if (avcodec_open2(context, codec, nullptr) == 0 && av_frame_get_buffer(frame, 0) == 0) {
            const std::vector<unsigned char> rgb = toRgb(bgr);
            for (int y = 0; y < height; ++y)
                std::memcpy(frame->data[0] + std::size_t(y) * frame->linesize[0], rgb.data() + std::size_t(y) * width * 3,
                            std::size_t(width) * 3);
            if (avcodec_send_frame(context, frame) == 0 && avcodec_send_frame(context, nullptr) == 0 &&
                avcodec_receive_packet(context, packet) == 0)
                ok = writeFile(path, packet->data, std::size_t(packet->size));
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return ok;
}

bool writeFrame(const std::string& path, const unsigned char* bgr) {
    if (endsWith(path, ".png")) return writePng(path, bgr);
    const std::vector<unsigned char> rgb = toRgb(bgr);
    return writeFile(path, rgb.data(), rgb.size(), "P6\n640 480\n255\n");
}

std::string md5Hex(const unsigned char* data, std::size_t size) {
    unsigned char digest[16];
    av_md5_sum(digest, data, int(size));
    char hex[33];
    for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}

// The engine's error text with its file name filled in.
std::string describe(const ExceptionType& error) {
    char text[2 * ExceptionType::textCapacity];
    std::snprintf(text, sizeof text, error.string, error.extraString);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::string pack = firstPackIn(packFolders(), "QuelVarnOssa.dat");
    long fps = 0;  // not given
    bool md5 = false;
    PublishRequest published;
    std::string rawPath;  // every frame's 24-bit bytes, back to back
    std::multimap<long, std::string> dumps;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--pack" && i + 1 < argc) {
            pack = argv[++i];
        } else if (arg == "--fps" && i + 1 < argc) {
            if (!parseInt(argv[++i], 1, 1000, fps)) return usage("--fps takes a whole number from 1 to 1000");
        } else if (arg == "--md5") {
            md5 = true;
        } else if (arg == "--raw" && i + 1 < argc) {
            rawPath = argv[++i];
        } else if (arg == "--dump" && i + 2 < argc) {
            long k = 0;
            if (!parseInt(argv[++i], 0, 1L << 30, k)) return usage("--dump takes a frame number from 0 on");
            const std::string out = argv[++i];
            if (!endsWith(out, ".png") && !endsWith(out, ".ppm")) return usage("--dump writes .png or .ppm files");
            dumps.emplace(k, out);
        } else if (arg == "--publish" && i + 1 < argc) {
            published.output = argv[++i];
        } else if (arg == "--height" && i + 1 < argc) {
            long h = 0;
            if (!parseInt(argv[++i], 1, 100000, h) || !publishHeightValid(int(h)))
                return usage("--height takes 2160 or 1440");
            published.height = int(h);
        } else if ((arg == "--from" || arg == "--to") && i + 1 < argc) {
            if (!parseSeconds(argv[++i], arg == "--from" ? published.from : published.to))
                return usage((arg + " takes seconds, 0 or more").c_str());
        } else if (arg == "--crf" && i + 1 < argc) {
            long crf = 0;
            if (!parseInt(argv[++i], 0, 51, crf)) return usage("--crf takes a whole number from 0 to 51");
            published.crf = int(crf);
        } else if (arg == "--preset" && i + 1 < argc) {
            published.preset = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            usage(nullptr);
            return 0;
        } else {
            return usage(("unknown or incomplete option " + arg).c_str());
        }
    }

    if (!published.output.empty()) {
        if (md5 || !rawPath.empty() || !dumps.empty()) return usage("--publish cannot be combined with --md5, --raw or --dump");
        published.pack = pack;
        published.frameRate = int(fps ? fps : 60);
        try {
            return publish(published);
        } catch (const ExceptionType& error) {
            std::fprintf(stderr, "qvo-render: %s\n", describe(error).c_str());
        } catch (ExceptionSpace::Exception* error) {
            std::fprintf(stderr, "qvo-render: %s\n", error->message.c_str());
            delete error;
        }
        return 1;
    }
    if (fps == 0) fps = 40;

    const bool showProgress = ::isatty(2) != 0;
    bool writeFailed = false;
    std::FILE* raw = nullptr;
    if (!rawPath.empty()) {
        raw = rawPath == "-" ? stdout : std::fopen(rawPath.c_str(), "wb");
        if (!raw) {
            std::fprintf(stderr, "qvo-render: cannot write %s: %s\n", rawPath.c_str(), std::strerror(errno));
            return 1;
        }
    }
    int frames = 0;
    try {
        HeadlessRenderer renderer(pack, float(fps));
        frames = renderer.run([&](int index, const unsigned char* frame24, int progress) {
            if (md5) std::printf("%d %s\n", index, md5Hex(frame24, frame24Size).c_str());
            if (raw && std::fwrite(frame24, 1, frame24Size, raw) != frame24Size) {
                std::fprintf(stderr, "qvo-render: cannot write %s: %s\n", rawPath.c_str(), std::strerror(errno));
                writeFailed = true;
            }
            const auto [first, last] = dumps.equal_range(index);
            for (auto it = first; it != last; ++it) {
                if (!writeFrame(it->second, frame24)) {
                    std::fprintf(stderr, "qvo-render: cannot write %s: %s\n", it->second.c_str(), std::strerror(errno));
                    writeFailed = true;
                }
            }
            if (showProgress && index % 20 == 0) std::fprintf(stderr, "\rframe %d, %d %%", index, progress);
            return !writeFailed;
        });
    } catch (const ExceptionType& error) {
        std::fprintf(stderr, "%sqvo-render: %s\n", showProgress ? "\n" : "", describe(error).c_str());
        return 1;
    } catch (ExceptionSpace::Exception* error) {
        std::fprintf(stderr, "qvo-render: %s\n", error->message.c_str());
        delete error;
        return 1;
    }
    std::fflush(stdout);
    if (raw && raw != stdout && std::fclose(raw) != 0) writeFailed = true;
    if (showProgress) std::fputc('\n', stderr);
    if (writeFailed) return 1;
    std::fprintf(stderr, "%d frames\n", frames);
    int status = 0;
    for (auto it = dumps.lower_bound(frames); it != dumps.end(); ++it) {
        std::fprintf(stderr, "qvo-render: frame %ld not written: the run has %d frames\n", it->first, frames);
        status = 1;
    }
    return status;
}
