// libFuzzer target for the pack reader: any bytes as a pack, parsed straight
// from memory.
//
// Besides the sanitizers' own checks it holds the reader to its promises:
// an accepted directory has at most 1024 entries with names under 512 bytes,
// every entry lies inside the file, and reading an entry back by its name
// gives exactly the bytes at its offset.
#include "source/fileserver.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>

[[noreturn]] static void broken(const char* what) {
    std::fprintf(stderr, "pack reader broke its promise: %s\n", what);
    std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One directory for every input: parse starts by forgetting the last one.
    static PackDirectory directory;
    const int result = directory.parse(std::span<const std::uint8_t>(data, size));
    if (result != 0) {
        if (directory.count() != 0) broken("a refused pack kept entries");
        if (directory.entrySize("a") != -1 || directory.readEntry("a") != nullptr) broken("a refused pack answers");
        return 0;
    }
    if (directory.count() < 0 || directory.count() > PackDirectory::maxEntries) broken("entry count out of range");
    for (int i = 0; i < directory.count(); ++i) {
        const char* name = directory.name(i);
        if (!name || std::strlen(name) >= std::size_t(PackDirectory::nameCapacity)) broken("name too long");
        const std::int64_t end = std::int64_t(directory.offset(i)) + directory.size(i);
        if (directory.size(i) < 0 || directory.offset(i) < 0 || end > std::int64_t(size))
            broken("entry outside the file");
        // Lookups scan the directory, so asking for every entry of a large
        // one costs its square; its first and last 8 entries stand for it.
        if (i >= 8 && i < directory.count() - 8) continue;
        const std::int32_t found = directory.entrySize(name);
        if (found < 0) broken("an entry's own name is not found");
        std::unique_ptr<unsigned char[]> bytes(directory.readEntry(name));
        if (!bytes) broken("an entry inside the file cannot be read");
        // The first entry answering to this name wins: entry i or an earlier one.
        bool matches = false;
        for (int j = 0; j <= i && !matches; ++j)
            matches = directory.size(j) == found &&
                      std::memcmp(bytes.get(), data + directory.offset(j), std::size_t(found)) == 0;
        if (!matches) broken("entry bytes differ from the file");
    }
    // A long request never matches and never overruns.
    if (directory.entrySize(std::string(4096, 'a').c_str()) != -1) broken("a 4096-byte request matched");
    return 0;
}
