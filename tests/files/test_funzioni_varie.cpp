// The file dialog routine and the bitmap header test, on fakes.

#include <gtest/gtest.h>

#include "main_window/mod_Funzioni_Varie.h"
#include "main_window/picture_files.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"

namespace lcdprog::test {
namespace {

std::string With_Field(std::string bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

TEST(CheckBitmapHeader, WidthHeightPlanesAndBitCountMustAllMatch) {
    const std::string mono = Make_Picture({128, 64, 1});
    const std::string header = mono.substr(0, 62);
    const struct {
        const char* name;
        std::string bytes;
        int width;
        int height;
        bool passes;
    } cases[] = {
        {"1-bit 128x64", mono, 128, 64, true},
        {"the 62-byte header alone", header, 128, 64, true},
        {"cut after the bit count", mono.substr(0, 30), 128, 64, true},
        // The missing high byte of the bit count reads as the 0 it would have been.
        {"cut after the bit count's low byte", mono.substr(0, 29), 128, 64, true},
        {"cut before the bit count", mono.substr(0, 28), 128, 64, false},
        {"cut before the width", mono.substr(0, 18), 128, 64, false},
        {"expected 240x64", mono, 240, 64, false},
        {"expected 128x128", mono, 128, 128, false},
        {"width 129", With_Field(header, 18, 129, 4), 128, 64, false},
        {"width 128 + 2^16", With_Field(header, 18, 128 + 65536, 4), 128, 64, false},
        {"height 64 + 2^24", With_Field(header, 22, 64 + (1u << 24), 4), 128, 64, false},
        {"top-down height reads 4294967232", Make_Picture({128, 64, 1, true}), 128, 64, false},
        {"two planes", With_Field(header, 26, 2, 2), 128, 64, false},
        {"planes 1 + 2^8", With_Field(header, 26, 257, 2), 128, 64, false},
        {"4 bits", Make_Picture({240, 64, 4}), 240, 64, false},
        {"24 bits", Make_Picture({240, 64, 24}), 240, 64, false},
        {"1 bit 240x64", Make_Picture({240, 64, 1}), 240, 64, true},
        {"1 bit 240x128", Make_Picture({240, 128, 1}), 240, 128, true},
        {"no BM signature", Make_Picture({128, 64, 1, false, "XY"}), 128, 64, true},
        {"text", "just some notes\n", 128, 64, false},
        {"empty", "", 128, 64, false},
        // A short file reads as zeros, and zero planes never pass, even for a 0 x 0 request.
        {"empty for 0x0", "", 0, 0, false},
        {"only the sizes, for 128x64", header.substr(0, 26), 128, 64, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileService files;
        files.Put("/p/pic.bmp", c.bytes);
        EXPECT_EQ(Check_Bitmap_Header(files, "/p/pic.bmp", c.width, c.height), c.passes);
        EXPECT_EQ(files.reads, std::vector<std::string>{"/p/pic.bmp"});
    }
}

TEST(CheckBitmapHeader, NoPathMissingAndNonRegularFilesFail) {
    FakeFileService files;
    files.PutSpecial("/dev/fifo.bmp", platform::FileStatus::NotRegular);
    files.PutSpecial("/p/locked.bmp", platform::FileStatus::Unreadable);
    EXPECT_FALSE(Check_Bitmap_Header(files, "", 128, 64));
    EXPECT_TRUE(files.reads.empty());  // "" is not even looked at
    EXPECT_FALSE(Check_Bitmap_Header(files, "/p/absent.bmp", 128, 64));
    EXPECT_FALSE(Check_Bitmap_Header(files, "/dev/fifo.bmp", 128, 64));
    EXPECT_FALSE(Check_Bitmap_Header(files, "/p/locked.bmp", 128, 64));
}

class CountingPump : public platform::EventPump {
  public:
    void Yield(std::uint32_t maxWaitMs) override { waits.push_back(maxWaitMs); }
    std::vector<std::uint32_t> waits;
};

TEST(SelectPictureFile, AsksWithTheClassicRequestAndLowerCasesTheAnswer) {
    Reset_Program_State();
    const struct {
        const char* name;
        std::optional<std::string> answer;
        bool saveMode;
        std::string result;
        bool warned;
    } cases[] = {
        {"plain", "/home/u/a.bmp", false, "/home/u/a.bmp", false},
        {"mixed case", "/home/u/Pictures/Logo.BMP", false, "/home/u/pictures/logo.bmp", false},
        {"bmp only in a folder", "/home/u/BMP/notes.txt", false, "/home/u/bmp/notes.txt", false},
        {"bmp inside a word", "/x/abmpz", false, "/x/abmpz", false},
        {"no bmp", "/home/u/photo.png", false, "", true},
        {"b m p apart", "/home/u/b.m.p", false, "", true},
        {"cancel", std::nullopt, false, "", false},
        {"save form", "/home/u/a.bmp", true, "/home/u/a.bmp", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileDialog dialog;
        FakeMessageBox messages;
        CountingPump pump;
        dialog.answer = c.answer;
        SaveDialogMode = c.saveMode;
        EXPECT_EQ(Select_Picture_File(dialog, messages, &pump), c.result);
        ASSERT_EQ(dialog.requests.size(), 1u);
        const platform::FileDialogRequest& r = dialog.requests[0];
        EXPECT_TRUE(r.cancelError);
        EXPECT_EQ(r.filter, "Tutti i file |*.*| Messaggio (*.bmp) | *.bmp");
        EXPECT_EQ(r.filterIndex, 2);
        EXPECT_EQ(r.flags, 1);
        EXPECT_EQ(r.saveForm, c.saveMode);
        EXPECT_EQ(pump.waits, std::vector<std::uint32_t>{0});
        if (c.warned) {
            EXPECT_EQ(messages.shown,
                      (std::vector<ShownMessage>{{"Estensione file non valida!", "WARNING",
                                                  platform::MessageIcon::Exclamation}}));
        } else {
            EXPECT_TRUE(messages.shown.empty());
        }
    }
    SaveDialogMode = false;
}

TEST(SelectPictureFile, WorksWithoutAnEventPump) {
    FakeFileDialog dialog;
    FakeMessageBox messages;
    dialog.answer = "/A.BMP";
    EXPECT_EQ(Select_Picture_File(dialog, messages), "/a.bmp");
}

}  // namespace
}  // namespace lcdprog::test
