// The two Video for Windows calls that pass through our hands first (see
// platform/vfw.h); every other one is the system's own.
#include "platform/vfw.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#undef AVISaveOptions
#undef AVIStreamSetFormat
#undef AVIStreamWrite

namespace {

// Sample frames appended to each sound stream so far.
std::map<PAVISTREAM, LONG> appendedSamples;

// Full Frames (Uncompressed), as the system dialog calls it.
constexpr FOURCC fullFrames = mmioFOURCC('D', 'I', 'B', ' ');

DWORD environmentNumber(const char* name, DWORD fallback) {
    const char* value = std::getenv(name);
    if (!value || !*value) return fallback;
    char* end = nullptr;
    const long number = std::strtol(value, &end, 10);
    if (*end || number < 0) {
        std::fprintf(stderr, "%s=%s is not a number; ignored\n", name, value);
        return fallback;
    }
    return DWORD(number);
}

std::string fourccText(FOURCC code) {
    std::string text;
    for (int i = 0; i < 4; ++i) text += char((code >> (8 * i)) & 0xFF);
    return text;
}

// A video compressor of that code is installed (and opens for compressing).
bool codecInstalled(FOURCC handler) {
    HIC codec = ICOpen(ICTYPE_VIDEO, handler, ICMODE_COMPRESS);
    if (!codec) return false;
    ICClose(codec);
    return true;
}

std::string installedCodecs() {
    std::string list;
    ICINFO info{};
    info.dwSize = sizeof info;
    for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &info); ++i) {
        if (!codecInstalled(info.fccHandler)) continue;
        list += ' ';
        list += fourccText(info.fccHandler);
    }
    return list;
}

// The answer QVO_CODEC gives: true with the codec, false for cancel.
bool answerFromEnvironment(const char* name, FOURCC* handler) {
    if (std::strcmp(name, "cancel") == 0) return false;
    if (std::strcmp(name, "rawvideo") == 0) {
        *handler = fullFrames;
        return true;
    }
    if (std::strlen(name) == 4) {
        const FOURCC code = mmioFOURCC(name[0], name[1], name[2], name[3]);
        if (codecInstalled(code)) {
            *handler = code;
            return true;
        }
    }
    std::fprintf(stderr,
                 "QVO_CODEC=%s is not a codec installed here (rawvideo for Full Frames, the four-character "
                 "code of an installed codec:%s, or cancel)\n",
                 name, installedCodecs().c_str());
    return false;
}

}  // namespace

namespace vfw {

INT_PTR saveOptions(HWND owner, UINT flags, int streamCount, PAVISTREAM* streams, LPAVICOMPRESSOPTIONS* options) {
    const char* name = std::getenv("QVO_CODEC");
    if (!name || !*name) return AVISaveOptions(owner, flags, streamCount, streams, options);
    if (streamCount < 1 || !streams || !options) return 0;
    FOURCC handler = 0;
    if (!answerFromEnvironment(name, &handler)) return 0;
    for (int i = 0; i < streamCount; ++i) {
        AVICOMPRESSOPTIONS* o = options[i];
        if (!o) continue;
        *o = AVICOMPRESSOPTIONS{};
        o->fccType = streamtypeVIDEO;
        o->fccHandler = handler;
        o->dwFlags = AVICOMPRESSF_VALID;
        const DWORD quality = environmentNumber("QVO_QUALITY", DWORD(-1));
        o->dwQuality = quality <= 100 ? quality * 100 : DWORD(ICQUALITY_DEFAULT);
        if (flags & ICMF_CHOOSE_KEYFRAME) {
            o->dwKeyFrameEvery = environmentNumber("QVO_KEYFRAMES", 0);
            if (o->dwKeyFrameEvery) o->dwFlags |= AVICOMPRESSF_KEYFRAMES;
        }
        if (flags & ICMF_CHOOSE_DATARATE) {
            o->dwBytesPerSecond = environmentNumber("QVO_DATARATE", 0) * 1000 / 8;
            if (o->dwBytesPerSecond) o->dwFlags |= AVICOMPRESSF_DATARATE;
        }
    }
    return 1;
}

HRESULT streamSetFormat(PAVISTREAM stream, LONG position, const void* format, LONG formatSize) {
    // The system's declaration lacks the const; it only reads the format.
    return AVIStreamSetFormat(stream, position, const_cast<void*>(format), formatSize);
}

HRESULT streamWrite(PAVISTREAM stream, LONG start, LONG count, const void* data, LONG bytes, DWORD flags,
                    LONG* samplesWritten, LONG* bytesWritten) {
    // Sound is appended: the caller counts samples, and so does Windows'
    // AVIFile, while Wine's counts the blocks written. Writing at the
    // stream's own end is the same write for both.
    AVISTREAMINFOA info{};
    if (AVIStreamInfoA(stream, &info, sizeof info) == 0 && info.dwSampleSize != 0 &&
        start == appendedSamples[stream])
        start = LONG(info.dwStart + info.dwLength);
    const HRESULT result =
        AVIStreamWrite(stream, start, count, const_cast<void*>(data), bytes, flags, samplesWritten, bytesWritten);
    if (result == 0 && info.dwSampleSize != 0) appendedSamples[stream] += count;
    return result;
}

HRESULT finishStream(PAVISTREAM) { return 0; }

}  // namespace vfw
