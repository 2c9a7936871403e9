#include "platform/vfwoptions.h"

#include <cstdio>
#include <cstdlib>

namespace vfw {

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

void fillOptions(AVICOMPRESSOPTIONS* o, UINT flags, FOURCC handler) {
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

}  // namespace vfw
