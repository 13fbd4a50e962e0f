// Decoding a compiled image gives back every pixel of every picture and every glyph cell.

#include <gtest/gtest.h>

#include <random>

#include "compiler/image_decoder.h"
#include "compiler/mod_Compilatore.h"
#include "main_window/picture_files.h"
#include "project/project_state.h"
#include "support/fakes.h"

namespace lcdprog {
namespace {

// A 1-bit picture file of random pixels and random row padding: the rows bottom-up, each
// padded to whole 32-bit words. index1[y][x] is the palette index of pixel (x, y).
std::string Random_Bmp(int width, int height, std::mt19937& random,
                       std::vector<std::vector<bool>>& index1) {
    const int rowSize = (width + 31) / 32 * 4;
    std::string out = test::Make_Picture({width, height}).substr(0, 62);
    index1.assign(static_cast<std::size_t>(height), std::vector<bool>(width));
    std::string rows;
    for (int y = 0; y < height; ++y) {
        std::string row;
        for (int b = 0; b < rowSize; ++b) {
            const auto byte = static_cast<std::uint8_t>(random());
            for (int bit = 0; bit < 8 && b * 8 + bit < width; ++bit) {
                index1[y][b * 8 + bit] = (byte >> (7 - bit)) & 1;
            }
            row.push_back(static_cast<char>(byte));
        }
        rows = row + rows;
    }
    return out + rows;
}

TEST(DecodeProperty, DecodingTheCompiledImageGivesBackEveryPixel) {
    std::mt19937 random(20240615);
    for (int round = 0; round < 8; ++round) {
        Reset_Program_State();
        test::FakeFileService files;
        test::FakeMessageBox messages;
        std::vector<std::vector<bool>> index1[4][4];
        for (int p = 0; p < 4; ++p) {
            const ProjectPanel& panel = Project_Panels()[p];
            for (int s = 0; s < 4; ++s) {
                const std::string path = "/p/" + std::to_string(p) + std::to_string(s) + ".bmp";
                files.Put(path, Random_Bmp(panel.width, panel.height, random, index1[p][s]));
                (*panel.images)[s] = {path, path, panel.height, panel.width, 1};
            }
        }
        for (auto& column : Font_5x8) {
            column = static_cast<std::uint8_t>(random());
        }
        for (auto& column : Font_10x16) {
            column = static_cast<std::uint16_t>(random());
        }
        ASSERT_TRUE(Compile_Image({files, messages}));

        for (int p = 0; p < 4; ++p) {
            for (int s = 0; s < 4; ++s) {
                const PanelPicture picture = Decode_Panel_Picture(MemoryImage, p, s);
                ASSERT_EQ(picture.width, Project_Panels()[p].width);
                ASSERT_EQ(picture.height, Project_Panels()[p].height);
                for (int y = 0; y < picture.height; ++y) {
                    for (int x = 0; x < picture.width; ++x) {
                        // Stored complemented: palette index 0 is a dark pixel.
                        ASSERT_EQ(picture.Dark(x, y), !index1[p][s][y][x])
                            << "panel " << p << " slot " << s << " pixel " << x << "," << y;
                    }
                }
            }
        }
        EXPECT_EQ(Decode_Font_5x8(MemoryImage), Font_5x8);
        EXPECT_EQ(Decode_Font_10x16(MemoryImage), Font_10x16);
        const PanelPicture glyph = Decode_Glyph_10x16(MemoryImage);
        for (int c = 0; c < 10; ++c) {
            for (int r = 0; r < 16; ++r) {
                ASSERT_EQ(glyph.Dark(c, r), ((Font_10x16[c] >> r) & 1) != 0);
            }
        }
    }
}

}  // namespace
}  // namespace lcdprog
