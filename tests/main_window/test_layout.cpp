// The main window's controls: names a screen reader and a test can use, captions, nesting,
// the 2 x 2 picture arrangement, the grids and the menus.

#include <gtest/gtest.h>
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "main_window/main_window_harness.h"

namespace lcdprog::test {
namespace {

class Layout : public ::testing::Test {
  protected:
    FakeFileService files;
    MainWindowHarness h{files};
};

TEST_F(Layout, WindowCaptionAndClientArea) {
    EXPECT_EQ(h.window->windowTitle(), QStringLiteral("Programmatore LCD grafici"));
    EXPECT_EQ(h.window->objectName(), QStringLiteral("frm_Config_LCD"));
    // 8220 x 5925 twips at 15 twips per pixel.
    EXPECT_EQ(h.window->centralWidget()->size(), QSize(548, 395));
}

TEST_F(Layout, FiveTabsInOrderEachWithTheFrameOfItsOwnPanel) {
    auto* tabs = h.Find<QTabWidget>("SST_Select_Image");
    ASSERT_NE(tabs, nullptr);
    const struct {
        const char* tab;
        const char* frame;
        const char* caption;
    } expected[] = {
        {"128x64 (64128A)", "fra_Select_Image_64128A",
         "Selezionare immagini di sfondo per display 64128A:"},
        {"128x64 (64128E)", "fra_Select_Image_64128E",
         "Selezionare immagini di sfondo per display 64128E:"},
        {"240x64 (64240B)", "fra_Select_Image_64240B",
         "Selezionare immagini di sfondo per display 64240B:"},
        {"240x128 (128240A)", "fra_Select_Image_128240A",
         "Selezionare immagini di sfondo per display 128240A:"},
        {"Fonts", "fra_Font_64128A_64128E", "Font per display 64128A e 64128E:"},
    };
    ASSERT_EQ(tabs->count(), 5);
    EXPECT_EQ(tabs->currentIndex(), 0);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(expected[i].tab);
        EXPECT_EQ(tabs->tabText(i), QString::fromUtf8(expected[i].tab));
        auto* frame =
            tabs->widget(i)->findChild<QGroupBox*>(expected[i].frame, Qt::FindDirectChildrenOnly);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->title(), QString::fromUtf8(expected[i].caption));
        EXPECT_EQ(frame->accessibleName(), frame->title());
        EXPECT_EQ(frame->accessibleDescription(), QString::fromUtf8(expected[i].frame));
    }
}

TEST_F(Layout, PictureBoxesAndLabelsStandTwoByTwoWithNamesAndSizes) {
    const struct {
        const char* type;
        QSize box;
    } panels[] = {{"64128A", {130, 66}},
                  {"64128E", {130, 66}},
                  {"64240B", {242, 66}},
                  {"128240A", {242, 130}}};
    for (const auto& p : panels) {
        SCOPED_TRACE(p.type);
        auto* frame = h.Find<QGroupBox>(QStringLiteral("fra_Select_Image_") + p.type);
        ASSERT_NE(frame, nullptr);
        std::array<QLabel*, 4> boxes{};
        for (int i = 0; i < 4; ++i) {
            const QString box = QStringLiteral("pct_Image_%1_%2").arg(p.type).arg(i);
            const QString label = QStringLiteral("lbl_Image_%1_%2").arg(p.type).arg(i);
            boxes[i] = frame->findChild<QLabel*>(box);
            auto* caption = frame->findChild<QLabel*>(label);
            ASSERT_NE(boxes[i], nullptr) << box.toStdString();
            ASSERT_NE(caption, nullptr) << label.toStdString();
            const QString text = QStringLiteral("Immagine numero %1:").arg(i + 1);
            EXPECT_EQ(caption->text(), text);
            EXPECT_EQ(boxes[i]->size(), p.box);
            // The picture inside the one-pixel border is exactly the panel's size.
            EXPECT_EQ(boxes[i]->contentsRect().size(), p.box - QSize(2, 2));
            EXPECT_EQ(boxes[i]->accessibleName(), text);
            EXPECT_EQ(boxes[i]->accessibleDescription(),
                      QStringLiteral("pct_Image_%1(%2)").arg(p.type).arg(i));
            EXPECT_EQ(caption->accessibleDescription(),
                      QStringLiteral("lbl_Image_%1(%2)").arg(p.type).arg(i));
            // The label stands just above its box, at the same left edge.
            EXPECT_EQ(caption->x(), boxes[i]->x());
            EXPECT_EQ(caption->geometry().bottom() + 1, boxes[i]->y());
            EXPECT_TRUE(frame->rect().contains(boxes[i]->geometry()));
            // The design-time picture: the panel's size, white inside a black frame.
            const QImage picture = Shown(boxes[i]);
            EXPECT_EQ(picture.size(), p.box - QSize(2, 2));
            EXPECT_EQ(picture.pixel(0, 0), qRgb(0, 0, 0));
            EXPECT_EQ(picture.pixel(5, 5), qRgb(255, 255, 255));
        }
        // 0 top left, 1 top right, 2 bottom left, 3 bottom right.
        EXPECT_EQ(boxes[0]->y(), boxes[1]->y());
        EXPECT_EQ(boxes[2]->y(), boxes[3]->y());
        EXPECT_EQ(boxes[0]->x(), boxes[2]->x());
        EXPECT_EQ(boxes[1]->x(), boxes[3]->x());
        EXPECT_LT(boxes[0]->geometry().right(), boxes[1]->x());
        EXPECT_LT(boxes[0]->geometry().bottom(), boxes[2]->y());
    }
}

TEST_F(Layout, FontFramesHoldGridsWithoutHeadings) {
    auto* fonts = h.Find<QGroupBox>("fra_Font_64128A_64128E");
    ASSERT_NE(fonts, nullptr);
    const struct {
        const char* frame;
        const char* caption;
        const char* grid;
        int rows;
        int columns;
    } grids[] = {{"fra_5x8", "Font 5x8 pixel:", "msh_Font_5x8", 8, 5},
                 {"fra_10x16", "Font 10x16 pixel:", "msh_Font_10x16", 16, 10}};
    for (const auto& g : grids) {
        SCOPED_TRACE(g.grid);
        auto* frame = fonts->findChild<QGroupBox*>(g.frame, Qt::FindDirectChildrenOnly);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->title(), QString::fromUtf8(g.caption));
        auto* grid = frame->findChild<QTableWidget*>(g.grid, Qt::FindDirectChildrenOnly);
        ASSERT_NE(grid, nullptr);
        EXPECT_EQ(grid->rowCount(), g.rows);
        EXPECT_EQ(grid->columnCount(), g.columns);
        EXPECT_TRUE(grid->horizontalHeader()->isHidden());
        EXPECT_TRUE(grid->verticalHeader()->isHidden());
        EXPECT_EQ(grid->accessibleName(), QString::fromUtf8(g.caption));
        EXPECT_EQ(grid->accessibleDescription(), QString::fromUtf8(g.grid));
        // Nothing painted yet: no cell has a colour of its own.
        for (int r = 0; r < g.rows; ++r) {
            for (int c = 0; c < g.columns; ++c) {
                EXPECT_EQ(grid->item(r, c), nullptr);
            }
        }
    }
    // One above the other.
    EXPECT_LT(h.Find<QGroupBox>("fra_5x8")->geometry().bottom(),
              h.Find<QGroupBox>("fra_10x16")->y());
}

TEST_F(Layout, EveryTabHeaderAndFrameCaptionIsShownWhole) {
    auto* tabs = h.Find<QTabWidget>("SST_Select_Image");
    EXPECT_LE(tabs->tabBar()->sizeHint().width(), tabs->width());
    for (QGroupBox* frame : h.window->findChildren<QGroupBox*>()) {
        SCOPED_TRACE(frame->objectName().toStdString());
        EXPECT_LT(frame->fontMetrics().horizontalAdvance(frame->title()), frame->width());
        // Grown frames still lie inside what holds them.
        EXPECT_LE(frame->geometry().right(), frame->parentWidget()->width());
    }
}

TEST_F(Layout, MenusWithTheirItemsAndAccessKeys) {
    const QList<QAction*> menus = h.window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("File"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("&Comunicazione"));
    auto* file = h.Find<QMenu>("mnu_File");
    auto* comm = h.Find<QMenu>("mnu_Comunicazione");
    ASSERT_NE(file, nullptr);
    ASSERT_NE(comm, nullptr);
    EXPECT_EQ(menus[0]->menu(), file);
    EXPECT_EQ(menus[1]->menu(), comm);
    EXPECT_EQ(comm->accessibleName(), QStringLiteral("Comunicazione"));
    ASSERT_EQ(file->actions().size(), 1);
    ASSERT_EQ(comm->actions().size(), 1);
    EXPECT_EQ(file->actions()[0]->objectName(), QStringLiteral("smnu_File_0"));
    EXPECT_EQ(file->actions()[0]->text(), QStringLiteral("Esci"));
    EXPECT_EQ(comm->actions()[0]->objectName(), QStringLiteral("smnu_Comunicazione_0"));
    EXPECT_EQ(comm->actions()[0]->text(), QStringLiteral("&Attiva/Disattiva seriale"));
}

TEST_F(Layout, EsciClosesTheWindowAndTheSerialCommandAsksForTheSerialWindow) {
    h.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(h.window.get()));
    auto* serial = h.window->findChild<QAction*>("smnu_Comunicazione_0");
    serial->trigger();
    serial->trigger();
    EXPECT_EQ(h.serialWindowShown, 2);
    EXPECT_TRUE(h.window->isVisible());

    h.window->findChild<QAction*>("smnu_File_0")->trigger();
    EXPECT_FALSE(h.window->isVisible());
}

TEST_F(Layout, ClosingDuringAProgrammingRunIsRefusedWithANoticeInTheCaption) {
    h.window->show();
    RunInProgress = true;
    h.window->findChild<QAction*>("smnu_File_0")->trigger();
    EXPECT_TRUE(h.window->isVisible());
    EXPECT_EQ(h.window->windowTitle(),
              QStringLiteral("Programmatore LCD grafici - Attendere la fine della programmazione"));
    EXPECT_TRUE(h.messages.shown.empty());

    RunInProgress = false;
    EXPECT_TRUE(h.window->close());
    EXPECT_FALSE(h.window->isVisible());
    EXPECT_EQ(h.window->windowTitle(), QStringLiteral("Programmatore LCD grafici"));
}

}  // namespace
}  // namespace lcdprog::test
