// Compile_Image: the 16 slots and both glyphs into the 64 KiB memory image.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "bmp_builder.h"
#include "compiler/mod_Compilatore.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"

namespace lcdprog {
namespace {

using platform::FileStatus;
using platform::MessageIcon;
using test::FakeFileService;
using test::FakeMessageBox;
using test::Make_Bmp;
using test::PixelPredicate;
using test::ShownMessage;

using Image = std::array<std::uint8_t, kMemoryImageSize>;

// The four panel types as the module's memory map places them, written out here on their own.
struct Panel {
    ImageSlots* slots;
    const char* tag;
    int width;
    int height;
    int firstBase;
    bool page;
};

const std::array<Panel, 4>& Panels() {
    static const std::array<Panel, 4> panels{
        {{&Images_64128A, "64128A", 128, 64, 0x0000, true},
         {&Images_64128E, "64128E", 128, 64, 0x1000, true},
         {&Images_64240B, "64240B", 240, 64, 0x2000, false},
         {&Images_128240A, "128240A", 240, 128, 0x3E00, false}}};
    return panels;
}

int Region_Size(const Panel& p) {
    return p.width * p.height / 8;
}
int Base(const Panel& p, int slot) {
    return p.firstBase + slot * Region_Size(p);
}

std::string Slot_Path(const Panel& p, int slot) {
    return "/pictures/" + std::string(p.tag) + "_" + std::to_string(slot) + ".bmp";
}

class CompileImage : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Program_State(); }

    // Every slot named after its panel type and index, holding the picture of `pixel`.
    void Fill_Slots(const std::function<PixelPredicate(int panel, int slot)>& pixel) {
        const auto& panels = Panels();
        for (int p = 0; p < 4; ++p) {
            for (int i = 0; i < kSlotsPerPanel; ++i) {
                const Panel& panel = panels[p];
                const std::string path = Slot_Path(panel, i);
                (*panel.slots)[i] = {path, files.GetFileName(path), panel.height, panel.width, 1};
                files.Put(path, Make_Bmp(panel.width, panel.height, pixel(p, i), 0xA5));
            }
        }
    }

    FakeFileService files;
    FakeMessageBox messages;
    CompilerIo io{files, messages};
};

// A different, irregular picture for every slot.
PixelPredicate Pattern(int panel, int slot) {
    return [panel, slot](int x, int y) {
        return ((x * 7 + y * 13 + panel * 5 + slot * 3) % 11) < 4 || (x == slot && y == panel);
    };
}

PixelPredicate Uniform(bool index1) {
    return [index1](int, int) { return index1; };
}

// The expected image, from pixel coordinates and grid cells alone: page layout puts pixel
// (x, 8p + k) in bit k of byte p x W + x, row layout pixel (8b + j, y) in bit 7 - j of byte
// y x W / 8 + b, both complemented; glyph cells go in uncomplemented.
Image Expected_Image(const std::function<PixelPredicate(int, int)>& pixel,
                     const std::function<bool(int c, int r)>& cell5,
                     const std::function<bool(int c, int r)>& cell10) {
    Image image{};
    const auto& panels = Panels();
    for (int p = 0; p < 4; ++p) {
        const Panel& panel = panels[p];
        for (int i = 0; i < kSlotsPerPanel; ++i) {
            const PixelPredicate index1 = pixel(p, i);
            for (int y = 0; y < panel.height; ++y) {
                for (int x = 0; x < panel.width; ++x) {
                    if (index1(x, y)) {
                        continue;  // palette index 1 is stored as 0
                    }
                    const int offset =
                        panel.page ? (y / 8) * panel.width + x : y * (panel.width / 8) + x / 8;
                    const int bit = panel.page ? y % 8 : 7 - x % 8;
                    image[Base(panel, i) + offset] |= static_cast<std::uint8_t>(1 << bit);
                }
            }
        }
    }
    for (int c = 0; c < 5; ++c) {
        for (int r = 0; r < 8; ++r) {
            if (cell5(c, r)) {
                image[0x8000 + c] |= static_cast<std::uint8_t>(1 << r);
            }
        }
    }
    for (int c = 0; c < 10; ++c) {
        for (int r = 0; r < 16; ++r) {
            if (cell10(c, r)) {
                image[(r < 8 ? 0x8005 : 0x800F) + c] |= static_cast<std::uint8_t>(1 << (r % 8));
            }
        }
    }
    return image;
}

void Set_Fonts(const std::function<bool(int c, int r)>& cell5,
               const std::function<bool(int c, int r)>& cell10) {
    for (int c = 0; c < 5; ++c) {
        for (int r = 0; r < 8; ++r) {
            if (cell5(c, r)) {
                Font_5x8[c] |= static_cast<std::uint8_t>(1 << r);
            }
        }
    }
    for (int c = 0; c < 10; ++c) {
        for (int r = 0; r < 16; ++r) {
            if (cell10(c, r)) {
                Font_10x16[c] |= static_cast<std::uint16_t>(1 << r);
            }
        }
    }
}

void Expect_Images_Equal(const Image& actual, const Image& expected) {
    int mismatches = 0;
    for (std::size_t a = 0; a < kMemoryImageSize && mismatches < 10; ++a) {
        if (actual[a] != expected[a]) {
            ADD_FAILURE() << "address 0x" << std::hex << a << ": got 0x" << int{actual[a]}
                          << ", expected 0x" << int{expected[a]};
            ++mismatches;
        }
    }
}

TEST_F(CompileImage, GoldenImageOfSixteenPicturesAndBothGlyphs) {
    Fill_Slots(Pattern);
    const auto cell5 = [](int c, int r) { return (c + r) % 3 == 0; };
    const auto cell10 = [](int c, int r) { return (c * r) % 5 == 1 || r == 15 - c; };
    Set_Fonts(cell5, cell10);
    MemoryImage.fill(0);

    ASSERT_TRUE(Compile_Image(io));

    EXPECT_TRUE(messages.shown.empty());
    Expect_Images_Equal(MemoryImage, Expected_Image(Pattern, cell5, cell10));
}

TEST_F(CompileImage, SlotsAreReadInOrderOncePerSlotEvenWhenTheyShareAFile) {
    const std::string white128 = "/opt/lcdprog\\Sfondo_Bianco_128x64.bmp";
    Fill_Slots(Pattern);
    files.Put(white128, Make_Bmp(128, 64, Uniform(true)));
    Images_64128A[1] = {white128, "Sfondo_Bianco_128x64.bmp", 64, 128, 1};
    Images_64128E[3] = Images_64128A[1];
    files.reads.clear();

    ASSERT_TRUE(Compile_Image(io));

    std::vector<std::string> expected;
    for (const Panel& p : Panels()) {
        for (int i = 0; i < kSlotsPerPanel; ++i) {
            expected.push_back((*p.slots)[i].FullPath);
        }
    }
    EXPECT_EQ(files.reads, expected);
    EXPECT_EQ(files.reads[1], white128);
    EXPECT_EQ(files.reads[7], white128);
}

// The program's own white backgrounds, as they are shipped: every region comes out 0x00.
TEST_F(CompileImage, DefaultWhitePicturesCompileToEmptyRegions) {
    const std::filesystem::path assets =
        std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "assets";
    const char* names[] = {"Sfondo_Bianco_128x64.bmp", "Sfondo_Bianco_128x64.bmp",
                           "Sfondo_Bianco_240x64.bmp", "Sfondo_Bianco_240x128.bmp"};
    const auto& panels = Panels();
    for (int p = 0; p < 4; ++p) {
        std::ifstream in(assets / names[p], std::ios::binary);
        ASSERT_TRUE(in) << (assets / names[p]);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        const std::string path = "/opt/lcdprog\\" + std::string(names[p]);
        files.Put(path, bytes);
        for (int i = 0; i < kSlotsPerPanel; ++i) {
            (*panels[p].slots)[i] = {path, names[p], panels[p].height, panels[p].width, 1};
        }
    }
    MemoryImage.fill(0x5A);

    ASSERT_TRUE(Compile_Image(io));

    for (std::size_t a = 0; a < kMemoryImageSize; ++a) {
        const bool written = a < 0x7A00 || (a >= 0x8000 && a <= 0x8018);
        ASSERT_EQ(MemoryImage[a], written ? 0x00 : 0x5A) << "address " << a;
    }
}

// Palette index 0 everywhere and every glyph cell set: all written bytes are 0xFF, so the two
// ranges nothing writes show as the only 0x00 bytes.
TEST_F(CompileImage, UnwrittenRangesStayZero) {
    Fill_Slots([](int, int) { return Uniform(false); });
    Font_5x8.fill(0xFF);
    Font_10x16.fill(0xFFFF);

    ASSERT_TRUE(Compile_Image(io));

    for (std::size_t a = 0; a < kMemoryImageSize; ++a) {
        const bool unwritten = (a >= 0x7A00 && a <= 0x7FFF) || a >= 0x8019;
        ASSERT_EQ(MemoryImage[a], unwritten ? 0x00 : 0xFF) << "address " << a;
    }
}

TEST_F(CompileImage, PicturesOfOneIndexGiveUniformRegionsInEveryPanelType) {
    for (const bool index1 : {true, false}) {
        for (int p = 0; p < 4; ++p) {
            SCOPED_TRACE(testing::Message() << "panel " << p << " index " << index1);
            Reset_Program_State();
            Fill_Slots([&](int panel, int slot) {
                return panel == p && slot == 1 ? Uniform(index1) : Uniform(!index1);
            });
            ASSERT_TRUE(Compile_Image(io));
            const Panel& panel = Panels()[p];
            for (int a = Base(panel, 1); a < Base(panel, 2); ++a) {
                ASSERT_EQ(MemoryImage[a], index1 ? 0x00 : 0xFF) << "address " << a;
            }
            EXPECT_EQ(MemoryImage[Base(panel, 1) - 1], index1 ? 0xFF : 0x00);
            EXPECT_EQ(MemoryImage[Base(panel, 2)], index1 ? 0xFF : 0x00);
        }
    }
}

TEST_F(CompileImage, GlyphBytes) {
    struct GlyphCase {
        const char* name;
        std::array<std::uint8_t, 5> font5;
        std::array<std::uint16_t, 10> font10;
        std::map<int, std::uint8_t> nonZero;  // the other glyph bytes must be 0x00
    };
    const GlyphCase cases[] = {
        {"cleared", {}, {}, {}},
        {"5x8 top-left cell", {0x01, 0, 0, 0, 0}, {}, {{0x8000, 0x01}}},
        {"5x8 bottom-right cell", {0, 0, 0, 0, 0x80}, {}, {{0x8004, 0x80}}},
        {"10x16 row 9 column 2", {}, {0, 0, 0x0200, 0, 0, 0, 0, 0, 0, 0}, {{0x8011, 0x02}}},
        {"10x16 0xFFFF in column 3",
         {},
         {0, 0, 0, 0xFFFF, 0, 0, 0, 0, 0, 0},
         {{0x8008, 0xFF}, {0x8012, 0xFF}}},
        {"10x16 0x0100 in column 4", {}, {0, 0, 0, 0, 0x0100, 0, 0, 0, 0, 0}, {{0x8013, 0x01}}},
        {"10x16 row 15 column 9", {}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 32768}, {{0x8018, 0x80}}},
        {"10x16 0x1234 in column 0, 5x8 0x5A in column 2",
         {0, 0, 0x5A, 0, 0},
         {0x1234, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {{0x8002, 0x5A}, {0x8005, 0x34}, {0x800F, 0x12}}},
    };
    for (const GlyphCase& c : cases) {
        SCOPED_TRACE(c.name);
        Reset_Program_State();
        Fill_Slots([](int, int) { return Uniform(true); });
        Font_5x8 = c.font5;
        Font_10x16 = c.font10;
        for (int a = 0x8000; a <= 0x8019; ++a) {
            MemoryImage[a] = 0xC3;
        }
        ASSERT_TRUE(Compile_Image(io));
        for (int a = 0x8000; a <= 0x8018; ++a) {
            const auto it = c.nonZero.find(a);
            EXPECT_EQ(MemoryImage[a], it == c.nonZero.end() ? 0 : it->second) << std::hex << a;
        }
        EXPECT_EQ(MemoryImage[0x8019], 0xC3);
    }
}

TEST_F(CompileImage, TwoCompilesOfTheSameProjectGiveIdenticalImages) {
    Fill_Slots(Pattern);
    Font_5x8 = {1, 2, 3, 4, 5};
    Font_10x16 = {0xFFFF, 0x0100, 0x8001, 0, 7, 0, 0, 0, 0, 0x4000};
    ASSERT_TRUE(Compile_Image(io));
    const Image first = MemoryImage;
    // A different picture in between must leave no trace once the project is back.
    Images_64128A[0] = Images_128240A[3];
    Images_64128A[0].Width = 128;
    Images_64128A[0].Height = 64;
    ASSERT_TRUE(Compile_Image(io));
    Fill_Slots(Pattern);
    ASSERT_TRUE(Compile_Image(io));
    Expect_Images_Equal(MemoryImage, first);
    ASSERT_TRUE(Compile_Image(io));
    Expect_Images_Equal(MemoryImage, first);
}

struct StopCase {
    const char* name;
    int panel;
    int slot;
    std::function<void(FakeFileService&, const std::string& path)> breakFile;
    std::string text;
};

// The compile stops at the first picture it cannot use: one message naming that slot's file,
// false, the regions before it rewritten and that region, every later one and the glyphs
// exactly as they were.
TEST_F(CompileImage, StopsAtTheFirstPictureItCannotUse) {
    const std::string tail = "\r\nImpossibile continuare!!";
    const StopCase cases[] = {
        {"missing 64240B slot 2", 2, 2,
         [](FakeFileService& f, const std::string& path) { f.Remove(path); },
         "File 64240B_2.bmp non trovato." + tail},
        {"missing 64128A slot 0", 0, 0,
         [](FakeFileService& f, const std::string& path) { f.Remove(path); },
         "File 64128A_0.bmp non trovato." + tail},
        {"unreadable 128240A slot 3", 3, 3,
         [](FakeFileService& f, const std::string& path) {
             f.PutSpecial(path, FileStatus::Unreadable);
         },
         "Impossibile leggere il file 128240A_3.bmp.\r\ncannot be read" + tail},
        {"folder in 64128E slot 1", 1, 1,
         [](FakeFileService& f, const std::string& path) {
             f.PutSpecial(path, FileStatus::NotRegular);
         },
         "Il file 64128E_1.bmp non è un file regolare." + tail},
        {"too long in 64240B slot 0", 2, 0,
         [](FakeFileService& f, const std::string& path) { f.Put(path, std::string(40000, '\0')); },
         "Il file 64240B_0.bmp supera i 32767 byte." + tail},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        Reset_Program_State();
        files = FakeFileService{};
        messages.shown.clear();
        Fill_Slots([](int, int) { return Uniform(false); });  // every region compiles to 0xFF
        Font_5x8.fill(0x11);
        Font_10x16.fill(0x2222);
        const Panel& failing = Panels()[c.panel];
        c.breakFile(files, Slot_Path(failing, c.slot));
        MemoryImage.fill(0x5A);

        EXPECT_FALSE(Compile_Image(io));

        EXPECT_EQ(messages.shown,
                  (std::vector<ShownMessage>{{c.text, "ERROR", MessageIcon::Critical}}));
        const int firstUntouched = Base(failing, c.slot);
        for (int a = 0; a < static_cast<int>(kMemoryImageSize); ++a) {
            ASSERT_EQ(MemoryImage[a], a < firstUntouched ? 0xFF : 0x5A) << "address " << a;
        }
        // Nothing after the failing slot is even looked at.
        const std::string failingPath = Slot_Path(failing, c.slot);
        ASSERT_FALSE(files.existsAsked.empty());
        EXPECT_EQ(files.existsAsked.back(), failingPath);
    }
}

}  // namespace
}  // namespace lcdprog
