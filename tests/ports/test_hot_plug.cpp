// The serial window following the hardware: a pseudo-terminal appears and disappears behind a
// link named in the port table, as the virtual module's --link does, while the window is shown.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_control.h"
#include "serial_window/frm_RS232.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"

namespace lcdprog::test {
namespace {

namespace fs = std::filesystem;

// Runs the event loop, sleeping between events, until `done` holds; false at the deadline.
bool Wait_Until(const std::function<bool()>& done) {
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(10000);
    while (!done() && deadline.isActive()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

TEST(HotPlug, TheListFollowsAModuleAppearingAndGoingAwayAndAnIdleOpenPortCloses) {
    Reset_Program_State();
    char pattern[] = "/tmp/lcdprog-plug-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path link = fs::path(pattern) / "ttyLCD";
    FakeMessageBox messages;
    FakeFileService files;
    VirtualClock clock;
    platform::QtEventPump pump;
    platform::QtSerialControl serial(platform::PortTable({link.string()}));
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services{files, messages, clock, pump, serial, dialog, program};
    auto window = std::make_unique<frm_RS232>(services);
    window->show();
    auto* combo = window->findChild<QComboBox*>(QStringLiteral("cmb_RS232"));
    auto* status = window->findChild<QLabel*>(QStringLiteral("lbl_Stato"));
    auto* on = window->findChild<QPushButton*>(QStringLiteral("cmd_ON"));
    auto* off = window->findChild<QPushButton*>(QStringLiteral("cmd_OFF"));
    ASSERT_EQ(combo->count(), 0);
    ASSERT_EQ(messages.shown.size(), 1u);  // nothing plugged in yet: said once, at opening

    for (const bool portOpen : {false, true}) {
        SCOPED_TRACE(portOpen);
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        fs::create_symlink(ptsname(master), link);
        QElapsedTimer plugged;
        plugged.start();
        ASSERT_TRUE(Wait_Until([&] { return combo->count() == 1; }));
        RecordProperty("plug_to_list_ms", static_cast<int>(plugged.elapsed()));
        EXPECT_EQ(combo->currentText(), QStringLiteral("COM 1"));
        EXPECT_EQ(status->text(), QStringLiteral("Pronto"));
        if (portOpen) {
            QTest::mouseClick(on, Qt::LeftButton);
            ASSERT_TRUE(serial.PortOpen()) << serial.LastError();
        } else {
            fs::remove(link);
        }
        close(master);
        // Unplugged: the list empties without a message box; an idle open port is closed as
        // OFF closes it, and the status line names its device.
        ASSERT_TRUE(Wait_Until([&] { return combo->count() == 0 && !off->isEnabled(); }));
        EXPECT_FALSE(on->isEnabled());
        EXPECT_FALSE(serial.PortOpen());
        EXPECT_EQ(status->text().startsWith(QStringLiteral("Il dispositivo %1 ").arg(link.c_str())),
                  portOpen)
            << status->text().toStdString();
    }
    EXPECT_EQ(messages.shown.size(), 1u);
    window.reset();
    fs::remove_all(pattern);
}

}  // namespace
}  // namespace lcdprog::test
