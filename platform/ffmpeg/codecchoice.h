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

#include <span>
#include <string>

namespace vfw {

// How the quality the dialog chose (0-10000) reaches the encoder.
enum class QualityScale {
    None,    // lossless: there is none
    JpegQ,   // JPEG's q, 31..2 (default 3)
    X264Crf  // x264's CRF, 51..0 (default 18)
};

// Frames coded by our own coders (codecs/), whose bytes are the ones
// libavcodec's encoder makes; that encoder then only describes the stream.
enum class OwnCoder { None, UtVideo, HuffYuv };

// One codec: what the dialog and QVO_CODEC call it, and how FFmpeg is set
// up for it. Every list of codecs (the question, the encoder, the tests)
// is this table.
struct CodecChoice {
    const char* name;        // FFmpeg's encoder name, as QVO_CODEC takes it
    const char* label;       // what the dialog shows
    const char* shortLabel;  // its button
    FOURCC handler;          // AVICOMPRESSOPTIONS::fccHandler
    const char* pixelFormat;  // what the encoder is given (FFmpeg's name)
    // Encoder options, "name=value" joined by ':', the context's or the
    // encoder's own.
    const char* options;
    QualityScale quality;
    OwnCoder ownCoder;
};

// In the dialog's order.
std::span<const CodecChoice> codecChoices();
const CodecChoice* findCodec(const std::string& name);
const CodecChoice* findCodec(FOURCC handler);

// The user's choice, or null when the dialog was cancelled.
const CodecChoice* chooseCodec();

// Asks on the display (platform/sdl): the index chosen, -2 when cancelled,
// -1 when no box can be shown.
int askInDialog(const CodecChoice* codecs, int count, int defaultIndex);


}  // namespace vfw
