// The compression dialog's settings taken from the environment, the same on
// every platform:
//
//   vfw::fillOptions(&options, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, handler);
//
// QVO_QUALITY (0-100), QVO_KEYFRAMES (frames) and QVO_DATARATE (kbit/s)
// fill in what the flags let the dialog choose.
#pragma once

#include "platform/vfw.h"

namespace vfw {

// The number a variable holds, or fallback when it is unset; a value that is
// no number is reported on standard error and ignored.
DWORD environmentNumber(const char* name, DWORD fallback);

// The options the dialog gives for the codec `handler`.
void fillOptions(AVICOMPRESSOPTIONS* options, UINT flags, FOURCC handler);

}  // namespace vfw
