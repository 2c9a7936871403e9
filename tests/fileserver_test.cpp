#include "source/fileserver.h"

#include "source/debugserver.h"
#include "source/exceptionserver.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

const std::string signature = "@@MarlinPackArchiveStampIssuedByToolsmithYr01";

// A pack: optional prefix, signature, separator, then the rest verbatim.
std::string pack(const std::string& directoryAndData, const std::string& prefix = "") {
    return prefix + signature + "\n" + directoryAndData;
}

std::string entry(const PackDirectory& directory, const char* name) {
    std::unique_ptr<unsigned char[]> bytes(directory.readEntry(name));
    if (!bytes) return "<null>";
    return std::string(reinterpret_cast<const char*>(bytes.get()), std::size_t(directory.entrySize(name)));
}

class PackReader : public testing::Test {
protected:
    int parse(const std::string& bytes) { return directory.parse(dir.write("test.dat", bytes).c_str()); }

    ScratchDir dir;
    PackDirectory directory;
};

TEST_F(PackReader, EntriesFollowTheEndMarkBackToBack) {
    ASSERT_EQ(parse(pack("a@3@b@2@@xyzpq")), 0);
    ASSERT_EQ(directory.count(), 2);
    EXPECT_EQ(entry(directory, "a"), "xyz");
    EXPECT_EQ(entry(directory, "b"), "pq");
    EXPECT_EQ(directory.offset(0), int(signature.size()) + 1 + 9);
    EXPECT_EQ(directory.offset(1), directory.offset(0) + 3);
}

TEST_F(PackReader, PrefixIsSkippedButOffsetsCountFromTheFileStart) {
    ASSERT_EQ(parse(pack("a@3@b@2@@xyzpq", "MZ some bytes\n")), 0);
    EXPECT_EQ(directory.offset(0), 14 + int(signature.size()) + 1 + 9);
    EXPECT_EQ(entry(directory, "b"), "pq");
}

TEST_F(PackReader, SignatureSearchRules) {
    // The third @ breaks the partial match and is not tried again.
    EXPECT_EQ(parse("@" + signature + "\na@1@@x"), -5);
    // A signature ending on the last byte is not found.
    EXPECT_EQ(parse("junk" + signature), -5);
    EXPECT_EQ(parse("no signature at all"), -5);
    EXPECT_EQ(parse(""), -3);
    EXPECT_EQ(directory.parse(dir.path("missing.dat").c_str()), -1);
    EXPECT_LT(directory.parse(dir.path().c_str()), 0) << "a directory is not a pack";
}

TEST_F(PackReader, DirectoryEndMarkRules) {
    ASSERT_EQ(parse(pack("@@")), 0);
    EXPECT_EQ(directory.count(), 0);
    EXPECT_EQ(directory.entrySize("a"), -1);
    EXPECT_EQ(directory.readEntry("a"), nullptr);

    // A single @ before the first name is ignored.
    ASSERT_EQ(parse(pack("@a@1@@x")), 0);
    EXPECT_EQ(entry(directory, "a"), "x");

    // A name directly followed by @@ ends the directory without it.
    ASSERT_EQ(parse(pack("a@1@b@@x")), 0);
    EXPECT_EQ(directory.count(), 1);
    EXPECT_EQ(directory.entrySize("b"), -1);
}

TEST_F(PackReader, SizeIsReadLikeASignedDecimal) {
    ASSERT_EQ(parse(pack("a@12abc@@0123456789AB")), 0);
    EXPECT_EQ(directory.entrySize("a"), 12);
    ASSERT_EQ(parse(pack("a@ \t+2@b@-0@c@x@@hi")), 0);
    EXPECT_EQ(entry(directory, "a"), "hi");
    EXPECT_EQ(directory.entrySize("b"), 0);
    EXPECT_EQ(directory.entrySize("c"), 0) << "no digits read as 0";
    EXPECT_EQ(directory.offset(2), directory.offset(0) + 2);
}

TEST_F(PackReader, NamesMatchIgnoringCaseAndByLastComponent) {
    ASSERT_EQ(parse(pack("Data/Quel.RAW@1@other/quel.raw@1@data/kov(clip).mp3@1@@QOM")), 0);
    EXPECT_EQ(entry(directory, "data/quel.raw"), "Q");
    EXPECT_EQ(entry(directory, "QUEL.RAW"), "Q") << "base names collide: first wins";
    EXPECT_EQ(entry(directory, "OTHER/quel.raw"), "O");
    EXPECT_EQ(entry(directory, "kov(clip).mp3"), "M");
    EXPECT_EQ(directory.entrySize("data\\quel.raw"), -1) << "\\ is not a separator";
    EXPECT_EQ(directory.entrySize("x/quel.raw"), -1) << "the request is not reduced";
    EXPECT_EQ(directory.entrySize(""), -1);
}

TEST_F(PackReader, OnlyAsciiLettersFoldCase) {
    ASSERT_EQ(parse(pack("\xC9t\xE9@1@@e")), 0);
    EXPECT_EQ(directory.entrySize("\xC9T\xE9"), 1);
    EXPECT_EQ(directory.entrySize("\xE9t\xE9"), -1);
}

TEST_F(PackReader, NamesMustFitTheirBuffers) {
    const std::string longest(511, 'n');
    ASSERT_EQ(parse(pack(longest + "@1@@x")), 0);
    EXPECT_EQ(directory.entrySize(longest.c_str()), 1);
    EXPECT_EQ(parse(pack(std::string(512, 'n') + "@1@@x")), -6);
    EXPECT_EQ(directory.count(), 0) << "a refused pack keeps nothing";
    EXPECT_EQ(parse(pack(std::string(100000, 'n') + "@1@@x")), -6);

    // Requests of any length are safe and simply not found.
    ASSERT_EQ(parse(pack("a@1@@x")), 0);
    const std::string hugeRequest(1 << 20, 'a');
    EXPECT_EQ(directory.entrySize(hugeRequest.c_str()), -1);
    EXPECT_EQ(directory.readEntry(hugeRequest.c_str()), nullptr);
}

TEST_F(PackReader, AtMost1024Entries) {
    std::string names;
    for (int i = 0; i < 1024; ++i) names.append("e").append(std::to_string(i)).append("@0@");
    ASSERT_EQ(parse(pack(names + "@")), 0);
    EXPECT_EQ(directory.count(), 1024);
    EXPECT_EQ(directory.entrySize("e1023"), 0);
    EXPECT_EQ(parse(pack(names + "e1024@0@@")), -6);
    // The 1025th name starting is enough, even without its size.
    EXPECT_EQ(parse(pack(names + "e1024@@")), -6);
}

TEST_F(PackReader, SizesMustBeNonNegativeAndInsideTheFile) {
    EXPECT_EQ(parse(pack("a@-1@@x")), -6);
    EXPECT_EQ(parse(pack("a@4@@xyz")), -6) << "one byte short";
    EXPECT_EQ(parse(pack("a@2@b@2@@xyz")), -6) << "second entry runs past the end";
    EXPECT_EQ(parse(pack("a@2147483647@@x")), -6);
    EXPECT_EQ(parse(pack("a@2147483648@@x")), -6);
    EXPECT_EQ(parse(pack("a@99999999999999999999999@@x")), -6);
    EXPECT_EQ(parse(pack("a@2147483647@b@2147483647@c@2@@x")), -6) << "offsets overflowing 32 bits";
    ASSERT_EQ(parse(pack("a@3@@xyz")), 0) << "an entry ending on the last byte is fine";
}

TEST_F(PackReader, EveryTruncationIsRefusedOrConsistent) {
    const std::string whole = pack("data/one.raw@3@two@2@three@0@@xyzpq", "pre");
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        const int result = parse(whole.substr(0, length));
        if (result != 0) {
            EXPECT_EQ(directory.count(), 0) << length;
            continue;
        }
        EXPECT_EQ(length, whole.size()) << "only the whole pack is complete";
        for (int i = 0; i < directory.count(); ++i)
            EXPECT_LE(std::int64_t(directory.offset(i)) + directory.size(i), std::int64_t(length));
    }
    ASSERT_EQ(parse(whole), 0);
    EXPECT_EQ(entry(directory, "one.raw"), "xyz");
    EXPECT_EQ(entry(directory, "three"), "");
    EXPECT_EQ(parse(signature + "\n"), -6) << "separator is the last byte";
    EXPECT_EQ(parse(pack("a@3@b@2@")), -6) << "no end mark";
}

TEST_F(PackReader, ShrunkenPackGivesNullNotGarbage) {
    const std::string path = dir.write("test.dat", pack("a@3@b@2@@xyzpq"));
    ASSERT_EQ(directory.parse(path.c_str()), 0);
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 1);
    EXPECT_EQ(entry(directory, "a"), "xyz");
    EXPECT_EQ(directory.readEntry("b"), nullptr);
    std::filesystem::remove(path);
    EXPECT_EQ(directory.readEntry("a"), nullptr);
    EXPECT_EQ(directory.entrySize("a"), 3) << "the directory itself is kept";
}

// --- FileServer -----------------------------------------------------------

class FileServerTest : public testing::Test {
protected:
    void SetUp() override {
        savedOpen = exOpenFile;
        savedRead = exReadFile;
        savedMetadata = exReadMetadata;
    }
    void TearDown() override {
        exOpenFile = savedOpen;
        exReadFile = savedRead;
        exReadMetadata = savedMetadata;
    }

    ScratchDir dir;
    DebugServer debug{11, 0};
    ExceptionType savedOpen{""}, savedRead{""}, savedMetadata{""};
};

TEST_F(FileServerTest, PackModeServesNewBuffersAndSizes) {
    const std::string path = dir.write("QuelVarnOssa.dat", pack("data/quel.raw@3@data/Varn.raw@2@@abcde"));
    FileServer files(&debug, 200);
    EXPECT_FALSE(packMode);
    files.openPack(path.c_str());
    EXPECT_TRUE(packMode);
    EXPECT_EQ(files.getFileSize("varn.raw"), 2);
    EXPECT_EQ(files.getFileSize("data/ossa.raw"), -1);
    std::unique_ptr<unsigned char[]> first(files.getFile("DATA/QUEL.RAW"));
    std::unique_ptr<unsigned char[]> second(files.getFile("quel.raw"));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get()) << "each request reads a new buffer";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(first.get()), 3), "abc");
    EXPECT_EQ(files.getFile("ossa.raw"), nullptr);
    EXPECT_EQ(files.loadedFiles(), 0) << "no fallback to loose files";
    EXPECT_EQ(debug.lastLogged(), nullptr) << "misses in pack mode log nothing";
    FileServer another(&debug, 200);
    EXPECT_FALSE(packMode) << "a new server starts in loose mode";
}

TEST_F(FileServerTest, UnusablePackThrowsReadMetadataAndStaysLoose) {
    FileServer files(&debug, 200);
    for (const std::string& bytes : {std::string("no signature"), pack("a@5@@x"), pack(std::string(600, 'n') + "@1@@x")}) {
        const std::string path = dir.write("bad.dat", bytes);
        try {
            files.openPack(path.c_str());
            ADD_FAILURE() << "accepted: " << bytes.substr(0, 60);
        } catch (const ExceptionType& e) {
            EXPECT_STREQ(e.string, "Error - couldn't read metadata! Aborting...");
        }
        EXPECT_FALSE(packMode);
    }
    EXPECT_THROW(files.openPack(dir.path("absent.dat").c_str()), ExceptionType);
}

TEST_F(FileServerTest, LooseModeKeepsOneBufferPerName) {
    dir.write("clip.raw", "12345");
    FileServer files(&debug, 200);
    const std::string name = dir.path("clip.raw");
    EXPECT_EQ(files.getFileSize(name.c_str()), 5);
    dir.write("clip.raw", "changed on disk");
    unsigned char* a = files.getFile(name.c_str());
    unsigned char* b = files.getFile(name.c_str());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(a), 5), "12345") << "read once, at the first request";
    EXPECT_EQ(files.loadedFiles(), 1);
}

TEST_F(FileServerTest, LooseModeNamesAreCaseSensitive) {
    dir.write("a.raw", "lower");
    dir.write("A.raw", "UPPER");
    FileServer files(&debug, 200);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(files.getFile(dir.path("a.raw").c_str())), 5), "lower");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(files.getFile(dir.path("A.raw").c_str())), 5), "UPPER");
    EXPECT_EQ(files.loadedFiles(), 2);
}

TEST_F(FileServerTest, LooseModeFailuresNameTheFile) {
    dir.write("empty.raw", "");
    std::filesystem::create_directory(dir.path("folder.raw"));
    FileServer files(&debug, 200);
    const std::string empty = dir.path("empty.raw");
    const std::string folder = dir.path("folder.raw");
    const std::string missing = dir.path("missing.raw");

    try {
        files.getFile(folder.c_str());  // opens for reading and writing: a directory cannot be
        ADD_FAILURE();
    } catch (const ExceptionType& e) {
        EXPECT_STREQ(e.string, exOpenFile.string);
        EXPECT_EQ(e.extraString, folder);
    }
    EXPECT_EQ(std::string(debug.lastLogged()), "{FileServer::File}: Opening file " + folder + "... Failed!");
    try {
        files.getFile(empty.c_str());
        ADD_FAILURE();
    } catch (const ExceptionType& e) {
        EXPECT_STREQ(e.string, exReadFile.string);
        EXPECT_EQ(e.extraString, empty);
    }
    EXPECT_EQ(std::string(debug.lastLogged()), "{FileServer::File}: Reading file (0 bytes) into buffer... Failed!");
    EXPECT_THROW(files.getFileSize(missing.c_str()), ExceptionType);

    // Each global keeps the name of its own last failure.
    EXPECT_EQ(exOpenFile.extraString, missing);
    EXPECT_EQ(exReadFile.extraString, empty);

    // Failed records stay in the table without data.
    for (const std::string& name : {folder, empty}) {
        try {
            files.getFile(name.c_str());
            ADD_FAILURE();
        } catch (const ExceptionType& e) {
            EXPECT_STREQ(e.string, exFileNotFound.string);
        }
    }
    EXPECT_EQ(files.getFileSize(empty.c_str()), 0);
    EXPECT_EQ(files.loadedFiles(), 3);
}

TEST_F(FileServerTest, LooseModeLogsEachStep) {
    ScratchDir logDir(true);
    DebugServer verbose(4, 1);
    dir.write("five.raw", "12345");
    const std::string name = dir.path("five.raw");
    FileServer files(&verbose, 200);
    files.getFile(name.c_str());
    EXPECT_EQ(ScratchDir::read("debug.log"),
              "{FileServer::File}: Opening file " + name + "... Done.\n"
              "{FileServer::File}: Allocating buffer (5 bytes)... Done.\n"
              "{FileServer::File}: Reading file (5 bytes) into buffer... Done.\n");
}

TEST_F(FileServerTest, LooseModeHoldsOneFileFewerThanItsCapacity) {
    dir.write("f.raw", "x");
    // Distinct names of one file: extra slashes change the name, not the file.
    auto nameNumber = [&](int i) { return dir.path() + "/" + std::string(std::size_t(i), '/') + "f.raw"; };
    FileServer files(&debug, 200);
    for (int i = 0; i < 199; ++i) ASSERT_NE(files.getFile(nameNumber(i).c_str()), nullptr) << i;
    EXPECT_EQ(files.loadedFiles(), 199);
    EXPECT_NE(files.getFile(nameNumber(0).c_str()), nullptr) << "known names are still served";
    try {
        files.getFile(nameNumber(199).c_str());
        ADD_FAILURE() << "the 200th file was accepted";
    } catch (const ExceptionType& e) {
        EXPECT_STREQ(e.string, "Error - too many files in FileServer! Aborting...");
    }
    EXPECT_EQ(files.loadedFiles(), 199);
}

TEST_F(FileServerTest, NullNamesEndTheProgramNamingTheParameter) {
    FileServer files(&debug, 200);
    EXPECT_DEATH(files.getFile(nullptr), "filename.*fileserver");
}

}  // namespace
