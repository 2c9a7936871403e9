// The Video for Windows calls that pass through our hands first (see
// platform/vfw.h); every other one is the system's own.
#include "platform/vfw.h"
#include "platform/vfwoptions.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <map>
#include <vector>
#include <string>

#undef AVIFileOpenA
#undef AVIFileCreateStreamA
#undef AVIMakeCompressedStream
#undef AVISaveOptions
#undef AVIStreamSetFormat
#undef AVIStreamWrite

namespace {

// Sample frames appended to each sound stream so far.
std::map<PAVISTREAM, LONG> appendedSamples;

// The file being written, as far as the size limit is concerned. The
// writer holds one reference to each handle; completing the file releases
// them on its behalf, after which the write fails and the writer ends
// without releasing anything.
struct TrackedFile {
    PAVIFILE file = nullptr;
    std::string name;
    std::vector<PAVISTREAM> streams;  // compressing streams last: released first
    std::int64_t chunks = 0;
    bool completed = false;
};
TrackedFile trackedFile;

// Classic AVI keeps 32-bit offsets, and readers take them as signed: the
// whole file, its index at the end included, stays below 2 GiB. The margin
// covers the headers and what the file's writer still buffers.
constexpr std::int64_t sizeLimit = 0x7FFFFFFF;
constexpr std::int64_t margin = 1 << 20;

std::int64_t sizeOnDisk(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) return 0;
    return std::int64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// Whether a chunk of at most `bytes` still fits: its 8-byte header, its
// 16-byte index entry, and the index of every chunk before it.
bool fits(std::int64_t bytes) {
    const std::int64_t projected = sizeOnDisk(trackedFile.name) + margin + 16 * (trackedFile.chunks + 1) + bytes + 8;
    return projected <= sizeLimit;
}

void completeFile() {
    for (auto it = trackedFile.streams.rbegin(); it != trackedFile.streams.rend(); ++it) AVIStreamRelease(*it);
    AVIFileRelease(trackedFile.file);
    trackedFile.completed = true;
}

// Full Frames (Uncompressed), as the system dialog calls it.
constexpr FOURCC fullFrames = mmioFOURCC('D', 'I', 'B', ' ');

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

// The codec's own name and its code, as the dialog lists it.
std::string codecName(FOURCC handler) {
    std::string name;
    if (HIC codec = ICOpen(ICTYPE_VIDEO, handler, ICMODE_QUERY)) {
        ICINFO info{};
        info.dwSize = sizeof info;
        char description[sizeof info.szDescription];
        if (ICGetInfo(codec, &info, sizeof info) &&
            WideCharToMultiByte(CP_ACP, 0, info.szDescription, -1, description, sizeof description, nullptr,
                                nullptr) > 1)
            name = std::string(description) + " ";
        ICClose(codec);
    }
    return name + "(" + fourccText(handler) + ")";
}

// What a codec's ICERR_ answer says, with the name the system gives it.
std::string codecErrorText(LRESULT code) {
    switch (code) {
        case ICERR_UNSUPPORTED: return "it does not support that (ICERR_UNSUPPORTED)";
        case ICERR_BADFORMAT: return "it does not take that format (ICERR_BADFORMAT)";
        case ICERR_MEMORY: return "it ran out of memory (ICERR_MEMORY)";
        case ICERR_INTERNAL: return "it failed inside (ICERR_INTERNAL)";
        case ICERR_BADBITDEPTH: return "it does not take that bit depth (ICERR_BADBITDEPTH)";
        case ICERR_BADIMAGESIZE: return "it does not take that picture size (ICERR_BADIMAGESIZE)";
        default: return "it refused with error " + std::to_string(long(code));
    }
}

// QVO_CODEC when it is set: the dialog's answer, given beforehand.
const char* answerGivenBeforehand() {
    const char* name = std::getenv("QVO_CODEC");
    return name && *name ? name : nullptr;
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

HRESULT fileOpen(PAVIFILE* file, LPCSTR name, UINT mode, LPCLSID handler) {
    const HRESULT result = AVIFileOpenA(file, name, mode, handler);
    if (result == 0) trackedFile = TrackedFile{*file, name ? name : "", {}, 0, false};
    return result;
}

HRESULT fileCreateStream(PAVIFILE file, PAVISTREAM* stream, AVISTREAMINFOA* info) {
    const HRESULT result = AVIFileCreateStreamA(file, stream, info);
    if (result == 0 && file == trackedFile.file) trackedFile.streams.insert(trackedFile.streams.begin(), *stream);
    return result;
}

HRESULT makeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, AVICOMPRESSOPTIONS* options,
                             CLSID* handler) {
    const HRESULT result = AVIMakeCompressedStream(compressed, source, options, handler);
    if (result == 0) trackedFile.streams.push_back(*compressed);
    return result;
}

INT_PTR saveOptions(HWND owner, UINT flags, int streamCount, PAVISTREAM* streams, LPAVICOMPRESSOPTIONS* options) {
    const char* name = answerGivenBeforehand();
    if (!name) return AVISaveOptions(owner, flags, streamCount, streams, options);
    if (streamCount < 1 || !streams || !options) return 0;
    FOURCC handler = 0;
    if (!answerFromEnvironment(name, &handler)) return 0;
    for (int i = 0; i < streamCount; ++i) {
        AVICOMPRESSOPTIONS* o = options[i];
        if (!o) continue;
        vfw::fillOptions(o, flags, handler);
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
    // After the file was completed its streams are gone.
    if (trackedFile.completed) return HRESULT(ERROR_FILE_TOO_LARGE);
    AVISTREAMINFOA info{};
    if (AVIStreamInfoA(stream, &info, sizeof info) == 0 && info.dwSampleSize != 0 &&
        start == appendedSamples[stream])
        start = LONG(info.dwStart + info.dwLength);
    // A compressed frame is taken to be at most as large as the frame given.
    if (trackedFile.file && !fits(bytes)) {
        completeFile();
        return HRESULT(ERROR_FILE_TOO_LARGE);
    }
    ++trackedFile.chunks;
    const HRESULT result =
        AVIStreamWrite(stream, start, count, const_cast<void*>(data), bytes, flags, samplesWritten, bytesWritten);
    if (result == 0 && info.dwSampleSize != 0) appendedSamples[stream] += count;
    return result;
}

HRESULT finishStream(PAVISTREAM) { return 0; }

std::int64_t fileSizeLimit() { return sizeLimit; }

bool completedAfterFailure(PAVIFILE file) { return trackedFile.completed && file == trackedFile.file; }

std::string compressionProblem(const AVICOMPRESSOPTIONS& options, const BITMAPINFO24& format) {
    const FOURCC handler = options.fccHandler;
    // Full Frames: the frames are stored as they come.
    if (handler == 0 || handler == fullFrames) return {};
    const BITMAPINFOHEADER& frame = format.bmiHeader;
    const std::string what = codecName(handler) + " cannot compress " + std::to_string(long(frame.biWidth)) + "x" +
                             std::to_string(long(frame.biHeight)) + " frames of " +
                             std::to_string(int(frame.biBitCount)) + " bits here: ";
    HIC codec = ICOpen(ICTYPE_VIDEO, handler, ICMODE_COMPRESS);
    if (!codec) return what + "it does not open for compressing";
    const LRESULT answer = ICCompressQuery(codec, &frame, nullptr);
    ICClose(codec);
    return answer == ICERR_OK ? std::string() : what + codecErrorText(answer);
}

bool codecDialogAsksAgain() { return answerGivenBeforehand() == nullptr; }

}  // namespace vfw
