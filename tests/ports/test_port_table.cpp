// The port table: the system's, from a sysfs, /dev and by-id tree made in a temporary folder, and
// the one LCDPROG_PORTS gives.

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/qt/port_table.h"

namespace lcdprog::platform {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

TEST(PortTable, PresentDevicesOpenableFirstUsbFirstDescribedAndListsAsWritten) {
    char pattern[] = "/tmp/lcdprog-ports-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    fs::permissions(root, fs::perms(0755));
    const SystemRoots roots{(root / "sys/class/tty").string(), (root / "dev").string(),
                            (root / "dev/serial/by-id").string()};
    const fs::path usb = root / "sys/devices/usb1";
    for (const auto& [file, text] : {std::pair{"1-1/idVendor", "0403"},
                                     {"1-1/manufacturer", "FTDI"},
                                     {"1-1/product", "FT232R USB UART"},
                                     {"1-1/serial", "A1B2C3"},
                                     {"1-2/idVendor", "2341"},
                                     {"1-2/product", "Uno"}}) {
        Write(usb / file, text);
    }
    const struct {
        const char* name;
        std::string device;  // under sys/devices, "" none
        const char* type;    // "" no type file
        int mode;            // of the node in /dev, -1 none
    } ttys[] = {
        {"ttyS10", "pnp0/00:01", "4", 0666},
        {"ttyS2", "pnp0/00:01", "4", 0},  // root's only
        {"ttyS4", "pnp0/00:01", "4", 0666},
        {"ttyS1", "pnp0/00:01", "0", 0666},  // no UART
        {"ttyS3", "pnp0/00:01", "4", -1},
        {"tty1", "", "", 0666},  // no node; a console
        {"ttyACM0", "usb1/1-2/1-2:1.0", "", 0666},
        {"ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0", "", 0666},
    };
    for (const auto& t : ttys) {
        const fs::path folder = root / "sys/class/tty" / t.name;
        fs::create_directories(folder);
        if (!t.device.empty()) {
            fs::create_directories(root / "sys/devices" / t.device);
            fs::create_directory_symlink("../../../devices/" + t.device, folder / "device");
        }
        if (*t.type != '\0') {
            Write(folder / "type", t.type);
        }
        if (t.mode >= 0) {
            Write(root / "dev" / t.name, "");
            fs::permissions(root / "dev" / t.name, fs::perms(t.mode));
        }
    }
    const std::string byId = roots.byId + "/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    fs::create_directories(roots.byId);
    fs::create_symlink("../../ttyUSB0", byId);

    // access() asks about the real user, and root may use anything: as root the table is read as
    // "nobody", and the saved user id brings root back.
    const bool root_user = getuid() == 0;
    ASSERT_TRUE(!root_user || setresuid(65534, 65534, 0) == 0);
    const PortTable table = PortTable::FromSystem(roots);
    ASSERT_TRUE(!root_user || setresuid(0, 0, 0) == 0);

    const std::string dev = roots.dev + "/";
    const std::pair<std::string, std::string> expected[] = {
        {"ttyUSB0", "\n" + byId + "\nFTDI FT232R USB UART, numero di serie A1B2C3"},
        {"ttyACM0", "\nUno"},
        {"ttyS4", ""},
        {"ttyS10", ""},
        {"ttyS2", ""},
    };
    ASSERT_EQ(table.Count(), 5) << testing::PrintToString(table.Devices());
    for (int n = 1; n <= 5; ++n) {
        const auto& [name, more] = expected[n - 1];
        EXPECT_EQ(table.DevicePath(n), dev + name);
        EXPECT_EQ(table.Description(n), dev + name + more);
    }
    EXPECT_EQ(table.DevicePath(6), "");
    EXPECT_EQ(table.Folders(), std::vector<std::string>{roots.dev});

    // LCDPROG_PORTS is the table as written; a link is described with where it leads.
    setenv("LCDPROG_PORTS", (":" + byId + "::" + dev + "missing:").c_str(), 1);
    const PortTable listed = PortTable::FromEnvironment(roots);
    unsetenv("LCDPROG_PORTS");
    EXPECT_EQ(listed.Devices(), (std::vector<std::string>{byId, dev + "missing"}));
    EXPECT_EQ(listed.Description(1), byId + "\n-> " + fs::canonical(dev + "ttyUSB0").string());
    EXPECT_EQ(listed.Folders(), (std::vector<std::string>{roots.byId, roots.dev}));
    fs::remove_all(root);
}

}  // namespace
}  // namespace lcdprog::platform
