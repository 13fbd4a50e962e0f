#include "platform/qt/port_table.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace lcdprog::platform {
namespace {

struct SortKey {
    int group;           // 0 ttyUSB, 1 ttyACM, 2 everything else
    std::string prefix;  // the name without its trailing digits
    long number;         // the trailing digits, -1 when there are none
    std::string path;    // last resort, so that the order is total

    bool operator<(const SortKey& o) const {
        return std::tie(group, prefix, number, path) <
               std::tie(o.group, o.prefix, o.number, o.path);
    }
};

SortKey Key_Of(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') {
        --digits;
    }
    SortKey key;
    key.prefix = name.substr(0, digits);
    // At most 9 digits, so that the number always fits.
    key.number = digits < name.size() && name.size() - digits <= 9
                     ? std::strtol(name.c_str() + digits, nullptr, 10)
                     : -1;
    key.group = key.prefix == "ttyUSB" ? 0 : key.prefix == "ttyACM" ? 1 : 2;
    key.path = path;
    return key;
}

}  // namespace

PortTable PortTable::FromEnvironment() {
    const char* list = std::getenv("LCDPROG_PORTS");
    if (list != nullptr && *list != '\0') {
        return FromList(list);
    }
    std::vector<std::string> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        devices.push_back(info.systemLocation().toStdString());
    }
    return FromDevices(std::move(devices));
}

PortTable PortTable::FromList(const std::string& list) {
    std::vector<std::string> devices;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        if (end > start) {
            devices.push_back(list.substr(start, end - start));
        }
        start = end + 1;
    }
    return PortTable(std::move(devices));
}

PortTable PortTable::FromDevices(std::vector<std::string> devices) {
    std::vector<std::pair<SortKey, std::string>> keyed;
    for (auto& d : devices) {
        keyed.emplace_back(Key_Of(d), std::move(d));
    }
    std::sort(keyed.begin(), keyed.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    keyed.erase(std::unique(keyed.begin(), keyed.end(),
                            [](const auto& a, const auto& b) { return a.second == b.second; }),
                keyed.end());
    std::vector<std::string> sorted;
    for (auto& k : keyed) {
        sorted.push_back(std::move(k.second));
    }
    return PortTable(std::move(sorted));
}

std::string PortTable::DevicePath(int port) const {
    if (port < 1 || port > Count()) {
        return {};
    }
    return devices_[static_cast<std::size_t>(port - 1)];
}

}  // namespace lcdprog::platform
