// The Video for Windows calls the AVI writer makes:
//
//   AVIFileInit();
//   AVIFileOpenA(&file, "out.avi", OF_WRITE | OF_CREATE, nullptr);
//   AVIFileCreateStreamA(file, &video, &videoInfo);          // "vids"
//   AVISaveOptions(nullptr, 3, 1, &video, &optionsList);     // codec chooser
//   AVIMakeCompressedStream(&compressed, video, &options, nullptr);
//   AVIStreamSetFormat(compressed, 0, &frameFormat, 44);     // 24-bit DIB
//   AVIFileCreateStreamA(file, &audio, &audioInfo);          // "auds", PCM
//   AVIStreamSetFormat(audio, 0, &waveFormat, 18);
//   AVIStreamWrite(...) per frame and per audio chunk, in any interleaving;
//   AVIStreamRelease(...); AVIFileRelease(file);             // completes it
//   AVIFileExit();
//
// On Windows these are the system's own (platform/windows), with a few calls
// passed through our hands first: AVISaveOptions answers from QVO_CODEC
// without asking when it is set (rawvideo: Full Frames; a four-character
// code: that installed codec; cancel), and AVIStreamWrite keeps the file
// within the 2 GiB a classic AVI file can hold: when the next chunk could
// pass it, the file is completed with what it holds and the write fails
// with ERROR_FILE_TOO_LARGE.
//
// On Linux (platform/ffmpeg) they are ours, over FFmpeg: libavformat's AVI
// muxer, libavcodec's encoders (and our own coders, codecs/) and libswscale
// for the pixel formats. In the browser (platform/web) opening a file says
// that rendering video is the desktop build's work.
//
// Every call returns 0 or a negative FFmpeg error code; FormatMessageA turns
// a code into its text. Writes are queued and encoded on a thread of the
// file's own, so the caller renders the next frame meanwhile; a write that
// fails is reported by the next write to the same stream, or by
// vfw::finishStream, and AVIFileRelease returns nonzero (the code) when the
// file could not be completed.
//
// Opening checks that the file can be written but leaves the disk as it
// was: the file is created (or emptied) when the first write starts it, so a
// cancelled codec dialog or an interrupted start leaves nothing behind and
// destroys no earlier render.
//
// The codec dialog and its codecs: platform/ffmpeg/codecchoice.h.
#pragma once

#include "platform/win32.h"

#ifdef _WIN32

#include <vfw.h>

// The frame format the writer hands over: the header plus one (unused)
// colour entry, 44 bytes.
struct BITMAPINFO24 {
    BITMAPINFOHEADER bmiHeader;
    DWORD bmiColors[1];
};
static_assert(sizeof(BITMAPINFO24) == 44);

namespace vfw {

// The system's calls, noting the file and its streams (to complete the file
// when the next write would pass its size limit).
HRESULT fileOpen(PAVIFILE* file, LPCSTR name, UINT mode, LPCLSID handler);
HRESULT fileCreateStream(PAVIFILE file, PAVISTREAM* stream, AVISTREAMINFOA* info);
HRESULT makeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, AVICOMPRESSOPTIONS* options,
                             CLSID* handler);
INT_PTR saveOptions(HWND owner, UINT flags, int streamCount, PAVISTREAM* streams, LPAVICOMPRESSOPTIONS* options);
HRESULT streamSetFormat(PAVISTREAM stream, LONG position, const void* format, LONG formatSize);
HRESULT streamWrite(PAVISTREAM stream, LONG start, LONG count, const void* data, LONG bytes, DWORD flags,
                    LONG* samplesWritten, LONG* bytesWritten);

}  // namespace vfw

#define AVIFileOpenA vfw::fileOpen
#define AVIFileCreateStreamA vfw::fileCreateStream
#define AVIMakeCompressedStream vfw::makeCompressedStream
#define AVISaveOptions vfw::saveOptions
#define AVIStreamSetFormat vfw::streamSetFormat
#define AVIStreamWrite vfw::streamWrite

#else

#include <cstdint>

using LONG = std::int32_t;
using WORD = std::uint16_t;
using HRESULT = std::int32_t;
using FOURCC = DWORD;
using LPSTR = char*;
using LPCSTR = const char*;
using HLOCAL = void*;

struct IAVIFile;
struct IAVIStream;
using PAVIFILE = IAVIFile*;
using PAVISTREAM = IAVIStream*;

constexpr FOURCC mmioFOURCC(char a, char b, char c, char d) {
    return DWORD(std::uint8_t(a)) | DWORD(std::uint8_t(b)) << 8 | DWORD(std::uint8_t(c)) << 16 |
           DWORD(std::uint8_t(d)) << 24;
}
constexpr FOURCC streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
constexpr FOURCC streamtypeAUDIO = mmioFOURCC('a', 'u', 'd', 's');

constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT AVIERR_BADPARAM = -22;  // -EINVAL, as FFmpeg reports it: "Invalid argument"
constexpr UINT OF_WRITE = 0x0001;
constexpr UINT OF_CREATE = 0x1000;

constexpr UINT ICMF_CHOOSE_KEYFRAME = 0x0001;
constexpr UINT ICMF_CHOOSE_DATARATE = 0x0002;

constexpr DWORD AVICOMPRESSF_INTERLEAVE = 0x0001;
constexpr DWORD AVICOMPRESSF_DATARATE = 0x0002;
constexpr DWORD AVICOMPRESSF_KEYFRAMES = 0x0004;
constexpr DWORD AVICOMPRESSF_VALID = 0x0008;
constexpr DWORD ICQUALITY_DEFAULT = 0xFFFFFFFFu;  // -1: the codec's own default
constexpr DWORD ICQUALITY_HIGH = 10000;

constexpr DWORD BI_RGB = 0;
constexpr WORD WAVE_FORMAT_PCM = 1;

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x0100;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;

struct RECT {
    LONG left, top, right, bottom;
};

struct AVISTREAMINFOA {
    FOURCC fccType;
    FOURCC fccHandler;
    DWORD dwFlags;
    DWORD dwCaps;
    WORD wPriority;
    WORD wLanguage;
    DWORD dwScale;
    DWORD dwRate;
    DWORD dwStart;
    DWORD dwLength;
    DWORD dwInitialFrames;
    DWORD dwSuggestedBufferSize;
    DWORD dwQuality;
    DWORD dwSampleSize;
    RECT rcFrame;
    DWORD dwEditCount;
    DWORD dwFormatChangeCount;
    char szName[64];
};
static_assert(sizeof(AVISTREAMINFOA) == 140);

// The 32-bit layout: the two pointer fields are kept as 32-bit slots, which
// this implementation never follows (the format comes through
// AVIStreamSetFormat, and no codec takes private parameters).
struct AVICOMPRESSOPTIONS {
    FOURCC fccType;
    FOURCC fccHandler;
    DWORD dwKeyFrameEvery;
    DWORD dwQuality;
    DWORD dwBytesPerSecond;
    DWORD dwFlags;
    DWORD lpFormat;
    DWORD cbFormat;
    DWORD lpParms;
    DWORD cbParms;
    DWORD dwInterleaveEvery;
};
static_assert(sizeof(AVICOMPRESSOPTIONS) == 44);
using LPAVICOMPRESSOPTIONS = AVICOMPRESSOPTIONS*;

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // positive: rows stored bottom-up
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// The header plus one (unused) colour entry: 44 bytes.
struct BITMAPINFO24 {
    BITMAPINFOHEADER bmiHeader;
    DWORD bmiColors[1];
};
static_assert(sizeof(BITMAPINFO24) == 44);

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

void AVIFileInit();
void AVIFileExit();
HRESULT AVIFileOpenA(PAVIFILE* file, LPCSTR name, UINT mode, const void* handler);
HRESULT AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFOA* info);
// Nonzero when the user confirmed a codec; the options are filled in.
int AVISaveOptions(HWND owner, UINT flags, int streamCount, PAVISTREAM* streams,
                   LPAVICOMPRESSOPTIONS* options);
HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, const AVICOMPRESSOPTIONS* options,
                                const void* classId);
HRESULT AVIStreamSetFormat(PAVISTREAM stream, LONG position, const void* format, LONG formatSize);
HRESULT AVIStreamWrite(PAVISTREAM stream, LONG start, LONG count, const void* data, LONG bytes, DWORD flags,
                       LONG* samplesWritten, LONG* bytesWritten);
DWORD AVIStreamRelease(PAVISTREAM stream);
// Completes and closes the file: 0, or the code of the failure that left it
// incomplete. (Windows' own returns the references left, 0 at the last.)
DWORD AVIFileRelease(PAVIFILE file);

// With FORMAT_MESSAGE_ALLOCATE_BUFFER, buffer is really a char** that gets a
// LocalAlloc'ed text. Returns the text's length, 0 when the code has none.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* arguments);
HLOCAL LocalFree(HLOCAL memory);

#endif  // _WIN32

#include <cstdint>
#include <string>

namespace vfw {

// Waits until everything written to the stream has reached the file (for a
// compressed stream, the frames its encoder held back too) and returns the
// first failure among those writes, 0 when there was none. Call it once the
// stream's last write is made, before the releases. (Windows' writes are not
// queued: there it has nothing to wait for and returns 0.)
HRESULT finishStream(PAVISTREAM stream);

// The largest AVI file written here that readers take back whole: a classic
// AVI file's 2 GiB on Windows (Video for Windows writes no OpenDML), no limit
// that matters elsewhere.
std::int64_t fileSizeLimit();

// Whether a write that failed left the file complete: on Windows a write that
// would pass fileSizeLimit() is refused after the file has been completed
// with what it holds; elsewhere a failed file is left as it is.
bool completedAfterFailure(PAVIFILE file);

// Asks the codec the dialog chose whether it compresses frames of `format`,
// before anything is rendered: an empty text when it does, else which codec
// it is and the system's reason. Windows' dialog offers codecs that only
// decompress (Wine's Video 1, Cinepak and RLE, and RLE everywhere for 24-bit
// frames); elsewhere every codec offered compresses and the text is empty.
std::string compressionProblem(const AVICOMPRESSOPTIONS& options, const BITMAPINFO24& format);

// Whether showing the codec dialog again can give another answer: false when
// the answer was given beforehand (QVO_CODEC), and where no codec is ever
// refused.
bool codecDialogAsksAgain();

}  // namespace vfw
