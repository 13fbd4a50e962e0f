#pragma once

#include <string>
#include <vector>

namespace lcdprog::platform {

// Where the system's serial devices are described; tests point these into a temporary folder.
struct SystemRoots {
    std::string sysClassTty = "/sys/class/tty";
    std::string dev = "/dev";
    std::string byId = "/dev/serial/by-id";
};

// The /dev/serial/by-id link that leads to `device`, empty when none does: the name that stays
// the same whichever USB socket the adapter is plugged into.
std::string By_Id_Name(const std::string& device, const std::string& byId = SystemRoots().byId);

// "COM n" is entry n (from 1) of this table of device paths.
class PortTable {
  public:
    struct Entry {
        std::string device;
        // What the operator is shown about the device: its path, its /dev/serial/by-id name and
        // the USB maker, product and serial number, one per line, where known.
        std::string description;
    };

    PortTable() = default;
    // Devices as given, each described by its path.
    explicit PortTable(const std::vector<std::string>& devices);

    // LCDPROG_PORTS when it is set and not empty, otherwise the system's serial devices.
    static PortTable FromEnvironment(const SystemRoots& roots = {});
    // "/dev/pts/3:/tmp/ttyLCD" -> {"/dev/pts/3", "/tmp/ttyLCD"}, as written; empty pieces are
    // dropped.
    static PortTable FromList(const std::string& list);
    // The serial devices that are really there (a ttyS whose UART is absent is not): those this
    // user may read and write first, then the others; within each, USB adapters (ttyUSB*, then
    // ttyACM*) first, then the rest, each group in numeric order of the name's trailing number
    // ("ttyS2" before "ttyS10").
    static PortTable FromSystem(const SystemRoots& roots = {});

    // The device behind "COM n", empty when n is outside the table.
    std::string DevicePath(int port) const;
    std::string Description(int port) const;
    int Count() const { return static_cast<int>(entries_.size()); }
    std::vector<std::string> Devices() const;

    // The folders in which a device of this table appears or goes away (the dev folder, or the
    // folders of the listed paths): watching them is enough to notice a plug or an unplug.
    const std::vector<std::string>& Folders() const { return folders_; }

  private:
    std::vector<Entry> entries_;
    std::vector<std::string> folders_;
};

}  // namespace lcdprog::platform
