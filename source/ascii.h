// ASCII case folding, as keywords and pack names use it: only the letters
// A-Z change; every other byte (UTF-8, Latin-1) stays as it is, whatever the
// locale says.
#pragma once

#include <string>
#include <string_view>

inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

inline std::string asciiLowered(std::string_view text) {
    std::string copy(text);
    for (char& c : copy) c = asciiLower(c);
    return copy;
}

inline bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}
