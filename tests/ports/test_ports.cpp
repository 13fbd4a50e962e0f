// The port table, and the serial window following a pseudo-terminal behind a listed link.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest/QTest>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_control.h"
#include "serial_window/frm_RS232.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"
#include "support/processes.h"

namespace lcdprog::test {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

TEST(PortTable, PresentDevicesOpenableFirstUsbFirstDescribedAndListsAsWritten) {
    const TempFolder dir;
    const fs::path root = dir / "";
    fs::permissions(root, fs::perms(0755));
    const platform::SystemRoots roots{(root / "sys/class/tty").string(), (root / "dev").string(),
                                      (root / "dev/serial/by-id").string()};
    for (const std::string line :
         {"1-1/idVendor=0403", "1-1/manufacturer=FTDI", "1-1/serial=A1B2C3",
          "1-1/product=FT232R USB UART", "1-2/idVendor=2341", "1-2/product=Uno"}) {
        Write(root / "sys/devices/usb1" / line.substr(0, line.find('=')),
              line.substr(line.find('=') + 1));
    }
    // Name, device under sys/devices ("" none), type file ("" none), mode of the /dev node (-1
    // none): root's only, no UART, no node, a console.
    const std::tuple<const char*, std::string, const char*, int> ttys[] = {
        {"ttyS10", "pnp0/00:01", "4", 0666},
        {"ttyS2", "pnp0/00:01", "4", 0},
        {"ttyS4", "pnp0/00:01", "4", 0666},
        {"ttyS1", "pnp0/00:01", "0", 0666},
        {"ttyS3", "pnp0/00:01", "4", -1},
        {"tty1", "", "", 0666},
        {"ttyACM0", "usb1/1-2/1-2:1.0", "", 0666},
        {"ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0", "", 0666},
    };
    for (const auto& [name, device, type, mode] : ttys) {
        const fs::path folder = root / "sys/class/tty" / name;
        fs::create_directories(folder);
        if (!device.empty()) {
            fs::create_directories(root / "sys/devices" / device);
            fs::create_directory_symlink("../../../devices/" + device, folder / "device");
        }
        if (*type != '\0')
            Write(folder / "type", type);
        if (mode >= 0) {
            Write(root / "dev" / name, "");
            fs::permissions(root / "dev" / name, fs::perms(mode));
        }
    }
    const std::string byId = roots.byId + "/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    fs::create_directories(roots.byId);
    fs::create_symlink("../../ttyUSB0", byId);

    // access() asks about the real user, and root may use anything: as root the table is read as
    // "nobody", and the saved user id brings root back.
    const bool rootUser = getuid() == 0;
    ASSERT_TRUE(!rootUser || setresuid(65534, 65534, 0) == 0);
    const platform::PortTable table = platform::PortTable::FromSystem(roots);
    ASSERT_TRUE(!rootUser || setresuid(0, 0, 0) == 0);

    const std::string dev = roots.dev + "/";
    EXPECT_EQ(table.Devices(),
              (std::vector<std::string>{dev + "ttyUSB0", dev + "ttyACM0", dev + "ttyS4",
                                        dev + "ttyS10", dev + "ttyS2"}));
    EXPECT_EQ(table.Description(1),
              dev + "ttyUSB0\n" + byId + "\nFTDI FT232R USB UART, numero di serie A1B2C3");
    EXPECT_EQ(table.Description(2), dev + "ttyACM0\nUno");
    EXPECT_EQ(table.Folders(), std::vector<std::string>{roots.dev});

    // LCDPROG_PORTS is the table as written; a link is described with where it leads.
    setenv("LCDPROG_PORTS", (":" + byId + "::" + dev + "missing:").c_str(), 1);
    const platform::PortTable listed = platform::PortTable::FromEnvironment(roots);
    unsetenv("LCDPROG_PORTS");
    EXPECT_EQ(listed.Devices(), (std::vector<std::string>{byId, dev + "missing"}));
    EXPECT_EQ(listed.Description(1), byId + "\n-> " + fs::canonical(dev + "ttyUSB0").string());
    EXPECT_EQ(listed.Folders(), (std::vector<std::string>{roots.byId, roots.dev}));
}

TEST(HotPlug, TheListFollowsAModuleAppearingAndGoingAwayAndAnIdleOpenPortCloses) {
    ProgramState state;
    const TempFolder dir;
    const fs::path link = dir / "ttyLCD";
    FakeMessageBox messages;
    FakeFileService files;
    VirtualClock clock;
    platform::QtEventPump pump;
    platform::QtSerialControl serial(platform::PortTable({link.string()}));
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services{files, messages, clock, pump, serial, dialog, program};
    auto window = std::make_unique<frm_RS232>(services, state);
    window->show();
    auto* combo = window->findChild<QComboBox*>(QStringLiteral("cmb_RS232"));
    auto* status = window->findChild<QLabel*>(QStringLiteral("lbl_Stato"));
    auto* off = window->findChild<QPushButton*>(QStringLiteral("cmd_OFF"));

    for (const bool portOpen : {false, true}) {
        SCOPED_TRACE(portOpen);
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        fs::create_symlink(ptsname(master), link);
        ASSERT_TRUE(QTest::qWaitFor([&] { return combo->count() == 1; }, 10000));
        EXPECT_EQ(combo->currentText() + status->text(), QStringLiteral("COM 1Pronto"));
        if (portOpen) {
            window->findChild<QPushButton*>(QStringLiteral("cmd_ON"))->click();
            ASSERT_TRUE(serial.PortOpen()) << serial.LastError();
        }
        // Unplugged: the list empties without a message box; an idle open port is closed as
        // OFF closes it, and the status line says why. The link goes too: the number of a closed
        // pty is soon another program's, and a link left to it would find that pty.
        close(master);
        fs::remove(link);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return combo->count() == 0 && !off->isEnabled(); }, 10000));
        EXPECT_TRUE(status->text().contains(
            QStringLiteral("Il dispositivo %1 %2")
                .arg(link.c_str(), portOpen ? "non risponde più" : "non esiste")))
            << status->text().toStdString();
    }
    EXPECT_EQ(messages.shown.size(), 1u);  // only at opening, when nothing was plugged in
}

}  // namespace
}  // namespace lcdprog::test
