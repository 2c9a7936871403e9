// qvo-pack: the pack file tool.
//
//   qvo-pack create OUT NAME=PATH...   write a pack holding the files
//   qvo-pack list PACK                 one line per entry: name, size, offset
//   qvo-pack extract PACK NAME OUT     write one entry's bytes to OUT
//
// Output files are written beside their final name and renamed into place,
// so a failed run never leaves a half-written pack behind. Exit code 0 on
// success, 1 on any failure (with a message on standard error), 2 on misuse.
#include "source/ascii.h"
#include "source/fileserver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char signature[] = "@@MarlinPackArchiveStampIssuedByToolsmithYr01";
// The reader skips this byte without looking; a line feed keeps the
// signature on a line of its own when the pack is viewed as text.
constexpr char separator = '\n';

int usage() {
    std::fprintf(stderr,
                 "usage: qvo-pack create OUT NAME=PATH...\n"
                 "       qvo-pack list PACK\n"
                 "       qvo-pack extract PACK NAME OUT\n");
    return 2;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "qvo-pack: %s\n", message.c_str());
    return 1;
}

bool readWhole(const std::string& path, std::vector<unsigned char>& bytes, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    unsigned char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    const bool bad = std::ferror(f);
    std::fclose(f);
    if (bad) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

// Writes through a temporary beside the target, then renames it into place.
bool writeAtomically(const std::string& path, const std::vector<std::pair<const void*, std::size_t>>& pieces,
                     std::string& error) {
    const std::string temporary = path + ".partial";
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) {
        error = "cannot create " + temporary + ": " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    for (const auto& [data, size] : pieces)
        if (size > 0 && std::fwrite(data, 1, size, f) != size) ok = false;
    if (std::fclose(f) != 0) ok = false;
    if (!ok) {
        error = "cannot write " + temporary + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + temporary + " to " + path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

struct Entry {
    std::string name;
    std::vector<unsigned char> bytes;
};

int create(const std::string& out, int count, char** namedPaths) {
    std::vector<Entry> entries;
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) {
        const std::string namedPath = namedPaths[i];
        const std::size_t equals = namedPath.find('=');
        if (equals == std::string::npos) return fail("expected NAME=PATH, got \"" + namedPath + "\"");
        Entry entry{namedPath.substr(0, equals), {}};
        const std::string path = namedPath.substr(equals + 1);
        if (entry.name.empty()) return fail("empty entry name in \"" + namedPath + "\"");
        if (entry.name.size() >= std::size_t(PackDirectory::nameCapacity))
            return fail("entry name longer than 511 bytes: " + entry.name.substr(0, 40) + "...");
        if (entry.name.find('@') != std::string::npos) return fail("entry name contains '@': " + entry.name);
        for (const Entry& other : entries)
            if (asciiLowered(other.name) == asciiLowered(entry.name))
                return fail("entry name given twice (names ignore case): " + entry.name);
        std::string error;
        if (!readWhole(path, entry.bytes, error)) return fail(error);
        total += entry.bytes.size();
        entries.push_back(std::move(entry));
    }
    if (entries.size() > std::size_t(PackDirectory::maxEntries)) return fail("more than 1024 entries");

    std::string head(signature);
    head += separator;
    for (const Entry& entry : entries) head += entry.name + "@" + std::to_string(entry.bytes.size()) + "@";
    // After an entry one more @ ends the directory; an empty one is "@@".
    head += entries.empty() ? "@@" : "@";
    // Offsets are 32-bit signed in the reader.
    if (head.size() + total > 0x7fffffffu) return fail("pack would exceed 2 GiB - 1 bytes");

    std::vector<std::pair<const void*, std::size_t>> pieces{{head.data(), head.size()}};
    for (const Entry& entry : entries) pieces.emplace_back(entry.bytes.data(), entry.bytes.size());
    std::string error;
    if (!writeAtomically(out, pieces, error)) return fail(error);

    // Read it back the way the demo will, so a bad pack never leaves here.
    PackDirectory check;
    const int result = check.parse(out.c_str());
    if (result != 0 || check.count() != int(entries.size())) {
        std::remove(out.c_str());
        return fail("written pack does not read back: " + out + " " + PackDirectory::describe(result));
    }
    return 0;
}

int openForReading(PackDirectory& directory, const std::string& pack) {
    const int result = directory.parse(pack.c_str());
    if (result != 0)
        return fail(pack + " " + PackDirectory::describe(result) + " (code " + std::to_string(result) + ")");
    return 0;
}

int list(const std::string& pack) {
    PackDirectory directory;
    if (openForReading(directory, pack) != 0) return 1;
    for (int i = 0; i < directory.count(); ++i)
        std::printf("%s\t%d\t%d\n", directory.name(i), int(directory.size(i)), int(directory.offset(i)));
    return std::fflush(stdout) == 0 ? 0 : fail("cannot write the listing");
}

int extract(const std::string& pack, const std::string& name, const std::string& out) {
    PackDirectory directory;
    if (openForReading(directory, pack) != 0) return 1;
    const std::int32_t size = directory.entrySize(name.c_str());
    if (size < 0) return fail("no entry named \"" + name + "\" in " + pack);
    std::unique_ptr<unsigned char[]> bytes(directory.readEntry(name.c_str()));
    if (!bytes) return fail("cannot read entry \"" + name + "\" from " + pack);
    std::string error;
    if (!writeAtomically(out, {{bytes.get(), std::size_t(size)}}, error)) return fail(error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    if (command == "create" && argc >= 3) return create(argv[2], argc - 3, argv + 3);
    if (command == "list" && argc == 3) return list(argv[2]);
    if (command == "extract" && argc == 5) return extract(argv[2], argv[3], argv[4]);
    return usage();
}
