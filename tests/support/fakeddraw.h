// A scripted DirectDraw in place of the SDL one, for tests of the display:
// it refuses the modes and surfaces it is told to, reports the pixel format
// it is given, hands out a back buffer of a chosen pitch filled with 0xEE,
// and records every call in order.
//
//   FakeDirectDraw fake;                 // installed while it lives
//   fake.script.refusedBits = {32};
//   initDisplay("Tirrow", 640, 480);
//   fake.calls  -> {"SetCooperativeLevel 0x11", "SetDisplayMode 640x480x32", ...}
#pragma once

#include "platform/ddraw.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct FakePixelFormat {
    DWORD flags = DDPF_RGB;
    DWORD bits = 32;
    DWORD red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF;
};

struct FakeDirectDrawScript {
    bool createFails = false;
    bool cooperativeLevelFails = false;
    std::set<DWORD> refusedBits;        // SetDisplayMode fails for these
    DWORD maxBackBuffers = 2;           // a flipping chain with more fails; 0 = none at all
    bool primaryFails = false;          // every CreateSurface fails
    std::map<DWORD, FakePixelFormat> formats;  // by mode bits; defaults below
    bool pixelFormatFails = false;
    bool lockFails = false;
    std::int32_t pitch = 0;             // 0: width x bytes per pixel
    DWORD lockedWidth = 0, lockedHeight = 0;  // 0: the mode's size
    bool echoToStderr = false;          // for death tests: calls go to stderr too
};

class FakeDirectDraw {
public:
    FakeDirectDraw();
    ~FakeDirectDraw();
    FakeDirectDraw(const FakeDirectDraw&) = delete;
    FakeDirectDraw& operator=(const FakeDirectDraw&) = delete;

    FakeDirectDrawScript script;
    std::vector<std::string> calls;
    int directDrawReleases = 0;
    int primaryReleases = 0;
    int liveObjects = 0;  // DirectDraw and primary objects not yet released

    // The back buffer's memory as the display last locked it.
    std::vector<std::uint8_t> backBuffer;
    std::int32_t pitch = 0;
    DWORD modeBits = 0;

    int count(const std::string& callPrefix) const;
    void record(const std::string& call);

private:
    ddraw::CreateHook previous;
};
