// Start-up of the main window: the three white backgrounds, the sixteen slots and boxes, the
// grid cells, and the end of the program when a file is missing or unusable.

#include <gtest/gtest.h>

#include <set>

#include "main_window/main_window_harness.h"

namespace lcdprog::test {
namespace {

class StartUp : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const std::string& name : {kWhite128x64, kWhite240x64, kWhite240x128}) {
            files.Put(kFolder + "/" + name, White_File(name));
        }
    }
    FakeFileService files;
    MainWindowHarness h{files};
};

struct PanelDefault {
    const char* boxes;
    ImageSlots* images;
    const std::string* file;
    int width;
    int height;
};

TEST_F(StartUp, WithAllFilesEverySlotAndBoxHoldsItsPanelsWhiteBackground) {
    // Start-up clears and refills the slots but leaves the glyphs alone.
    Images_64128A[1].FullPath = "/somewhere/else.bmp";
    Font_5x8[0] = 7;
    Font_10x16[9] = 32768;

    ASSERT_TRUE(h.window->Form_Load());
    EXPECT_TRUE(h.messages.shown.empty());
    EXPECT_EQ(h.program.ended, 0);
    EXPECT_EQ(files.existsAsked,
              (std::vector<std::string>{kFolder + "/" + kWhite128x64, kFolder + "/" + kWhite240x64,
                                        kFolder + "/" + kWhite240x128}));

    const PanelDefault panels[] = {
        {"pct_Image_64128A_%1", &Images_64128A, &kWhite128x64, 128, 64},
        {"pct_Image_64128E_%1", &Images_64128E, &kWhite128x64, 128, 64},
        {"pct_Image_64240B_%1", &Images_64240B, &kWhite240x64, 240, 64},
        {"pct_Image_128240A_%1", &Images_128240A, &kWhite240x128, 240, 128},
    };
    for (const PanelDefault& p : panels) {
        const QImage expected = Decode(White_File(*p.file));
        for (int i = 0; i < kSlotsPerPanel; ++i) {
            SCOPED_TRACE(QString::fromLatin1(p.boxes).arg(i).toStdString());
            const ImageSlot& slot = (*p.images)[i];
            EXPECT_EQ(slot.FullPath, kFolder + "/" + *p.file);
            EXPECT_EQ(slot.FileName, *p.file);
            EXPECT_EQ(slot.Width, p.width);
            EXPECT_EQ(slot.Height, p.height);
            EXPECT_EQ(slot.BitDepth, 1);
            QLabel* box = h.Box(QString::fromLatin1(p.boxes).arg(i));
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(Shown(box), expected);
        }
    }
    // The case named for slot 2 of the 240x64 panel, spelled out.
    EXPECT_EQ(Images_64240B[2].FullPath, "/opt/lcdprog/Sfondo_Bianco_240x64.bmp");
    EXPECT_EQ(Images_64240B[2].FileName, "Sfondo_Bianco_240x64.bmp");

    EXPECT_EQ(Font_5x8[0], 7);
    EXPECT_EQ(Font_10x16[9], 32768);
}

TEST_F(StartUp, SizesEveryGridCellToTenPixelsAndKeepsTheCounts) {
    ASSERT_TRUE(h.window->Form_Load());
    const struct {
        const char* name;
        int rows;
        int columns;
    } grids[] = {{"msh_Font_5x8", 8, 5}, {"msh_Font_10x16", 16, 10}};
    for (const auto& g : grids) {
        SCOPED_TRACE(g.name);
        auto* grid = h.Find<QTableWidget>(QString::fromLatin1(g.name));
        ASSERT_NE(grid, nullptr);
        EXPECT_EQ(grid->rowCount(), g.rows);
        EXPECT_EQ(grid->columnCount(), g.columns);
        for (int c = 0; c < g.columns; ++c) {
            EXPECT_EQ(grid->columnWidth(c), 10) << "column " << c;
        }
        for (int r = 0; r < g.rows; ++r) {
            EXPECT_EQ(grid->rowHeight(r), 10) << "row " << r;
        }
        // Every cell fits inside the grid: no scrolling hides a pixel.
        EXPECT_LE(g.columns * 10 + 2 * grid->frameWidth(), grid->width());
        EXPECT_LE(g.rows * 10 + 2 * grid->frameWidth(), grid->height());
    }
}

TEST_F(StartUp, TheFirstMissingOrUnusableFileEndsTheProgramAfterOneMessage) {
    const std::string p128x64 = kFolder + "/" + kWhite128x64;
    const std::string p240x64 = kFolder + "/" + kWhite240x64;
    const std::string p240x128 = kFolder + "/" + kWhite240x128;
    const struct {
        const char* name;
        std::set<std::string> missing;
        std::set<std::string> garbled;  // present, but not a picture
        std::string message;
        std::vector<std::string> asked;
    } cases[] = {
        {"128x64 missing",
         {p128x64},
         {},
         "File Sfondo_Bianco_128x64.bmp non trovato. Impossibile continuare",
         {p128x64}},
        {"240x64 missing",
         {p240x64},
         {},
         "File Sfondo_Bianco_240x64.bmp non trovato. Impossibile continuare",
         {p128x64, p240x64}},
        {"240x128 missing",
         {p240x128},
         {},
         "File Sfondo_Bianco_240x128.bmp non trovato. Impossibile continuare",
         {p128x64, p240x64, p240x128}},
        {"all three missing",
         {p128x64, p240x64, p240x128},
         {},
         "File Sfondo_Bianco_128x64.bmp non trovato. Impossibile continuare",
         {p128x64}},
        {"240x64 is not a picture",
         {},
         {p240x64},
         "File Sfondo_Bianco_240x64.bmp non leggibile come immagine. Impossibile continuare",
         {p128x64, p240x64}},
        {"128x64 is not a picture and 240x128 missing",
         {p240x128},
         {p128x64},
         "File Sfondo_Bianco_128x64.bmp non leggibile come immagine. Impossibile continuare",
         {p128x64}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileService fs;
        for (const std::string& path : {p128x64, p240x64, p240x128}) {
            if (c.garbled.count(path) != 0) {
                fs.Put(path, "BM this is not a bitmap at all");
            } else if (c.missing.count(path) == 0) {
                fs.Put(path, White_File(fs.GetFileName(path)));
            }
        }
        MainWindowHarness run(fs);
        EXPECT_FALSE(run.window->Form_Load());
        EXPECT_EQ(
            run.messages.shown,
            (std::vector<ShownMessage>{{c.message, "ERROR", platform::MessageIcon::Critical}}));
        EXPECT_EQ(run.program.ended, 1);
        EXPECT_EQ(fs.existsAsked, c.asked);
        // No file after the failing one is read either.
        for (const std::string& read : fs.reads) {
            EXPECT_NE(std::find(c.asked.begin(), c.asked.end(), read), c.asked.end()) << read;
        }
    }
}

TEST_F(StartUp, TheMessageComesBeforeTheEndAndNothingRunsAfterIt) {
    files.Remove(kFolder + "/" + kWhite240x64);
    std::vector<std::string> order;
    h.messages.onShow = [&] {
        order.push_back("message, ended " + std::to_string(h.program.ended));
    };
    EXPECT_FALSE(h.window->Form_Load());
    EXPECT_EQ(order, std::vector<std::string>{"message, ended 0"});
    EXPECT_EQ(h.program.ended, 1);
    // The grids were not sized: the failure stopped start-up where it was.
    EXPECT_NE(h.Find<QTableWidget>("msh_Font_5x8")->columnWidth(0), 10);
}

}  // namespace
}  // namespace lcdprog::test
