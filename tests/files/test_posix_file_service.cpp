// The POSIX file service on real files in a temporary folder. FIFOs, devices, folders, links and
// locked files are tried through the selection and the compile in main_window's tests.

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
    void Write(const std::string& name, const std::string& bytes) {
        std::filesystem::create_directories(std::filesystem::path(dir + "/" + name).parent_path());
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    }

    std::string dir;
    PosixFileService files;
};

TEST_F(PosixFiles, ReadGivesTheWholeLengthAndAtMostTheLimitsBytes) {
    Write("Pictures/Logo.BMP", "picture bytes");
    Write("long.bmp", std::string(100000, 'z'));
    const struct {
        std::string path;
        std::size_t limit;
        FileStatus status;
        std::uint64_t length;
        std::string bytes;
        std::string error;
    } cases[] = {
        // The stored lower-cased path reaches the mixed-case file.
        {dir + "/pictures/logo.bmp", 100, FileStatus::Ok, 13, "picture bytes", ""},
        {dir + "/pictures/logo.bmpx", 100, FileStatus::Missing, 0, "",
         "Il file o la cartella non esiste."},
        {"", 62, FileStatus::Missing, 0, "", "Il file o la cartella non esiste."},
        {dir + "/long.bmp", 70000, FileStatus::Ok, 100000, std::string(70000, 'z'), ""},
        // Opens, but the first read fails (address 0 is never mapped), for root too.
        {"/proc/self/mem", 62, FileStatus::Unreadable, 0, "",
         "Errore di ingresso/uscita sul disco o sul dispositivo."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto contents = files.Read(c.path, c.limit);
        EXPECT_EQ(std::tie(contents.status, contents.length, contents.bytes, contents.error),
                  std::tie(c.status, c.length, c.bytes, c.error));
        EXPECT_EQ(files.FileExists(c.path), c.status != FileStatus::Missing);
    }
}

// An exact match wins; without one, the first matching entry in the folder's own order.
TEST_F(PosixFiles, WhichOfSeveralSpellingsIsRead) {
    Write("Logo.bmp", "mixed");
    Write("LOGO.BMP", "upper");
    const std::string first = std::filesystem::directory_iterator(dir)->path().filename();
    EXPECT_EQ(files.Read(dir + "/logo.bmp", 10).bytes, first == "Logo.bmp" ? "mixed" : "upper");
    EXPECT_EQ(files.Read(dir + "/LOGO.BMP", 10).bytes, "upper");
    EXPECT_EQ(files.Read(dir + "/Logo.bmp", 10).bytes, "mixed");
    Write("logo.bmp", "lower");
    EXPECT_EQ(files.Read(dir + "/logo.bmp", 10).bytes, "lower");
}

TEST(LowerCasePath, AsciiAndLatinLettersOnlyAndTheLengthNeverChanges) {
    const auto lower = platform::Lower_Case_Path;
    EXPECT_EQ(lower("/Home/U/LOGO.BMP ÀÉÎÕÜÇÑŁĄŽŒŸ"), "/home/u/logo.bmp àéîõüçñłąžœÿ");
    // No one-to-one lower case, lower case already, or outside the Latin letters: kept.
    EXPECT_EQ(lower("×÷ßİıΑΒΓ Ж"), "×÷ßİıΑΒΓ Ж");
    // Not UTF-8 (a lead byte without its trail, stray bytes): only the ASCII letters change.
    EXPECT_EQ(lower("\xc3Z\xff\xfeX\xc3"), "\xc3z\xff\xfex\xc3");
}

}  // namespace
}  // namespace lcdprog::test
