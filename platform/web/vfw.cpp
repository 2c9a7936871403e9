// Video for Windows in a page: rendering video is the desktop build's work.
// Opening the file says so in a box and ends the run; the rest is never
// reached and fails.
#include "platform/vfw.h"

#include <cstdint>
#include <cstdlib>

namespace {
constexpr HRESULT unsupported = -38;  // -ENOSYS
}

void AVIFileInit() {}
void AVIFileExit() {}

HRESULT AVIFileOpenA(PAVIFILE*, LPCSTR, UINT, const void*) {
    MessageBoxA(nullptr,
                "The browser plays the demo in real time. To render it as a video file, run the desktop "
                "build with the word video.",
                "Video", MB_OK | MB_ICONINFORMATION);
    ExitProcess(0);
}

HRESULT AVIFileCreateStreamA(PAVIFILE, PAVISTREAM*, const AVISTREAMINFOA*) { return unsupported; }
int AVISaveOptions(HWND, UINT, int, PAVISTREAM*, LPAVICOMPRESSOPTIONS*) { return 0; }
HRESULT AVIMakeCompressedStream(PAVISTREAM*, PAVISTREAM, const AVICOMPRESSOPTIONS*, const void*) { return unsupported; }
HRESULT AVIStreamSetFormat(PAVISTREAM, LONG, const void*, LONG) { return unsupported; }
HRESULT AVIStreamWrite(PAVISTREAM, LONG, LONG, const void*, LONG, DWORD, LONG*, LONG*) { return unsupported; }
DWORD AVIStreamRelease(PAVISTREAM) { return 0; }
DWORD AVIFileRelease(PAVIFILE) { return 0; }

namespace vfw {
HRESULT finishStream(PAVISTREAM) { return unsupported; }
std::int64_t fileSizeLimit() { return INT64_MAX; }
bool completedAfterFailure(PAVIFILE) { return false; }
std::string compressionProblem(const AVICOMPRESSOPTIONS&, const BITMAPINFO24&) { return {}; }
bool codecDialogAsksAgain() { return false; }
}  // namespace vfw

DWORD FormatMessageA(DWORD, const void*, DWORD, DWORD, LPSTR, DWORD, void*) { return 0; }
