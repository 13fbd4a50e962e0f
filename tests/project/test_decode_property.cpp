// Decoding a compiled image gives back every pixel of every picture and both glyphs (the
// preview's glyph cells are checked with the preview).

#include <gtest/gtest.h>

#include <random>

#include "compiler/image_decoder.h"
#include "compiler/mod_Compilatore.h"
#include "main_window/picture_files.h"
#include "project/project_state.h"
#include "support/fakes.h"

namespace lcdprog {
namespace {

TEST(DecodeProperty, DecodingTheCompiledImageGivesBackEveryPixel) {
    std::mt19937 random(20240615);
    for (int round = 0; round < 8; ++round) {
        Reset_Program_State();
        test::FakeFileService files;
        test::FakeMessageBox messages;
        std::string bytes[16];  // a 62-byte header, then random rows and row padding, bottom-up
        for (int k = 0; k < 16; ++k) {
            const ProjectPanel& panel = Project_Panels()[k / 4];
            bytes[k] = test::Make_Picture({panel.width, panel.height}).substr(0, 62);
            for (int i = 0; i < (panel.width + 31) / 32 * 4 * panel.height; ++i) {
                bytes[k].push_back(static_cast<char>(random()));
            }
            const std::string path = "/p/" + std::to_string(k) + ".bmp";
            files.Put(path, bytes[k]);
            (*panel.images)[k % 4] = {path, path, panel.height, panel.width, 1};
        }
        for (std::size_t c = 0; c < 10; ++c) {
            Font_10x16[c] = static_cast<std::uint16_t>(random());
            Font_5x8[c % 5] = static_cast<std::uint8_t>(random());
        }
        ASSERT_TRUE(Compile_Image({files, messages}));

        for (int k = 0; k < 16; ++k) {
            const ProjectPanel& panel = Project_Panels()[k / 4];
            const PanelPicture picture = Decode_Panel_Picture(MemoryImage, k / 4, k % 4);
            ASSERT_EQ(std::pair(picture.width, picture.height),
                      std::pair(panel.width, panel.height));
            for (int y = 0; y < picture.height; ++y) {
                for (int x = 0; x < picture.width; ++x) {
                    const int row = 62 + (panel.height - 1 - y) * ((panel.width + 31) / 32 * 4);
                    const auto byte = static_cast<std::uint8_t>(bytes[k][row + x / 8]);
                    // Stored complemented: palette index 0 is a dark pixel.
                    ASSERT_EQ(picture.Dark(x, y), ((byte >> (7 - x % 8)) & 1) == 0)
                        << "slot " << k << " pixel " << x << "," << y;
                }
            }
        }
        EXPECT_EQ(Decode_Font_5x8(MemoryImage), Font_5x8);
        EXPECT_EQ(Decode_Font_10x16(MemoryImage), Font_10x16);
    }
}

}  // namespace
}  // namespace lcdprog
