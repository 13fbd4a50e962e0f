// The Qt side of the message box, the file dialog and the program end: what the operator is
// shown, what comes back, and that the program really ends.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_program.h"

namespace lcdprog::test {
namespace {

// Runs `inspect` on the modal dialog of type T once it is up; `inspect` closes it.
template <typename T>
void When_Shown(std::function<void(T*)> inspect) {
    QTimer::singleShot(0, [inspect] {
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        inspect(dialog);
    });
}

TEST(QtMessageBox, ShowsTitleTextAndIconWithOneOkButton) {
    for (const auto& [icon, shown] :
         {std::pair{platform::MessageIcon::Critical, QMessageBox::Critical},
          std::pair{platform::MessageIcon::Exclamation, QMessageBox::Warning}}) {
        bool seen = false;
        When_Shown<QMessageBox>([&, shown = shown](QMessageBox* box) {
            seen = true;
            EXPECT_EQ(box->windowTitle() + "|" + box->text(), QStringLiteral("T|one\ntwo"));
            EXPECT_EQ(box->icon(), shown);
            ASSERT_EQ(box->buttons().size(), 1);
            EXPECT_EQ(box->standardButton(box->buttons()[0]), QMessageBox::Ok);
            box->buttons()[0]->click();
        });
        platform::QtMessageBox().Show("one\r\ntwo", "T", icon);
        EXPECT_TRUE(seen);
    }
}

TEST(QtFileDialog, QtsOwnReadOnlyDialogOnTheChosenFilterReturnsThePathOrNothing) {
    const platform::FileDialogRequest request{true, "Tutti i file |*.*| Messaggio (*.bmp) | *.bmp",
                                              2, 1};
    const QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("Logo.BMP"));
    ASSERT_TRUE(QFile(chosen).open(QIODevice::WriteOnly));
    When_Shown<QFileDialog>([&](QFileDialog* d) {
        EXPECT_TRUE(d->testOption(QFileDialog::ReadOnly) && d->acceptMode() == d->AcceptOpen);
        EXPECT_EQ(d->nameFilters(), (QStringList{QStringLiteral("Tutti i file (*)"),
                                                 QStringLiteral("Messaggio (*.bmp)")}));
        EXPECT_EQ(d->selectedNameFilter(), QStringLiteral("Messaggio (*.bmp)"));
        d->setDirectory(dir.path());
        d->selectFile(chosen);
        static_cast<QDialog*>(d)->accept();  // as the Open button does
    });
    platform::QtFileDialog dialog;
    EXPECT_EQ(dialog.Show(request), chosen.toStdString());
    When_Shown<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(dialog.Show(request), std::nullopt);
}

TEST(QtProgram, EndNowEndsTheProcessAtOnceWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            platform::QtProgram().EndNow();
            std::fputs("still running\n", stderr);
        },
        ::testing::ExitedWithCode(1), ::testing::Not(::testing::HasSubstr("still running")));
}

}  // namespace
}  // namespace lcdprog::test
