// File access by name: from the pack "QuelVarnOssa.dat" once openPack has
// succeeded (pack mode), from loose files on disk before that.
//
//   FileServer files(debug, 200);
//   files.openPack("QuelVarnOssa.dat");          // throws exReadMetadata
//   int size = files.getFileSize("data/quel.raw");  // -1 if absent
//   unsigned char* bytes = files.getFile("data/quel.raw");  // null if absent
//
// Pack layout: any prefix, the signature, one separator byte, the directory
// "name@size@name@size@...@" and then the entries' bytes back to back. Names
// match case-insensitively (A-Z only), by full name or by the part after the
// last '/'.
//
// A pack is refused as a whole (parse returns -6) when its directory does not
// fit the reader: a name of 512 bytes or more, more than 1024 entries, no end
// mark before the end of the file, a negative size, a size that overflows 32
// bits, or an entry whose bytes would lie past the end of the file. So every
// entry of an accepted pack lies inside it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

class DebugServer;

// The parsed directory of a pack. The pack's bytes are kept; entries are
// slices of them.
class PackDirectory {
public:
    static constexpr int maxEntries = 1024;
    static constexpr int nameCapacity = 512;  // 511 bytes plus terminator

    // The results of parse.
    enum Result : int {
        ok = 0,
        cannotOpen = -1,
        cannotSeek = -2,
        empty = -3,
        shortRead = -4,
        noSignature = -5,
        malformedDirectory = -6,
        tooLarge = -7,  // more than 32-bit offsets can address
    };

    PackDirectory();
    ~PackDirectory();
    PackDirectory(const PackDirectory&) = delete;
    PackDirectory& operator=(const PackDirectory&) = delete;

    // Reads the pack file whole, then parses its bytes.
    int parse(const char* packName);
    // Parses a pack held in memory (a copy is kept).
    int parse(std::span<const unsigned char> pack);
    // A new buffer with the entry's bytes (caller owns it, delete[]), or null.
    unsigned char* readEntry(const char* name) const;
    // The entry's size, or -1.
    std::int32_t entrySize(const char* name) const;

    // A short English reason for a result of parse.
    static const char* describe(int result);

    std::int32_t count() const { return entryCount; }
    const char* name(int i) const { return entryNames[i].get(); }
    std::int32_t size(int i) const { return entrySizes[i]; }
    std::int32_t offset(int i) const { return entryOffsets[i]; }

private:
    int find(const char* name) const;
    void clear();
    int parseImage();

    std::vector<unsigned char> packImage;
    std::int32_t entrySizes[maxEntries] = {};
    std::int32_t entryOffsets[maxEntries] = {};
    // Kept for lookups: the name's length and where its part after the last
    // '/' begins.
    std::int16_t nameLength[maxEntries] = {};
    std::int16_t baseNameStart[maxEntries] = {};
    std::unique_ptr<char[]> entryNames[maxEntries];
    std::int32_t entryCount = 0;
};

class FileServer {
public:
    // One loose file: read whole on first request, kept for the server's life.
    class File {
    public:
        File() = default;
        ~File();
        File(const File&) = delete;
        File& operator=(const File&) = delete;

        // Reads the file; throws exOpenFile / exReadFile with the name.
        void load(const char* name, DebugServer* debugServer);
        const char* getName() const;           // throws exFileNotFound if unset
        unsigned char* getData() const;        // throws exFileNotFound if unset
        std::int32_t getSize() const { return size; }
        bool hasName() const { return name != nullptr; }

    private:
        char* name = nullptr;
        std::uint32_t nameCapacity = 0;
        std::FILE* stream = nullptr;
        std::int32_t size = 0;
        unsigned char* data = nullptr;
    };

    FileServer(DebugServer* debugServer, std::int32_t capacity);
    ~FileServer();
    FileServer(const FileServer&) = delete;
    FileServer& operator=(const FileServer&) = delete;

    void openPack(const char* packName);
    // Pack mode: a new buffer the caller owns. Loose mode: the record's buffer,
    // the same pointer for every request of the same name.
    unsigned char* getFile(const char* filename);
    std::int32_t getFileSize(const char* filename);

    std::int32_t loadedFiles() const { return fileCount; }

private:
    void addFile(const char* name);
    File* findFile(const char* name);
    File* findOrAdd(const char* name);

    PackDirectory* directory;
    std::int32_t capacity;
    std::int32_t fileCount;
    DebugServer* debugServer;
    File* files;
};

// Whether files are read from the pack: set when a FileServer opens its
// pack, cleared when a new FileServer is made (it reads loose files).
extern bool packMode;
