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
        std::optional<std::string> bytes;  // none: no such file
        int width, height;
        bool passes;
    } cases[] = {
        {"1-bit 128x64", mono, 128, 64, true},
        // A short file reads as zeros: the missing high byte of the bit count is the 0 it was.
        {"cut after the bit count's low byte", mono.substr(0, 29), 128, 64, true},
        {"128x64 asked for 64240B", mono, 240, 64, false},
        {"1 bit 240x128", Make_Picture({240, 128, 1}), 240, 128, true},
        {"width 128 + 2^16", With_Field(header, 18, 128 + 65536, 4), 128, 64, false},
        {"height 64 + 2^24", With_Field(header, 22, 64 + (1u << 24), 4), 128, 64, false},
        {"top-down", Make_Picture({128, 64, 1, true}), 128, 64, false},
        {"planes 1 + 2^8", With_Field(header, 26, 257, 2), 128, 64, false},
        {"bit count 1 + 2^8", With_Field(header, 28, 257, 2), 128, 64, false},
        {"4 bits", Make_Picture({240, 64, 4}), 240, 64, false},
        {"24 bits", Make_Picture({240, 64, 24}), 240, 64, false},
        {"no BM signature", Make_Picture({128, 64, 1, false, "XY"}), 128, 64, true},
        {"empty for 0x0: zero planes never pass", "", 0, 0, false},
        {"missing", std::nullopt, 128, 64, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileService files;
        if (c.bytes) {
            files.Put("/p/pic.bmp", *c.bytes);
        }
        EXPECT_EQ(Check_Bitmap_Header(files, "/p/pic.bmp", c.width, c.height), c.passes);
    }
}

class CountingPump : public platform::EventPump {
  public:
    void Yield(std::uint32_t maxWaitMs) override { waits.push_back(maxWaitMs); }
    std::vector<std::uint32_t> waits;
};

TEST(SelectPictureFile, AsksWithTheClassicRequestAndLowerCasesTheAnswer) {
    Reset_Program_State();
    const struct {
        std::optional<std::string> answer;
        bool saveMode;
        std::string result;
        bool warned;
    } cases[] = {
        {"/home/u/Pictures/Logo.BMP", false, "/home/u/pictures/logo.bmp", false},
        {"/home/u/BMP/notes.txt", false, "/home/u/bmp/notes.txt", false},
        {"/home/u/b.m.p", false, "", true},
        {std::nullopt, false, "", false},  // cancel
        {"/home/u/a.bmp", true, "/home/u/a.bmp", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer.value_or("cancel"));
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
        EXPECT_EQ(std::tuple(r.filterIndex, r.flags, r.saveForm), std::tuple(2, 1, c.saveMode));
        EXPECT_EQ(pump.waits, std::vector<std::uint32_t>{0});
        const ShownMessage warning{"Estensione file non valida!", "WARNING",
                                   platform::MessageIcon::Exclamation};
        EXPECT_EQ(messages.shown, std::vector<ShownMessage>(c.warned ? 1 : 0, warning));
    }
    SaveDialogMode = false;
    FakeFileDialog dialog;  // and without an event pump
    FakeMessageBox messages;
    dialog.answer = "/A.BMP";
    EXPECT_EQ(Select_Picture_File(dialog, messages), "/a.bmp");
}

}  // namespace
}  // namespace lcdprog::test
