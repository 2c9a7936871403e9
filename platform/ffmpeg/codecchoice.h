// The codecs the codec dialog (AVISaveOptions) offers, and the answers it
// takes from the environment:
//
//   QVO_CODEC     rawvideo, utvideo, ffv1, huffyuv, mjpeg, libx264 or cancel;
//                 unset: a box of buttons where a display exists, a numbered
//                 question when standard input is a terminal, else Ut Video
//   QVO_QUALITY   0-100, QVO_KEYFRAMES frames, QVO_DATARATE kbit/s
#pragma once

#include "platform/vfw.h"
#include "platform/vfwoptions.h"

#include <string>

namespace vfw {

struct CodecChoice {
    const char* name;   // FFmpeg's encoder name, as QVO_CODEC takes it
    const char* label;       // what the dialog shows
    const char* shortLabel;  // its button
    FOURCC handler;     // AVICOMPRESSOPTIONS::fccHandler
};

// In the dialog's order.
const CodecChoice* codecChoices(int* count);
const CodecChoice* findCodec(const std::string& name);
const CodecChoice* findCodec(FOURCC handler);

// The user's choice, or null when the dialog was cancelled.
const CodecChoice* chooseCodec();

// Asks on the display (platform/sdl): the index chosen, -2 when cancelled,
// -1 when no box can be shown.
int askInDialog(const CodecChoice* codecs, int count, int defaultIndex);


}  // namespace vfw
