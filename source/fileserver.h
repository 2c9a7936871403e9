// File access by name: from the pack "QuelVarnOssa.dat" once openPack has
// succeeded (pack mode), from loose files on disk before that.
//
//   FileServer files(debug, 200);
//   files.openPack("QuelVarnOssa.dat");          // throws exReadMetadata
//   int size = files.getFileSize("data/quel.raw");  // -1 if absent
//   unsigned char* bytes = files.getFile("data/quel.raw");  // null if absent
#pragma once

#include <cstdint>
#include <cstdio>

class DebugServer;

// The parsed directory of a pack file. Entry data is read from disk again on
// every request.
class PackDirectory {
public:
    static constexpr int maxEntries = 1024;
    static constexpr int nameCapacity = 512;  // 511 bytes plus terminator

    PackDirectory();
    ~PackDirectory();
    PackDirectory(const PackDirectory&) = delete;
    PackDirectory& operator=(const PackDirectory&) = delete;

    // 0 on success, or a negative code (-1 open, -2 seek, -3 empty,
    // -4 short read, -5 no signature, -6 malformed directory).
    int parse(const char* packName);
    // A new buffer with the entry's bytes (caller owns it, delete[]), or null.
    unsigned char* readEntry(const char* name) const;
    // The entry's size, or -1.
    std::int32_t entrySize(const char* name) const;

    std::int32_t count() const { return entryCount; }
    const char* name(int i) const { return entryNames[i]; }
    std::int32_t size(int i) const { return entrySizes[i]; }
    std::int32_t offset(int i) const { return entryOffsets[i]; }

private:
    int find(const char* name) const;

    char* packName = nullptr;
    std::int32_t entrySizes[maxEntries];
    std::int32_t entryOffsets[maxEntries];
    char* entryNames[maxEntries];
    std::int32_t entryCount = 0;
};

class FileServer {
public:
    FileServer(DebugServer* debugServer, std::int32_t capacity);
    ~FileServer();
    FileServer(const FileServer&) = delete;
    FileServer& operator=(const FileServer&) = delete;

    void openPack(const char* packName);
    unsigned char* getFile(const char* filename);
    std::int32_t getFileSize(const char* filename);

    const PackDirectory& packDirectory() const { return *directory; }

    class File;

private:
    void addFile(const char* name);
    File* findFile(const char* name);

    PackDirectory* directory;
    std::int32_t capacity;
    std::int32_t fileCount;
    DebugServer* debugServer;
    File* files;
};

// True once any FileServer has opened its pack.
extern bool packMode;
