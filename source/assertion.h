// A check on a pointer argument that stays in release builds: a null where
// the engine needs a text is a programming error, so the program ends at once
// with the parameter's name and the source position.
//
//   QVO_REQUIRE(filename);   // "Assertion failed: filename != nullptr, ..."
#pragma once

#include <cstdio>
#include <cstdlib>

namespace qvo {

[[noreturn]] inline void assertionFailed(const char* parameter, const char* file, int line) {
    std::fprintf(stderr, "Assertion failed: %s != nullptr, file %s, line %d\n", parameter, file, line);
    std::fflush(stderr);
    std::abort();
}

}  // namespace qvo

#define QVO_REQUIRE(pointer) \
    ((pointer) != nullptr ? (void)0 : ::qvo::assertionFailed(#pointer, __FILE__, __LINE__))
