#pragma once

#include <string>
#include <vector>

namespace lcdprog::platform {

// "COM n" is entry n (from 1) of this table of device paths.
class PortTable {
  public:
    PortTable() = default;
    explicit PortTable(std::vector<std::string> devices) : devices_(std::move(devices)) {}

    // LCDPROG_PORTS when it is set and not empty, otherwise the system's serial devices.
    static PortTable FromEnvironment();
    // "/dev/pts/3:/tmp/ttyLCD" -> {"/dev/pts/3", "/tmp/ttyLCD"}; empty pieces are dropped.
    static PortTable FromList(const std::string& list);
    // USB adapters (ttyUSB*, then ttyACM*) first, then every other device, each group in
    // numeric order of the name's trailing number ("ttyS2" before "ttyS10").
    static PortTable FromDevices(std::vector<std::string> devices);

    // The device behind "COM n", empty when n is outside the table.
    std::string DevicePath(int port) const;
    int Count() const { return static_cast<int>(devices_.size()); }
    const std::vector<std::string>& Devices() const { return devices_; }

  private:
    std::vector<std::string> devices_;
};

}  // namespace lcdprog::platform
