// Both windows walked control by control, as a screen reader would: every control is announced
// by a name and a description, shows its whole caption in the platform's font, and the few
// sizes and placements that the program's behaviour rests on hold.

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSet>
#include <QStackedWidget>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "main_window/main_window_harness.h"
#include "serial_window/frm_RS232.h"

namespace lcdprog::test {
namespace {

// Walks every control the window was built with; returns how many it met.
int Walk(QWidget* window) {
    static const QRegularExpression control(
        QStringLiteral("^(SST|fra|lbl|txt|cmb|cmd|pct|msh|rtb|pgb)_"));
    static const QRegularExpression element(QStringLiteral("_(\\d+)$"));
    int walked = 0;
    QSet<const QWidget*> labelled;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        QString name = w->objectName();
        // A tab page is announced by its tab.
        if (!control.match(name).hasMatch() || qobject_cast<QStackedWidget*>(w->parentWidget())) {
            continue;
        }
        ++walked;
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(w->accessibleName().isEmpty());
        EXPECT_FALSE(w->accessibleName().contains(QLatin1Char('&')));
        // No tool tip: the control's name, an array element's index in parentheses.
        const QString unnamed = name.replace(element, QStringLiteral("(\\1)"));
        EXPECT_EQ(w->accessibleDescription(), w->toolTip().isEmpty() ? unnamed : w->toolTip());

        QString caption;
        if (auto* frame = qobject_cast<QGroupBox*>(w)) {
            caption = frame->title();
            QStyleOptionGroupBox title;
            title.initFrom(frame);
            title.text = caption;
            title.subControls = QStyle::SC_GroupBoxLabel;
            EXPECT_TRUE(frame->rect().contains(frame->style()->subControlRect(
                QStyle::CC_GroupBox, &title, QStyle::SC_GroupBoxLabel, frame)));
            EXPECT_LE(frame->geometry().right(), frame->parentWidget()->width());
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            caption = button->text();
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            caption = label->text();
            if (label->buddy() != nullptr) {
                labelled.insert(label->buddy());
                EXPECT_EQ(label->buddy()->accessibleName(), caption);
            }
            if (name.startsWith(QStringLiteral("pct_"))) {
                // One pixel of border around the picture at the panel's own size.
                EXPECT_EQ(label->size(), label->pixmap().size() + QSize(2, 2));
            }
        } else if (auto* grid = qobject_cast<QTableWidget*>(w)) {
            EXPECT_EQ(grid->columnWidth(0), grid->rowHeight(0));
            EXPECT_LE(grid->horizontalHeader()->length() + 2 * grid->frameWidth(), grid->width());
            EXPECT_LE(grid->verticalHeader()->length() + 2 * grid->frameWidth(), grid->height());
        }
        EXPECT_LE(w->fontMetrics().horizontalAdvance(caption.remove(QLatin1Char('&'))), w->width());
    }
    // A text box is announced by the label beside it, not by the value it shows.
    for (const QLineEdit* edit : window->findChildren<QLineEdit*>(QRegularExpression("^txt_"))) {
        EXPECT_TRUE(labelled.contains(edit)) << edit->objectName().toStdString();
    }
    return walked;
}

TEST(ScreenReaderWalk, EveryControlOfBothWindowsIsNamedDescribedAndShownWhole) {
    FakeFileService files;
    for (const std::string& name : {kWhite128x64, kWhite240x64, kWhite240x128}) {
        files.Put(kFolder + "/" + name, White_File(name));
    }
    MainWindowHarness h(files);
    ASSERT_TRUE(h.window->Form_Load());
    EXPECT_GE(Walk(h.window.get()), 42);
    auto* tabs = h.Find<QTabWidget>(QStringLiteral("SST_Select_Image"));
    EXPECT_LE(tabs->tabBar()->sizeHint().width(), tabs->width()) << "no tab behind an arrow";

    h.serial.ports[1] = FakeSerialControl::Port::Free;
    frm_RS232 serial(h.services);
    serial.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&serial));
    EXPECT_GE(Walk(&serial), 25);
    // Stop is drawn over the command frame but is not inside it, so it stays usable while the
    // frame is disabled (as it is until a port is opened).
    auto* frame = serial.findChild<QGroupBox*>(QStringLiteral("fra_Comandi"));
    auto* stop = serial.findChild<QWidget*>(QStringLiteral("cmd_Stop_RS232"));
    EXPECT_FALSE(frame->isEnabled());
    EXPECT_FALSE(frame->isAncestorOf(stop));
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_EQ(stop->parentWidget()->childAt(stop->geometry().center()), stop);
    EXPECT_EQ(serial.findChild<QLabel*>(QStringLiteral("lbl_Parity_Bit"))->text() +
                  serial.findChild<QWidget*>(QStringLiteral("txt_Baud_Rates"))->toolTip(),
              QStringLiteral("Bit di parit\u00e0:Velocit\u00e0 trasmissione dati"));
}

}  // namespace
}  // namespace lcdprog::test
