// The main window's controls: names a screen reader and a test can use, captions, nesting,
// the 2 x 2 picture arrangement, the grids and the menus.

#include <gtest/gtest.h>
#include <QAction>
#include <QGroupBox>
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

TEST_F(Layout, FiveTabsInOrderWithTheirFramesPictureBoxesAndGrids) {
    EXPECT_EQ(h.window->windowTitle(), QStringLiteral("Programmatore LCD grafici"));
    EXPECT_EQ(h.window->centralWidget()->size(), QSize(548, 395));  // 8220 x 5925 twips
    auto* tabs = h.Find<QTabWidget>("SST_Select_Image");
    ASSERT_EQ(tabs->count(), 5);
    EXPECT_EQ(tabs->currentIndex(), 0);
    const char* const captions[] = {"128x64 (64128A)", "128x64 (64128E)", "240x64 (64240B)",
                                    "240x128 (128240A)", "Fonts"};
    const QSize sizes[] = {{130, 66}, {130, 66}, {242, 66}, {242, 130}};
    for (int t = 0; t < 4; ++t) {
        const QString type = QString::fromLatin1(kPanelTypes[t]);
        SCOPED_TRACE(type.toStdString());
        EXPECT_EQ(tabs->tabText(t), QString::fromLatin1(captions[t]));
        auto* frame = tabs->widget(t)->findChild<QGroupBox*>("fra_Select_Image_" + type,
                                                             Qt::FindDirectChildrenOnly);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->title(), "Selezionare immagini di sfondo per display " + type + ":");
        EXPECT_EQ(frame->accessibleName(), frame->title());
        for (int i = 0; i < 4; ++i) {
            const QString text = QStringLiteral("Immagine numero %1:").arg(i + 1);
            QLabel* box = h.Box(t, i);
            auto* label =
                frame->findChild<QLabel*>(QStringLiteral("lbl_Image_%1_%2").arg(type).arg(i));
            ASSERT_TRUE(box != nullptr && box->parent() == frame && label != nullptr) << i;
            EXPECT_EQ(label->text(), text);
            EXPECT_EQ(box->accessibleName(), text);
            EXPECT_EQ(box->accessibleDescription(),
                      QStringLiteral("pct_Image_%1(%2)").arg(type).arg(i));
            // One pixel of border around the picture at the panel's own size.
            EXPECT_EQ(box->size(), sizes[t]);
            EXPECT_EQ(box->contentsRect().size(), sizes[t] - QSize(2, 2));
            // The label stands just above its box.
            EXPECT_EQ(label->geometry().bottomLeft() + QPoint(0, 1), box->pos());
            EXPECT_TRUE(frame->rect().contains(box->geometry()));
        }
        // 0 top left, 1 top right, 2 bottom left, 3 bottom right.
        const QRect b0 = h.Box(t, 0)->geometry();
        EXPECT_EQ(h.Box(t, 1)->y(), b0.y());
        EXPECT_EQ(h.Box(t, 2)->x(), b0.x());
        EXPECT_EQ(h.Box(t, 3)->pos(), QPoint(h.Box(t, 1)->x(), h.Box(t, 2)->y()));
        EXPECT_LT(b0.right(), h.Box(t, 1)->x());
        EXPECT_LT(b0.bottom(), h.Box(t, 2)->y());
    }
    EXPECT_EQ(tabs->tabText(4), QString::fromLatin1(captions[4]));
    auto* fonts = tabs->widget(4)->findChild<QGroupBox*>("fra_Font_64128A_64128E");
    ASSERT_NE(fonts, nullptr);
    EXPECT_EQ(fonts->title(), QStringLiteral("Font per display 64128A e 64128E:"));
    EXPECT_LT(h.Find<QGroupBox>("fra_5x8")->geometry().bottom(),
              h.Find<QGroupBox>("fra_10x16")->y());
    // Every tab header and frame caption is shown whole.
    EXPECT_LE(tabs->tabBar()->sizeHint().width(), tabs->width());
    for (QGroupBox* frame : h.window->findChildren<QGroupBox*>()) {
        SCOPED_TRACE(frame->objectName().toStdString());
        EXPECT_LT(frame->fontMetrics().horizontalAdvance(frame->title()), frame->width());
        EXPECT_LE(frame->geometry().right(), frame->parentWidget()->width());
    }
}

TEST_F(Layout, MenusAndEsciWhichWaitsForAProgrammingRun) {
    const QList<QAction*> menus = h.window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("File"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("&Comunicazione"));
    EXPECT_EQ(menus[2]->text(), QStringLiteral("&Visualizza"));
    // The project commands come first, then (after a separator, and the recent projects if
    // any) "Esci" last.
    const QList<QAction*> file = menus[0]->menu()->actions();
    ASSERT_GE(file.size(), 5);
    EXPECT_EQ(file[0]->text() + "|" + file[1]->text() + "|" + file[2]->text(),
              QStringLiteral("Apri progetto...|Salva progetto|Salva progetto con nome..."));
    EXPECT_TRUE(file[file.size() - 2]->isSeparator());
    ASSERT_EQ(menus[1]->menu()->actions().size(), 1);
    QAction* esci = file.back();
    QAction* serial = menus[1]->menu()->actions()[0];
    EXPECT_EQ(esci->objectName(), QStringLiteral("smnu_File_0"));
    EXPECT_EQ(esci->text(), QStringLiteral("Esci"));
    EXPECT_EQ(serial->objectName(), QStringLiteral("smnu_Comunicazione_0"));
    EXPECT_EQ(serial->text(), QStringLiteral("&Attiva/Disattiva seriale"));

    h.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(h.window.get()));
    serial->trigger();
    serial->trigger();
    EXPECT_EQ(h.serialWindowShown, 2);
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
