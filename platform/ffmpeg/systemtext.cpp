// The system's texts for error codes: errno values and FFmpeg's codes, both
// negative as the AVI calls return them.
#include "platform/vfw.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cstdlib>
#include <cstring>
#include <string>

DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, LPSTR buffer, DWORD size, void*) {
    if (!buffer) return 0;
    const int code = int(messageId);
    std::string text;
    if (code < 0) {
        if (const char* known = strerrordesc_np(-code)) {
            text = known;
        } else {
            char message[AV_ERROR_MAX_STRING_SIZE] = {};
            if (av_strerror(code, message, sizeof message) == 0 && std::strncmp(message, "Error number", 12) != 0)
                text = message;
        }
    } else if (const char* known = strerrordesc_np(code); known && code != 0) {
        text = known;
    }
    if (text.empty()) return 0;
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        char* copy = static_cast<char*>(std::malloc(text.size() + 1));
        if (!copy) return 0;
        std::memcpy(copy, text.c_str(), text.size() + 1);
        *reinterpret_cast<char**>(buffer) = copy;
        return DWORD(text.size());
    }
    if (size == 0) return 0;
    std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return DWORD(n);
}

