#include "source/fileserver.h"

#include "source/debugserver.h"
#include "source/exceptionserver.h"
#include "tests/support/scratchdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace {

const std::string signature = "@@MarlinPackArchiveStampIssuedByToolsmithYr01";

// A pack: optional prefix, signature, separator, then the rest verbatim.
std::string pack(const std::string& directoryAndData, const std::string& prefix = "") {
    return prefix + signature + "\n" + directoryAndData;
}

std::string entry(const PackDirectory& directory, const char* name) {
    std::unique_ptr<unsigned char[]> bytes(directory.readEntry(name));
    return bytes ? std::string(reinterpret_cast<char*>(bytes.get()), std::size_t(directory.entrySize(name))) : "<null>";
}

// "message|extra text" of the ExceptionType the call throws.
template <class Call> std::string thrown(Call call) {
    try { call(); } catch (const ExceptionType& e) { return std::string(e.string) + "|" + e.extraString; }
    return "<nothing thrown>";
}

class PackReader : public testing::Test {
protected:
    // Parses the bytes as a file and as they are in memory; both readings
    // must agree in result and in every entry.
    int parse(const std::string& bytes) {
        PackDirectory inMemory;
        const int fromMemory = inMemory.parse(std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
        const int fromFile = directory.parse(dir.write("test.dat", bytes).c_str());
        EXPECT_EQ(fromMemory, fromFile);
        EXPECT_EQ(inMemory.count(), directory.count());
        for (int i = 0; i < std::min(inMemory.count(), directory.count()); ++i) {
            EXPECT_STREQ(inMemory.name(i), directory.name(i));
            EXPECT_EQ(inMemory.size(i), directory.size(i));
            EXPECT_EQ(inMemory.offset(i), directory.offset(i));
        }
        return fromFile;
    }

    ScratchDir dir;
    PackDirectory directory;
};

TEST_F(PackReader, NamesMatchIgnoringAsciiCaseAndByLastComponent) {
    ASSERT_EQ(parse(pack("Data/Quel.RAW@1@other/quel.raw@1@data/kov(clip).mp3@1@\xC9t\xE9@1@@QOMe")), 0);
    // Base names collide: the first wins. Requests are not reduced, \\ is no separator, and
    // requests of any length are safe.
    const std::pair<std::string, std::string> requests[] = {
        {"data/quel.raw", "Q"}, {"QUEL.RAW", "Q"}, {"OTHER/quel.raw", "O"}, {"kov(clip).mp3", "M"}, {"\xC9T\xE9", "e"},
        {"data\\quel.raw", "<null>"}, {"x/quel.raw", "<null>"}, {"", "<null>"}, {"\xE9t\xE9", "<null>"},
        {std::string(1 << 20, 'o'), "<null>"}};
    for (const auto& [name, bytes] : requests) EXPECT_EQ(entry(directory, name.c_str()), bytes) << name.substr(0, 20);
    // A zero byte ends a name early, also for its last component.
    ASSERT_EQ(parse(pack(std::string("x/ab\0c/de@1@@Z", 15))), 0);
    for (const char* name : {"x/ab", "AB"}) EXPECT_EQ(entry(directory, name), "Z") << name;
    EXPECT_EQ(entry(directory, "de"), "<null>");
}

// Every pack that is refused keeps and serves nothing; "a" of an accepted one is as given.
TEST_F(PackReader, DirectoryGrammarAndUnfitPacks) {
    std::string names;
    for (int i = 0; i < 1024; ++i) names.append("a").append(std::to_string(i)).append("@0@");
    const struct {
        std::string bytes;
        int result;
        std::string a;
    } cases[] = {
        // The third @ breaks the signature match and is not tried again; a signature on the last byte is not found.
        {pack("a@1@@x", "@"), -5, ""}, {"junk" + signature, -5, ""}, {"no signature", -5, ""}, {"", -3, ""},
        // A single @ before the first name is ignored; a name followed by @@ ends the directory without it.
        {pack("@a@1@b@@x"), 0, "x"}, {pack("@@"), 0, "<null>"}, {signature + "\n", -6, ""}, {pack("a@3@b@2@"), -6, ""},
        // Sizes read like signed decimals; no digits read as 0.
        {pack("a@2abc@@xy"), 0, "xy"}, {pack("b@x@a@ \t+2@@hi"), 0, "hi"}, {pack("a@-0@@"), 0, ""},
        {pack(std::string(511, 'n') + "@1@a@0@@x"), 0, ""}, {pack(std::string(512, 'n') + "@1@@x"), -6, ""},
        {pack(std::string(100000, 'n') + "@1@@x"), -6, ""},
        {pack(names + "@"), 0, "<null>"}, {pack(names + "e@0@@"), -6, ""}, {pack(names + "e@@"), -6, ""},
        {pack("a@-1@@x"), -6, ""}, {pack("a@3@@xyz"), 0, "xyz"}, {pack("a@4@@xyz"), -6, ""},
        {pack("a@2@b@2@@xyz"), -6, ""}, {pack("a@2147483647@@x"), -6, ""}, {pack("a@2147483648@@x"), -6, ""},
        {pack("a@99999999999999999999999@@x"), -6, ""},
        {pack("a@2147483647@b@2147483647@c@2@@x"), -6, ""},  // offsets overflowing 32 bits
    };
    for (const auto& c : cases) {
        ASSERT_EQ(parse(c.bytes), c.result) << c.bytes.substr(0, 80);
        EXPECT_EQ(entry(directory, "a"), c.result ? "<null>" : c.a) << c.bytes.substr(0, 80);
        EXPECT_TRUE(c.result == 0 || directory.count() == 0) << "a refused pack keeps nothing";
    }
    EXPECT_EQ(directory.parse(dir.path("missing.dat").c_str()), -1);
    EXPECT_LT(directory.parse(dir.path().c_str()), 0) << "a directory is not a pack";
}

TEST_F(PackReader, EntriesFollowTheEndMarkAndEveryTruncationIsRefused) {
    const std::string whole = pack("data/one.raw@3@two@2@three@0@@xyzpq", "pre");
    for (std::size_t length = 0; length < whole.size(); ++length) {
        EXPECT_NE(parse(whole.substr(0, length)), 0) << length;
        EXPECT_EQ(directory.count(), 0) << length;
    }
    ASSERT_EQ(parse(whole), 0);
    EXPECT_EQ(entry(directory, "one.raw"), "xyz");
    EXPECT_EQ(entry(directory, "two"), "pq");
    EXPECT_EQ(entry(directory, "three"), "");
    EXPECT_EQ(directory.offset(0), int(whole.size()) - 5) << "offsets count from the start of the file";
    // The pack is read once: a file that shrinks or goes away afterwards
    // changes nothing.
    std::filesystem::resize_file(dir.path("test.dat"), whole.size() - 1);
    EXPECT_EQ(entry(directory, "two"), "pq");
    std::filesystem::remove(dir.path("test.dat"));
    EXPECT_EQ(entry(directory, "one.raw"), "xyz");
}

class FileServerTest : public testing::Test {
protected:
    ScratchDir dir;
    DebugServer debug{11, 0};
    FileServer files{&debug, 200};
};

TEST_F(FileServerTest, PackModeNeverFallsBackAndUnusablePacksKeepLooseMode) {
    dir.write("ossa.raw", "loose");
    files.openPack(dir.write("QuelVarnOssa.dat", pack("data/quel.raw@3@data/Varn.raw@2@@abcde")).c_str());
    EXPECT_TRUE(packMode);
    EXPECT_EQ(files.getFileSize("varn.raw"), 2);
    std::unique_ptr<unsigned char[]> first(files.getFile("DATA/QUEL.RAW")), second(files.getFile("quel.raw"));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get()) << "each request reads a new buffer";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(first.get()), 3), "abc");
    EXPECT_EQ(files.getFile(dir.path("ossa.raw").c_str()), nullptr);
    EXPECT_EQ(debug.lastLogged(), nullptr) << "misses in pack mode log nothing";
    FileServer another(&debug, 200);
    EXPECT_FALSE(packMode) << "a new server starts in loose mode";
    for (const std::string& bytes : {std::string("no signature"), pack("a@5@@x"), pack(std::string(600, 'n') + "@1@@x")}) {
        const std::string path = dir.write("bad.dat", bytes);
        EXPECT_EQ(thrown([&] { another.openPack(path.c_str()); }), "Error - couldn't read metadata! Aborting...|" + path);
        EXPECT_FALSE(packMode);
    }
    EXPECT_THROW(another.openPack(dir.path("absent.dat").c_str()), ExceptionType);
}

TEST_F(FileServerTest, LooseModeReadsEachNameOnceCaseSensitively) {
    const std::string lower = dir.write("a.raw", "12345"), upper = dir.write("A.raw", "UPPER");
    EXPECT_EQ(files.getFileSize(lower.c_str()), 5);
    dir.write("a.raw", "changed on disk");
    unsigned char* a = files.getFile(lower.c_str());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(files.getFile(lower.c_str()), a);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(a), 5), "12345") << "read once, at the first request";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(files.getFile(upper.c_str())), 5), "UPPER");
}

TEST_F(FileServerTest, LooseModeFailuresNameTheFile) {
    const std::string empty = dir.write("empty.raw", ""), folder = dir.path("folder.raw");
    std::filesystem::create_directory(folder);
    // Opened for reading and writing: a directory cannot be.
    EXPECT_EQ(thrown([&] { files.getFile(folder.c_str()); }), exOpenFile.string + ("|" + folder));
    EXPECT_EQ(std::string(debug.lastLogged()), "{FileServer::File}: Opening file " + folder + "... Failed!");
    EXPECT_EQ(thrown([&] { files.getFile(empty.c_str()); }), exReadFile.string + ("|" + empty));
    EXPECT_EQ(std::string(debug.lastLogged()), "{FileServer::File}: Reading file (0 bytes) into buffer... Failed!");
    EXPECT_THROW(files.getFileSize(dir.path("missing.raw").c_str()), ExceptionType);
    EXPECT_EQ(exReadFile.extraString, empty) << "each global keeps the name of its own last failure";

    // Failed records stay in the table without data.
    for (const std::string& name : {folder, empty})
        EXPECT_EQ(thrown([&] { files.getFile(name.c_str()); }).rfind(exFileNotFound.string, 0), 0u) << name;
    EXPECT_EQ(files.getFileSize(empty.c_str()), 0);
    EXPECT_EQ(files.loadedFiles(), 3);
}

TEST_F(FileServerTest, LooseModeHoldsOneFileFewerThanItsCapacityAndRefusesNullNames) {
    dir.write("f.raw", "x");
    // Distinct names of one file: extra slashes change the name, not the file.
    auto nameNumber = [&](int i) { return dir.path() + "/" + std::string(std::size_t(i), '/') + "f.raw"; };
    for (int i = 0; i < 199; ++i) ASSERT_NE(files.getFile(nameNumber(i).c_str()), nullptr) << i;
    EXPECT_NE(files.getFile(nameNumber(0).c_str()), nullptr) << "known names are still served";
    EXPECT_EQ(thrown([&] { files.getFile(nameNumber(199).c_str()); }).rfind("Error - too many files in FileServer!", 0), 0u);
    EXPECT_EQ(files.loadedFiles(), 199);
    EXPECT_DEATH(files.getFile(nullptr), "filename.*fileserver");
}

}  // namespace
