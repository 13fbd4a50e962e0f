// The system's port table, read from a sysfs, /dev and by-id tree made in a temporary folder.

#include <sys/stat.h>
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

// access() asks about the real user, and root may read anything: as root the table is read as
// "nobody" (the saved user id brings root back).
class AsOrdinaryUser {
  public:
    AsOrdinaryUser() : root_(getuid() == 0) {
        if (root_) {
            EXPECT_EQ(setresuid(65534, 65534, 0), 0);
        }
    }
    ~AsOrdinaryUser() {
        if (root_) {
            EXPECT_EQ(setresuid(0, 0, 0), 0);
        }
    }

  private:
    bool root_;
};

TEST(SystemPortTable, PresentDevicesOpenableFirstUsbFirstDescribed) {
    char pattern[] = "/tmp/lcdprog-ports-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                              fs::perms::group_read | fs::perms::others_read);
    const SystemRoots roots{(root / "sys/class/tty").string(), (root / "dev").string(),
                            (root / "dev/serial/by-id").string()};
    const fs::path usb = root / "sys/devices/usb1";
    Write(usb / "1-1/idVendor", "0403");
    Write(usb / "1-1/manufacturer", "FTDI");
    Write(usb / "1-1/product", "FT232R USB UART");
    Write(usb / "1-1/serial", "A1B2C3");
    Write(usb / "1-2/idVendor", "2341");
    Write(usb / "1-2/product", "Uno");
    fs::create_directories(usb / "1-1/1-1:1.0/ttyUSB0");
    fs::create_directories(usb / "1-2/1-2:1.0");
    fs::create_directories(root / "sys/devices/pnp0/00:01");

    const struct {
        const char* name;
        std::string device;  // sysfs device folder, "" none
        const char* type;    // "" no type file
        bool node;           // /dev holds it
        fs::perms mode;
    } ttys[] = {
        {"ttyS10", "devices/pnp0/00:01", "4", true, fs::perms(0666)},
        {"ttyS2", "devices/pnp0/00:01", "4", true, fs::perms(0000)},  // root's only
        {"ttyS4", "devices/pnp0/00:01", "4", true, fs::perms(0666)},
        {"ttyS1", "devices/pnp0/00:01", "0", true, fs::perms(0666)},   // no UART
        {"ttyS3", "devices/pnp0/00:01", "4", false, fs::perms(0666)},  // no node
        {"tty1", "", "", true, fs::perms(0666)},                       // a console
        {"ttyACM0", "devices/usb1/1-2/1-2:1.0", "", true, fs::perms(0666)},
        {"ttyUSB0", "devices/usb1/1-1/1-1:1.0/ttyUSB0", "", true, fs::perms(0666)},
    };
    for (const auto& t : ttys) {
        const fs::path folder = root / "sys/class/tty" / t.name;
        fs::create_directories(folder);
        if (!t.device.empty()) {
            fs::create_directory_symlink("../../../" + t.device, folder / "device");
        }
        if (*t.type != '\0') {
            Write(folder / "type", t.type);
        }
        if (t.node) {
            Write(root / "dev" / t.name, "");
            fs::permissions(root / "dev" / t.name, t.mode);
        }
    }
    const std::string byId = roots.byId + "/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    fs::create_directories(roots.byId);
    fs::create_symlink("../../ttyUSB0", byId);

    PortTable table;
    {
        AsOrdinaryUser nobody;
        table = PortTable::FromSystem(roots);
    }
    const std::string dev = roots.dev + "/";
    const std::vector<std::pair<std::string, std::string>> expected = {
        {dev + "ttyUSB0",
         dev + "ttyUSB0\n" + byId + "\nFTDI FT232R USB UART, numero di serie A1B2C3"},
        {dev + "ttyACM0", dev + "ttyACM0\nUno"},
        {dev + "ttyS4", dev + "ttyS4"},
        {dev + "ttyS10", dev + "ttyS10"},
        {dev + "ttyS2", dev + "ttyS2"},
    };
    ASSERT_EQ(table.Count(), static_cast<int>(expected.size()))
        << testing::PrintToString(table.Devices());
    for (int n = 1; n <= table.Count(); ++n) {
        EXPECT_EQ(table.DevicePath(n), expected[static_cast<std::size_t>(n - 1)].first);
        EXPECT_EQ(table.Description(n), expected[static_cast<std::size_t>(n - 1)].second);
    }
    EXPECT_EQ(table.Folders(), std::vector<std::string>{roots.dev});

    // A list is the table as written; a link is described with where it leads.
    const PortTable listed = PortTable::FromList(byId + "::" + dev + "missing");
    EXPECT_EQ(listed.Devices(), (std::vector<std::string>{byId, dev + "missing"}));
    EXPECT_EQ(listed.Description(1), byId + "\n-> " + fs::canonical(dev + "ttyUSB0").string());
    EXPECT_EQ(listed.Folders(), (std::vector<std::string>{roots.byId, roots.dev}));
    fs::remove_all(root);
}

}  // namespace
}  // namespace lcdprog::platform
