// Start-up of the main window: the three white backgrounds, the sixteen slots and boxes, the
// grid cells, the end of the program when a file is missing or unusable, and the menu commands.

#include <gtest/gtest.h>

#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QTest>

#include "main_window/main_window_harness.h"

namespace lcdprog::test {
namespace {

TEST(StartUp, WithAllFilesEverySlotAndBoxHoldsItsPanelsWhiteBackgroundAndCellsAreSquare) {
    FakeFileService files;
    for (const std::string& name : {kWhite128x64, kWhite240x64, kWhite240x128}) {
        files.Put(kFolder + "/" + name, White_File(name));
    }
    MainWindowHarness h(files);
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
    // Both 128 x 64 panels share one file.
    const std::string* file[] = {&kWhite128x64, &kWhite128x64, &kWhite240x64, &kWhite240x128};
    const int width[] = {128, 128, 240, 240};
    const int height[] = {64, 64, 64, 128};
    const Snapshot s = h.Take();
    for (int k = 0; k < 16; ++k) {
        SCOPED_TRACE(k);
        const int p = k / 4;
        EXPECT_TRUE(Same(s.slot[k], {kFolder + "/" + *file[p], *file[p], height[p], width[p], 1}));
        EXPECT_EQ(s.box[k], Decode(White_File(*file[p])));
    }
    EXPECT_EQ(Images_64240B[2].FullPath, "/opt/lcdprog/Sfondo_Bianco_240x64.bmp");
    EXPECT_EQ(Images_64240B[2].FileName, "Sfondo_Bianco_240x64.bmp");
    EXPECT_EQ(Font_5x8[0], 7);
    EXPECT_EQ(Font_10x16[9], 32768);

    // The grids: no heading row or column, square cells, each in its captioned frame.
    for (const auto& [name, caption, rows, columns] :
         {std::tuple{"msh_Font_5x8", "Font 5x8 pixel:", 8, 5},
          std::tuple{"msh_Font_10x16", "Font 10x16 pixel:", 16, 10}}) {
        SCOPED_TRACE(name);
        auto* grid = h.Find<QTableWidget>(QString::fromLatin1(name));
        ASSERT_EQ(grid->rowCount(), rows);
        ASSERT_EQ(grid->columnCount(), columns);
        EXPECT_TRUE(grid->horizontalHeader()->isHidden() && grid->verticalHeader()->isHidden());
        EXPECT_EQ(static_cast<QGroupBox*>(grid->parentWidget())->title(), caption);
        EXPECT_EQ(grid->accessibleName(), caption);
        EXPECT_EQ(grid->accessibleDescription(), name);
        for (int c = 0; c < columns; ++c) {
            EXPECT_EQ(grid->columnWidth(c), 10) << "column " << c;
        }
        for (int r = 0; r < rows; ++r) {
            EXPECT_EQ(grid->rowHeight(r), 10) << "row " << r;
        }
        // Every cell fits inside the grid: no scrolling hides a pixel.
        EXPECT_LE(columns * 10 + 2 * grid->frameWidth(), grid->width());
        EXPECT_LE(rows * 10 + 2 * grid->frameWidth(), grid->height());
    }
}

TEST(StartUp, TheFirstMissingOrUnusableFileEndsTheProgramAfterOneMessage) {
    const std::string names[] = {kWhite128x64, kWhite240x64, kWhite240x128};
    // Each file white (w), missing (m) or not a picture (g); start-up ends at the `failing` one.
    const struct {
        const char* files;
        std::size_t failing;
    } cases[] = {{"mww", 0}, {"wmw", 1}, {"wwm", 2}, {"mmm", 0}, {"wgw", 1}, {"gwm", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.files);
        FakeFileService fs;
        std::vector<std::string> asked;
        for (std::size_t i = 0; i < 3; ++i) {
            const std::string path = kFolder + "/" + names[i];
            if (c.files[i] != 'm') {
                fs.Put(path, c.files[i] == 'w' ? White_File(names[i]) : "BM not a bitmap at all");
            }
            if (i <= c.failing) {
                asked.push_back(path);
            }
        }
        MainWindowHarness run(fs);
        int endedWhenShown = -1;
        run.messages.onShow = [&] { endedWhenShown = run.program.ended; };
        EXPECT_FALSE(run.window->Form_Load());
        const std::string why =
            c.files[c.failing] == 'm' ? " non trovato" : " non leggibile come immagine";
        EXPECT_EQ(run.messages.shown,
                  (std::vector<ShownMessage>{
                      {"File " + names[c.failing] + why + ". Impossibile continuare", "ERROR",
                       platform::MessageIcon::Critical}}));
        EXPECT_EQ(endedWhenShown, 0);  // the message first, then the end
        EXPECT_EQ(run.program.ended, 1);
        EXPECT_EQ(fs.existsAsked, asked);
        for (const std::string& read : fs.reads) {
            EXPECT_NE(std::find(asked.begin(), asked.end(), read), asked.end()) << read;
        }
        // Start-up stopped where it failed: the grids were not sized.
        EXPECT_NE(run.Find<QTableWidget>("msh_Font_5x8")->columnWidth(0), 10);
    }
}

TEST(StartUp, TheMenuShowsTheSerialWindowAndEsciWaitsForAProgrammingRun) {
    FakeFileService files;
    MainWindowHarness h(files);
    h.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(h.window.get()));
    auto* serial = h.Find<QAction>(QStringLiteral("smnu_Comunicazione_0"));
    serial->trigger();
    serial->trigger();
    EXPECT_EQ(h.serialWindowShown, 2);
    auto* esci = h.Find<QAction>(QStringLiteral("smnu_File_0"));
    RunInProgress = true;
    esci->trigger();
    EXPECT_TRUE(h.window->isVisible());
    EXPECT_EQ(h.window->windowTitle(),
              QStringLiteral("Programmatore LCD grafici - Attendere la fine della programmazione"));
    EXPECT_TRUE(h.messages.shown.empty());
    RunInProgress = false;
    esci->trigger();
    EXPECT_FALSE(h.window->isVisible());
    EXPECT_EQ(h.window->windowTitle(), QStringLiteral("Programmatore LCD grafici"));
}

}  // namespace
}  // namespace lcdprog::test
