// The POSIX file service on real files in a temporary folder: case-insensitive lookup of
// lower-cased paths, files that must never be opened, failures, and reading prefixes.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/posix_file_service.h"

namespace lcdprog::test {
namespace {

using platform::FileStatus;
using platform::PosixFileService;

class PosixFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lcdprog_files_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        ::chmod((dir + "/locked.bmp").c_str(), 0600);
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    void Folder(const std::string& name) {
        ASSERT_EQ(::mkdir((dir + "/" + name).c_str(), 0700), 0);
    }

    std::string dir;
    PosixFileService files;
};

TEST_F(PosixFiles, ALowerCasedPathReachesTheMixedCaseFile) {
    Folder("Pictures");
    const std::string real = Write("Pictures/Logo.BMP", "picture bytes");
    const std::string stored = dir + "/pictures/logo.bmp";
    EXPECT_TRUE(files.FileExists(stored));
    EXPECT_EQ(PosixFileService::Resolve(stored), real);
    const auto contents = files.Read(stored, 100);
    EXPECT_EQ(contents.status, FileStatus::Ok);
    EXPECT_EQ(contents.bytes, "picture bytes");
    // Any other spelling reaches it too; a different name does not.
    EXPECT_TRUE(files.FileExists(dir + "/PICTURES/logo.Bmp"));
    EXPECT_FALSE(files.FileExists(dir + "/pictures/logo.bmpx"));
    EXPECT_EQ(files.Read(dir + "/pictures/log.bmp", 100).status, FileStatus::Missing);
}

TEST_F(PosixFiles, LatinLettersOfUtf8AreMatchedAsTheyWereLowerCased) {
    Folder("Città");
    const std::string real = Write("Città/ÉCRAN.BMP", "x");
    const std::string stored = platform::Lower_Case_Path(real);
    EXPECT_EQ(stored, dir.substr(0, 0) + platform::Lower_Case_Path(dir) + "/città/écran.bmp");
    EXPECT_EQ(files.Read(stored, 10).bytes, "x");
}

TEST_F(PosixFiles, AnExactMatchWinsOverOtherSpellings) {
    Write("logo.bmp", "lower");
    Write("Logo.bmp", "mixed");
    Write("LOGO.BMP", "upper");
    EXPECT_EQ(files.Read(dir + "/logo.bmp", 10).bytes, "lower");
    EXPECT_EQ(files.Read(dir + "/Logo.bmp", 10).bytes, "mixed");
    EXPECT_EQ(files.Read(dir + "/LOGO.BMP", 10).bytes, "upper");
}

TEST_F(PosixFiles, WithoutAnExactMatchTheFirstEntryTheFolderListsWins) {
    Write("Logo.bmp", "mixed");
    Write("LOGO.BMP", "upper");
    std::string first;
    DIR* d = ::opendir(dir.c_str());
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "Logo.bmp" || name == "LOGO.BMP") {
            first = name;
            break;
        }
    }
    ::closedir(d);
    EXPECT_EQ(PosixFileService::Resolve(dir + "/logo.bmp"), dir + "/" + first);
    EXPECT_EQ(files.Read(dir + "/logo.bmp", 10).bytes, first == "Logo.bmp" ? "mixed" : "upper");
}

TEST_F(PosixFiles, EntriesThatAreNotRegularFilesAreNeverOpened) {
    const std::string fifo = dir + "/pipe.bmp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Folder("folder.bmp");
    const struct {
        std::string path;
        bool exists;
    } cases[] = {
        {fifo, true},                  // opening it for reading would wait for a writer
        {dir + "/PIPE.BMP", true},     // reached through the case-insensitive lookup
        {"/dev/null", true},           // a device
        {dir + "/folder.bmp", false},  // a folder is not a file
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(files.FileExists(c.path), c.exists);
        const auto contents = files.Read(c.path, 62);
        EXPECT_EQ(contents.status, FileStatus::NotRegular);
        EXPECT_TRUE(contents.bytes.empty());
        EXPECT_FALSE(contents.error.empty());
    }
}

TEST_F(PosixFiles, MissingEmptyShortAndLongFiles) {
    const std::string empty = Write("empty.bmp", "");
    const std::string shortFile = Write("short.bmp", "BM12345678");
    const std::string longFile = Write("long.bmp", std::string(100000, 'z') + "END");
    const struct {
        std::string path;
        std::size_t limit;
        FileStatus status;
        std::uint64_t length;
        std::string bytes;
    } cases[] = {
        {dir + "/absent.bmp", 62, FileStatus::Missing, 0, ""},
        {dir + "/nofolder/absent.bmp", 62, FileStatus::Missing, 0, ""},
        {"", 62, FileStatus::Missing, 0, ""},
        {empty, 62, FileStatus::Ok, 0, ""},
        {shortFile, 62, FileStatus::Ok, 10, "BM12345678"},
        {shortFile, 2, FileStatus::Ok, 10, "BM"},
        {longFile, 62, FileStatus::Ok, 100003, std::string(62, 'z')},
        {longFile, 0, FileStatus::Ok, 100003, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " limit " + std::to_string(c.limit));
        const auto contents = files.Read(c.path, c.limit);
        EXPECT_EQ(contents.status, c.status);
        EXPECT_EQ(contents.length, c.length);
        EXPECT_EQ(contents.bytes, c.bytes);
        EXPECT_EQ(files.FileExists(c.path), c.status == FileStatus::Ok);
    }
    // A whole long file, past the 64 KiB chunks it is read in.
    const auto whole = files.Read(longFile, 1 << 20);
    EXPECT_EQ(whole.bytes.size(), 100003u);
    EXPECT_EQ(whole.bytes.substr(100000), "END");
}

TEST_F(PosixFiles, AFileWhoseReadFailsIsUnreadableWithAReason) {
    // A regular file that opens but whose first read fails (address 0 is never mapped), for
    // any user, root included.
    const auto contents = files.Read("/proc/self/mem", 62);
    EXPECT_EQ(contents.status, FileStatus::Unreadable);
    EXPECT_EQ(contents.error, "Errore di lettura dal disco.");
    EXPECT_TRUE(contents.bytes.empty());
}

TEST_F(PosixFiles, AFileThatCannotBeOpenedIsUnreadableWithAReason) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads files whatever their permissions";
    }
    const std::string locked = Write("locked.bmp", "secret");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    EXPECT_TRUE(files.FileExists(locked));
    const auto contents = files.Read(locked, 62);
    EXPECT_EQ(contents.status, FileStatus::Unreadable);
    EXPECT_EQ(contents.error, "Accesso negato.");
}

TEST_F(PosixFiles, SymbolicLinkLoopsEndAndLinksToFilesAreFollowed) {
    ASSERT_EQ(::symlink("b", (dir + "/a").c_str()), 0);
    ASSERT_EQ(::symlink("a", (dir + "/b").c_str()), 0);
    ASSERT_EQ(::symlink("self", (dir + "/self").c_str()), 0);
    const std::string target = Write("target.bmp", "linked");
    ASSERT_EQ(::symlink("target.bmp", (dir + "/Link.bmp").c_str()), 0);
    for (const std::string& path :
         {dir + "/a", dir + "/A", dir + "/self", dir + "/a/x.bmp", dir + "/A/X.BMP"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(files.FileExists(path));
        const auto contents = files.Read(path, 62);
        EXPECT_TRUE(contents.status == FileStatus::Missing ||
                    contents.status == FileStatus::Unreadable);
    }
    EXPECT_EQ(files.Read(dir + "/a", 62).error, "Troppi collegamenti simbolici (forse un ciclo).");
    EXPECT_EQ(files.Read(dir + "/link.bmp", 62).bytes, "linked");
}

TEST_F(PosixFiles, NamesThatAreNotUtf8AreHandledAsBytes) {
    const std::string odd = Write("\xff\xfeX\xc3.bmp", "odd");
    EXPECT_EQ(files.Read(odd, 10).bytes, "odd");
    // Only the ASCII letter changes when lower-casing; the stray bytes stay.
    EXPECT_EQ(platform::Lower_Case_Path("\xff\xfeX\xc3.bmp"), "\xff\xfex\xc3.bmp");
    EXPECT_EQ(files.Read(dir + "/\xff\xfex\xc3.bmp", 10).bytes, "odd");
    EXPECT_EQ(files.GetFileName(odd), "\xff\xfeX\xc3.bmp");
}

TEST(LowerCasePath, AsciiAndLatinLettersOnlyAndTheLengthNeverChanges) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"/Home/U/Pictures/LOGO.BMP", "/home/u/pictures/logo.bmp"},
        {"ÀÉÎÕÜÇÑ", "àéîõüçñ"},
        {"ŁĄŽŒŸ", "łąžœÿ"},
        {"×÷ßİı", "×÷ßİı"},  // no one-to-one lower case, or lower case already
        {"ΑΒΓ Ж", "ΑΒΓ Ж"},  // outside the Latin letters: kept
        {"\xc3", "\xc3"},    // a lead byte at the end
        {"\xc3"
         "A",
         "\xc3"
         "a"},  // a lead byte without its trail byte
        {"\xc5\xc5\x81", "\xc5\xc5\x82"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(platform::Lower_Case_Path(c.in), c.out);
    }
}

TEST(FileName, TheLastComponentAfterTheLastSlash) {
    PosixFileService files;
    const struct {
        const char* path;
        const char* name;
    } cases[] = {
        {"/opt/lcdprog/Sfondo_Bianco_128x64.bmp", "Sfondo_Bianco_128x64.bmp"},
        {"logo.bmp", "logo.bmp"},
        {"/a/b\\c.bmp", "b\\c.bmp"},  // '\' is part of a Linux file name
        {"/a/folder/", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(files.GetFileName(c.path), c.name) << c.path;
    }
}

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
    PosixFileService files;
    const std::string folder = files.ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_NE(folder.back(), '/');
    EXPECT_TRUE(files.FileExists(folder + "/test_files"));
}

}  // namespace
}  // namespace lcdprog::test
