// The Qt side of the message box, the file dialog and the program end: what the operator is
// shown, what comes back, and that the program really ends.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_program.h"

namespace lcdprog::test {
namespace {

// Runs `inspect` on the modal dialog of type T once it is up; the dialog is closed by it.
template <typename T>
void When_Shown(std::function<void(T*)> inspect) {
    QTimer::singleShot(0, [inspect] {
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        inspect(dialog);
    });
}

TEST(QtMessageBox, ShowsTitleTextAndIconWithOneOkButton) {
    const struct {
        platform::MessageIcon icon;
        QMessageBox::Icon shown;
    } cases[] = {{platform::MessageIcon::Critical, QMessageBox::Critical},
                 {platform::MessageIcon::Exclamation, QMessageBox::Warning}};
    for (const auto& c : cases) {
        bool seen = false;
        When_Shown<QMessageBox>([&](QMessageBox* box) {
            seen = true;
            EXPECT_EQ(box->windowTitle(), QStringLiteral("ERROR RS232"));
            EXPECT_EQ(box->text(),
                      QStringLiteral("Comunicazione seriale interrotta.\nModulo non trovato"));
            EXPECT_EQ(box->icon(), c.shown);
            ASSERT_EQ(box->buttons().size(), 1);
            EXPECT_EQ(box->standardButton(box->buttons()[0]), QMessageBox::Ok);
            box->buttons()[0]->click();
        });
        platform::QtMessageBox messages;
        messages.Show("Comunicazione seriale interrotta.\r\nModulo non trovato", "ERROR RS232",
                      c.icon);
        EXPECT_TRUE(seen);
    }
}

TEST(QtFileDialog, TheClassicFilterBecomesTwoNameFilters) {
    EXPECT_EQ(
        platform::QtFileDialog::Name_Filters("Tutti i file |*.*| Messaggio (*.bmp) | *.bmp"),
        (QStringList{QStringLiteral("Tutti i file (*)"), QStringLiteral("Messaggio (*.bmp)")}));
    EXPECT_EQ(platform::QtFileDialog::Name_Filters("Testo|*.txt|Solo descrizione"),
              QStringList{QStringLiteral("Testo (*.txt)")});
    EXPECT_EQ(platform::QtFileDialog::Name_Filters(""), QStringList{});
}

class QtFileDialogRun : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/lcdprog_dialog_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = QString::fromLocal8Bit(pattern);
        std::ofstream((dir + "/Logo.BMP").toStdString()) << "x";
    }
    void TearDown() override { std::system(("rm -rf '" + dir.toStdString() + "'").c_str()); }

    platform::FileDialogRequest Request() const {
        platform::FileDialogRequest request;
        request.cancelError = true;
        request.filter = "Tutti i file |*.*| Messaggio (*.bmp) | *.bmp";
        request.filterIndex = 2;
        request.flags = 1;
        return request;
    }
    QString dir;
    platform::QtFileDialog dialog;
};

TEST_F(QtFileDialogRun, OpensQtsOwnOpenDialogOnTheBitmapEntryAndReturnsThePath) {
    When_Shown<QFileDialog>([this](QFileDialog* d) {
        EXPECT_TRUE(d->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_TRUE(d->testOption(QFileDialog::ReadOnly));
        EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(d->nameFilters(), (QStringList{QStringLiteral("Tutti i file (*)"),
                                                 QStringLiteral("Messaggio (*.bmp)")}));
        EXPECT_EQ(d->selectedNameFilter(), QStringLiteral("Messaggio (*.bmp)"));
        d->setDirectory(dir);
        d->selectFile(dir + QStringLiteral("/Logo.BMP"));
        static_cast<QDialog*>(d)->accept();  // as the Open button does
    });
    EXPECT_EQ(dialog.Show(Request()), (dir + QStringLiteral("/Logo.BMP")).toStdString());
}

TEST_F(QtFileDialogRun, ACancelReturnsNothingAndTheSaveFormIsTheSaveDialog) {
    platform::FileDialogRequest request = Request();
    request.saveForm = true;
    request.flags = 0;
    When_Shown<QFileDialog>([](QFileDialog* d) {
        EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_FALSE(d->testOption(QFileDialog::ReadOnly));
        d->reject();
    });
    EXPECT_EQ(dialog.Show(request), std::nullopt);
}

TEST(QtProgram, EndNowEndsTheProcessAtOnceWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            platform::QtProgram program;
            program.EndNow();
            std::fputs("still running\n", stderr);
        },
        ::testing::ExitedWithCode(1), ::testing::Not(::testing::HasSubstr("still running")));
}

}  // namespace
}  // namespace lcdprog::test
