#include "source/fileserver.h"

#include "source/ascii.h"
#include "source/assertion.h"
#include "source/debugserver.h"
#include "source/exceptionserver.h"
#include "source/processstate.h"

#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

PROCESS_STATE(bool, packMode, false);

namespace {

constexpr char signature[] = "@@MarlinPackArchiveStampIssuedByToolsmithYr01";
constexpr long signatureLength = sizeof signature - 1;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

bool isBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A log line of at most 1023 characters; longer lines are cut.
class LogLine {
public:
    explicit LogLine(const char* start) { append(start); }
    LogLine& append(const char* text) {
        const std::size_t room = sizeof buffer - 1 - length;
        const std::size_t n = std::min(std::strlen(text), room);
        std::memcpy(buffer + length, text, n);
        length += n;
        buffer[length] = '\0';
        return *this;
    }
    LogLine& append(long long number) { return append(std::to_string(number).c_str()); }
    void send(DebugServer* debugServer, std::int8_t level) const {
        if (debugServer) debugServer->log(buffer, level);
    }

private:
    char buffer[1024] = {};
    std::size_t length = 0;
};

}  // namespace

// --- PackDirectory -------------------------------------------------------

PackDirectory::PackDirectory() { clear(); }

PackDirectory::~PackDirectory() = default;

void PackDirectory::clear() {
    // Nothing past entryCount is set. Name buffers stay for the next parse.
    for (int i = 0; i < entryCount; ++i) {
        entrySizes[i] = 0;
        entryOffsets[i] = 0;
    }
    entryCount = 0;
}

int PackDirectory::parse(const char* packName) {
    QVO_REQUIRE(packName);
    clear();
    packImage.clear();

    FileHandle file(std::fopen(packName, "rb"));
    if (!file) return cannotOpen;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return cannotSeek;
    const long fileSize = std::ftell(file.get());
    if (fileSize < 0) return cannotSeek;
    if (fileSize < 1) return empty;
    if (fileSize > INT32_MAX) return tooLarge;
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) return cannotSeek;

    packImage.resize(static_cast<std::size_t>(fileSize));
    const std::size_t arrived = std::fread(packImage.data(), 1, packImage.size(), file.get());
    if (arrived < packImage.size()) {
        // The pack format's reader has always put the count that arrived on
        // standard output; openPack gives the reason on standard error.
        std::printf("%zu\n", arrived);
        packImage.clear();
        return shortRead;
    }
    return parseImage();
}

int PackDirectory::parse(std::span<const unsigned char> pack) {
    clear();
    packImage.clear();
    if (pack.size() < 1) return empty;
    if (pack.size() > std::size_t(INT32_MAX)) return tooLarge;
    packImage.assign(pack.begin(), pack.end());
    return parseImage();
}

int PackDirectory::parseImage() {
    const long fileSize = long(packImage.size());
    auto refuse = [this](int result) {
        clear();
        packImage.clear();
        return result;
    };

    // The byte that breaks a partial match is not tried again as the first
    // signature character.
    long p = 0;
    long k = 0;
    while (k < signatureLength && p < fileSize) {
        if (packImage[p] == static_cast<unsigned char>(signature[k])) {
            ++k;
        } else {
            k = 0;
        }
        ++p;
    }
    if (p >= fileSize) return refuse(noSignature);
    ++p;  // the separator byte, never looked at

    // Every step below checks p against the end: a directory without its end
    // mark is refused rather than read past.
    int marks = 0;
    bool sizeExpected = false;
    while (marks < 2) {
        if (p >= fileSize) return refuse(malformedDirectory);
        const unsigned char c = packImage[p];
        if (c == '@') {
            ++marks;
            ++p;
        } else if (sizeExpected) {
            while (p < fileSize && isBlank(packImage[p])) ++p;
            bool negative = false;
            if (p < fileSize && (packImage[p] == '+' || packImage[p] == '-')) {
                negative = packImage[p] == '-';
                ++p;
            }
            long long value = 0;
            while (p < fileSize && packImage[p] >= '0' && packImage[p] <= '9') {
                value = value * 10 + (packImage[p] - '0');
                if (value > INT32_MAX) return refuse(malformedDirectory);
                ++p;
            }
            if (negative && value != 0) return refuse(malformedDirectory);
            while (p < fileSize && packImage[p] != '@') ++p;
            if (p >= fileSize) return refuse(malformedDirectory);
            ++p;
            entrySizes[entryCount] = std::int32_t(value);
            sizeExpected = false;
            ++entryCount;
        } else {
            marks = 0;
            sizeExpected = true;
            if (entryCount >= maxEntries) return refuse(malformedDirectory);
            const unsigned char* start = &packImage[std::size_t(p)];
            const auto* at = static_cast<const unsigned char*>(std::memchr(start, '@', std::size_t(fileSize - p)));
            const long end = at ? p + (at - start) : fileSize;
            if (end >= fileSize || end - p >= nameCapacity) return refuse(malformedDirectory);
            if (!entryNames[entryCount]) entryNames[entryCount].reset(new char[nameCapacity]);
            std::memcpy(entryNames[entryCount].get(), start, std::size_t(end - p));
            entryNames[entryCount][end - p] = '\0';
            // Names are C strings: a zero byte ends one early.
            nameLength[entryCount] = std::int16_t(std::strlen(entryNames[entryCount].get()));
            long base = p + nameLength[entryCount];
            while (base > p && packImage[std::size_t(base - 1)] != '/') --base;
            baseNameStart[entryCount] = std::int16_t(base - p);
            p = end;  // the @ is counted by the next pass
        }
    }
    // A name directly followed by @@ ends the directory without that entry:
    // it is not counted.

    long long offset = p;
    for (int i = 0; i < entryCount; ++i) {
        if (offset + entrySizes[i] > fileSize) return refuse(malformedDirectory);
        entryOffsets[i] = std::int32_t(offset);
        offset += entrySizes[i];
    }
    return ok;
}

const char* PackDirectory::describe(int result) {
    switch (result) {
        case ok: return "ok";
        case cannotOpen: return "cannot be opened";
        case cannotSeek: return "cannot be seeked";
        case empty: return "is empty";
        case shortRead: return "could not be read whole";
        case noSignature: return "has no pack signature";
        case malformedDirectory: return "has a malformed directory";
        case tooLarge: return "is too large for a pack";
        default: return "cannot be used";
    }
}

int PackDirectory::find(const char* name) const {
    const std::size_t length = std::strlen(name);
    if (length >= std::size_t(nameCapacity)) return -1;  // longer than any name
    const int requestLength = int(length);
    for (int i = 0; i < entryCount; ++i) {
        const char* full = entryNames[i].get();
        if (requestLength == nameLength[i] && equalIgnoringAsciiCase({name, length}, {full, length})) return i;
        const int base = baseNameStart[i];
        if (requestLength == nameLength[i] - base && equalIgnoringAsciiCase({name, length}, {full + base, length}))
            return i;
    }
    return -1;
}

unsigned char* PackDirectory::readEntry(const char* name) const {
    QVO_REQUIRE(name);
    const int i = find(name);
    if (i < 0) return nullptr;
    unsigned char* buffer = nullptr;
    try {
        buffer = new unsigned char[std::size_t(entrySizes[i])];
    } catch (const std::bad_alloc&) {
        return nullptr;  // no allocation-failure handler installed
    }
    std::memcpy(buffer, packImage.data() + entryOffsets[i], std::size_t(entrySizes[i]));
    return buffer;
}

std::int32_t PackDirectory::entrySize(const char* name) const {
    QVO_REQUIRE(name);
    const int i = find(name);
    return i < 0 ? -1 : entrySizes[i];
}

// --- FileServer::File ----------------------------------------------------

FileServer::File::~File() {
    if (stream) std::fclose(stream);
    delete[] name;
    delete[] data;
}

const char* FileServer::File::getName() const {
    if (!name) throw ExceptionType(exFileNotFound);
    return name;
}

unsigned char* FileServer::File::getData() const {
    if (!data) throw ExceptionType(exFileNotFound);
    return data;
}

void FileServer::File::load(const char* newName, DebugServer* debugServer) {
    QVO_REQUIRE(newName);
    const std::size_t length = std::strlen(newName);
    if (!name || length > nameCapacity) {
        delete[] name;
        name = nullptr;
        name = new char[length + 1];
        nameCapacity = std::uint32_t(length);
    }
    std::memcpy(name, newName, length + 1);

    LogLine opening("{FileServer::File}: Opening file ");
    opening.append(name).append("...");
    // Update mode: a file that may not be written to is not loaded either.
    stream = std::fopen(name, "rb+");
    if (!stream) {
        opening.append(" Failed!").send(debugServer, 10);
        exOpenFile.setExtraString(name);
        throw ExceptionType(exOpenFile);
    }
    opening.append(" Done.").send(debugServer, 4);

    // A record whose read failed keeps no buffer: later requests get
    // exFileNotFound instead of bytes that were never filled.
    auto failRead = [&](LogLine& line) {
        line.append("Failed!").send(debugServer, 10);
        std::fclose(stream);
        stream = nullptr;
        delete[] data;
        data = nullptr;
        size = 0;
        exReadFile.setExtraString(name);
        throw ExceptionType(exReadFile);
    };

    long length64 = -1;
    if (std::fseek(stream, 0, SEEK_END) == 0) length64 = std::ftell(stream);
    if (length64 < 0 || length64 > INT32_MAX || std::fseek(stream, 0, SEEK_SET) != 0) {
        LogLine reading("{FileServer::File}: Reading file (unknown size) into buffer... ");
        failRead(reading);
    }
    size = std::int32_t(length64);

    LogLine allocating("{FileServer::File}: Allocating buffer (");
    allocating.append(size).append(" bytes)...");
    delete[] data;
    data = nullptr;
    try {
        data = new unsigned char[std::size_t(size)];
    } catch (...) {
        std::fclose(stream);
        stream = nullptr;
        size = 0;
        throw;
    }
    allocating.append(" Done.").send(debugServer, 4);

    LogLine reading("{FileServer::File}: Reading file (");
    reading.append(size).append(" bytes) into buffer... ");
    // One block: a zero-length file counts as a failed read.
    if (std::fread(data, std::size_t(size), 1, stream) != 1) failRead(reading);
    std::fclose(stream);
    stream = nullptr;
    reading.append("Done.").send(debugServer, 4);
}

// --- FileServer ----------------------------------------------------------

FileServer::FileServer(DebugServer* debugServer, std::int32_t capacity)
    : directory(new PackDirectory()),
      capacity(capacity),
      fileCount(0),
      debugServer(debugServer),
      files(new File[capacity > 0 ? std::size_t(capacity) : 0]) {
    packMode = false;
}

FileServer::~FileServer() {
    delete[] files;
    delete directory;
}

void FileServer::openPack(const char* packName) {
    QVO_REQUIRE(packName);
    const int result = directory->parse(packName);
    if (result != 0) {
        LogLine line("{FileServer::openPack()}: Pack ");
        line.append(packName).append(" ").append(PackDirectory::describe(result)).append(". Failed!");
        line.send(debugServer, 10);
        // The entry point shows one fixed box; the real reason goes here.
        std::fprintf(stderr, "Pack file \"%s\" %s (code %d).\n", packName, PackDirectory::describe(result),
                     result);
        exReadMetadata.setExtraString(packName);
        throw ExceptionType(exReadMetadata);
    }
    packMode = true;
}

FileServer::File* FileServer::findFile(const char* name) {
    for (std::int32_t i = 0; i < fileCount; ++i)
        if (files[i].hasName() && std::strcmp(files[i].getName(), name) == 0) return &files[i];
    return nullptr;
}

void FileServer::addFile(const char* name) {
    if (packMode) return;
    // One record always stays unused: capacity 200 holds 199 files.
    if (fileCount + 1 >= capacity) throw ExceptionType(exTooManyFiles);
    File& record = files[fileCount];
    ++fileCount;
    record.load(name, debugServer);
}

// Loose mode: the record of that name, loaded on its first request.
FileServer::File* FileServer::findOrAdd(const char* name) {
    File* record = findFile(name);
    if (record) return record;
    addFile(name);
    return findFile(name);
}

unsigned char* FileServer::getFile(const char* filename) {
    QVO_REQUIRE(filename);
    if (packMode) return directory->readEntry(filename);
    File* record = findOrAdd(filename);
    return record ? record->getData() : nullptr;
}

std::int32_t FileServer::getFileSize(const char* filename) {
    QVO_REQUIRE(filename);
    if (packMode) return directory->entrySize(filename);
    File* record = findOrAdd(filename);
    if (!record) {
        if (debugServer)
            debugServer->log("{FileServer::getFileSize()}: Warning - client requested a non-existent file!", 8);
        return -1;
    }
    return record->getSize();
}
