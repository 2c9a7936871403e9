// A scripted DirectDraw in place of the SDL one, for tests of the display:
// it refuses the modes and surfaces it is told to, reports the pixel format
// it is given, hands out a 640 x 480 back buffer of a chosen pitch filled
// with 0xEE, and records every call in order.
//
//   FakeDirectDraw fake;                 // installed while it lives
//   fake.script.refusedBits = {32};
//   initDisplay("Tirrow", 640, 480);
//   fake.calls  -> {"DirectDrawCreate", "SetCooperativeLevel window 0x11",
//                   "SetDisplayMode 640x480x32", "SetDisplayMode 640x480x24", ...}
#pragma once

#include "platform/ddraw.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct FakeDirectDrawScript {
    bool createFails = false;
    std::set<DWORD> refusedBits;        // SetDisplayMode fails for these
    DWORD maxBackBuffers = 2;           // a flipping chain with more fails; 0 = none at all
    std::map<DWORD, DDPIXELFORMAT> formats = {  // by mode bits
        {32, {DDPIXELFORMAT_SIZE, DDPF_RGB, 0, 32, 0xFF0000, 0x00FF00, 0x0000FF}},
        {24, {DDPIXELFORMAT_SIZE, DDPF_RGB, 0, 24, 0xFF0000, 0x00FF00, 0x0000FF}},
        {16, {DDPIXELFORMAT_SIZE, DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F}}};
    bool pixelFormatFails = false;
    bool lockFails = false;
    std::int32_t pitch = 0;             // 0: width x bytes per pixel
    DWORD lockedWidth = 0, lockedHeight = 0;  // 0: 640 x 480
};

class FakeDirectDraw {
public:
    FakeDirectDraw();
    ~FakeDirectDraw();
    FakeDirectDraw(const FakeDirectDraw&) = delete;
    FakeDirectDraw& operator=(const FakeDirectDraw&) = delete;

    FakeDirectDrawScript script;
    std::vector<std::string> calls;
    int liveObjects = 0;  // DirectDraw and primary objects not yet released

    // The back buffer's memory as the display last locked it.
    std::vector<std::uint8_t> backBuffer;
    DWORD modeBits = 0;

    // Adds a call to the list; returns DD_OK, what most calls give back.
    HRESULT record(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    ddraw::CreateHook previous;
};
