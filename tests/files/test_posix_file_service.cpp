// The POSIX file service on real files in a temporary folder. Hostile entries (links, locked
// files, names that are not UTF-8) are tried through the selection in main_window's tests.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
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
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
        return dir + "/" + name;
    }

    std::string dir;
    PosixFileService files;
};

TEST_F(PosixFiles, ReadAndExistence) {
    ASSERT_EQ(::mkdir((dir + "/Pictures").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((dir + "/folder.bmp").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((dir + "/pipe.bmp").c_str(), 0600), 0);
    Write("Pictures/Logo.BMP", "picture bytes");
    const std::string shortFile = Write("short.bmp", "BM12345678");
    const std::string longFile = Write("long.bmp", std::string(100000, 'z') + "END");
    const std::string notRegular =
        "Non è un file normale (è una cartella, un dispositivo, una FIFO o un socket).";
    const struct {
        std::string path;
        std::size_t limit;
        FileStatus status;
        std::uint64_t length;
        std::string bytes;
        bool exists;
        std::string error;
    } cases[] = {
        // The stored lower-cased path reaches the mixed-case file.
        {dir + "/pictures/logo.bmp", 100, FileStatus::Ok, 13, "picture bytes", true, ""},
        {dir + "/pictures/logo.bmpx", 100, FileStatus::Missing, 0, "", false,
         "Il file non esiste."},
        {"", 62, FileStatus::Missing, 0, "", false, "Il file non esiste."},
        {shortFile, 2, FileStatus::Ok, 10, "BM", true, ""},
        {longFile, 1 << 20, FileStatus::Ok, 100003, std::string(100000, 'z') + "END", true, ""},
        // Never opened: a FIFO would wait for a writer.
        {dir + "/pipe.bmp", 62, FileStatus::NotRegular, 0, "", true, notRegular},
        {"/dev/null", 62, FileStatus::NotRegular, 0, "", true, notRegular},
        {dir + "/folder.bmp", 62, FileStatus::NotRegular, 0, "", false, notRegular},
        // Opens, but the first read fails (address 0 is never mapped), for root too.
        {"/proc/self/mem", 62, FileStatus::Unreadable, 0, "", true, "Errore di lettura dal disco."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " limit " + std::to_string(c.limit));
        const auto contents = files.Read(c.path, c.limit);
        EXPECT_EQ(contents.status, c.status);
        EXPECT_EQ(contents.length, c.length);
        EXPECT_EQ(contents.bytes, c.bytes);
        EXPECT_EQ(contents.error, c.error);
        EXPECT_EQ(files.FileExists(c.path), c.exists);
    }
}

// An exact match wins; without one, the first matching entry in the folder's own order.
TEST_F(PosixFiles, WhichOfSeveralSpellingsIsRead) {
    Write("Logo.bmp", "mixed");
    Write("LOGO.BMP", "upper");
    const std::string first = std::filesystem::directory_iterator(dir)->path().filename();
    EXPECT_EQ(PosixFileService::Resolve(dir + "/logo.bmp"), dir + "/" + first);
    EXPECT_EQ(files.Read(dir + "/logo.bmp", 10).bytes, first == "Logo.bmp" ? "mixed" : "upper");
    EXPECT_EQ(files.Read(dir + "/LOGO.BMP", 10).bytes, "upper");
    EXPECT_EQ(files.Read(dir + "/Logo.bmp", 10).bytes, "mixed");
    Write("logo.bmp", "lower");
    EXPECT_EQ(files.Read(dir + "/logo.bmp", 10).bytes, "lower");
}

TEST(LowerCasePath, AsciiAndLatinLettersOnlyAndTheLengthNeverChanges) {
    const auto lower = platform::Lower_Case_Path;
    EXPECT_EQ(lower("/Home/U/Pictures/LOGO.BMP"), "/home/u/pictures/logo.bmp");
    EXPECT_EQ(lower("ÀÉÎÕÜÇÑŁĄŽŒŸ"), "àéîõüçñłąžœÿ");
    // No one-to-one lower case, lower case already, or outside the Latin letters: kept.
    EXPECT_EQ(lower("×÷ßİıΑΒΓ Ж"), "×÷ßİıΑΒΓ Ж");
    // Not UTF-8 (a lead byte without its trail, stray bytes): only the ASCII letters change.
    EXPECT_EQ(lower("\xc3Z\xff\xfeX\xc3"), "\xc3z\xff\xfex\xc3");
}

TEST(FileName, TheLastComponentAfterTheLastSlash) {
    PosixFileService files;
    EXPECT_EQ(files.GetFileName("/opt/lcdprog/Sfondo_Bianco_128x64.bmp"),
              "Sfondo_Bianco_128x64.bmp");
    EXPECT_EQ(files.GetFileName("/a/b\\c.bmp"), "b\\c.bmp");  // '\' is part of a Linux file name
    EXPECT_EQ(files.GetFileName("/a/folder/"), "");
    const std::string folder = files.ProgramFolder();
    EXPECT_EQ(folder.substr(0, 1), "/");
    EXPECT_TRUE(files.FileExists(folder + "/test_files"));
}

}  // namespace
}  // namespace lcdprog::test
