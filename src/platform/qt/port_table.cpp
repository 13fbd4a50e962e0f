#include "platform/qt/port_table.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "platform/port_diagnostics.h"

namespace lcdprog::platform {
namespace {

struct SortKey {
    bool closed;         // this user may not read and write it
    int group;           // 0 ttyUSB, 1 ttyACM, 2 everything else
    std::string prefix;  // the name without its trailing digits
    long number;         // the trailing digits, -1 when there are none
    std::string path;    // last resort, so that the order is total

    bool operator<(const SortKey& o) const {
        return std::tie(closed, group, prefix, number, path) <
               std::tie(o.closed, o.group, o.prefix, o.number, o.path);
    }
};

SortKey Key_Of(const std::string& path, bool accessible) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') {
        --digits;
    }
    SortKey key;
    key.closed = !accessible;
    key.prefix = name.substr(0, digits);
    // At most 9 digits, so that the number always fits.
    key.number = digits < name.size() && name.size() - digits <= 9
                     ? std::strtol(name.c_str() + digits, nullptr, 10)
                     : -1;
    key.group = key.prefix == "ttyUSB" ? 0 : key.prefix == "ttyACM" ? 1 : 2;
    key.path = path;
    return key;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::string Parent(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".")
           : slash == 0               ? std::string("/")
                                      : path.substr(0, slash);
}

std::vector<std::string> Names_In(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Maker, product and serial number of the USB device the tty belongs to: the nearest folder
// above the tty's sysfs device that describes a USB device (it has idVendor).
std::string Usb_Line(const std::string& ttyFolder) {
    std::string folder = Canonical(ttyFolder + "/device");
    for (int up = 0; up < 6 && folder.size() > 1; ++up, folder = Parent(folder)) {
        if (!Exists(folder + "/idVendor")) {
            continue;
        }
        std::string line;
        for (const char* field : {"manufacturer", "product"}) {
            const std::string value = Read_First_Line(folder + "/" + field, " \r");
            if (!value.empty()) {
                line += (line.empty() ? "" : " ") + value;
            }
        }
        const std::string serial = Read_First_Line(folder + "/serial", " \r");
        if (!serial.empty()) {
            line += (line.empty() ? "" : ", ") + std::string("numero di serie ") + serial;
        }
        return line;
    }
    return {};
}

void Add_Unique(std::vector<std::string>& list, const std::string& item) {
    if (!item.empty() && std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}

}  // namespace

std::string By_Id_Name(const std::string& device, const std::string& byId) {
    const std::string target = Canonical(device);
    for (const std::string& name : Names_In(byId)) {
        const std::string link = byId + "/" + name;
        if (!target.empty() && Canonical(link) == target) {
            return link;
        }
    }
    return {};
}

PortTable::PortTable(const std::vector<std::string>& devices) {
    for (const std::string& d : devices) {
        entries_.push_back({d, d});
        Add_Unique(folders_, Parent(d));
    }
}

PortTable PortTable::FromEnvironment(const SystemRoots& roots) {
    const char* list = std::getenv("LCDPROG_PORTS");
    if (list != nullptr && *list != '\0') {
        return FromList(list);
    }
    return FromSystem(roots);
}

PortTable PortTable::FromList(const std::string& list) {
    PortTable table;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        if (end > start) {
            const std::string device = list.substr(start, end - start);
            // A link (the virtual module's, or a by-id name) shows where it leads now; the
            // target's folder is watched too, so that a pty that goes away behind a link that
            // stays is noticed.
            const std::string target = Canonical(device);
            const bool link = !target.empty() && target != device;
            table.entries_.push_back({device, link ? device + "\n-> " + target : device});
            Add_Unique(table.folders_, Parent(device));
            if (link) {
                Add_Unique(table.folders_, Parent(target));
            }
        }
        start = end + 1;
    }
    return table;
}

PortTable PortTable::FromSystem(const SystemRoots& roots) {
    std::vector<std::pair<SortKey, Entry>> found;
    for (const std::string& name : Names_In(roots.sysClassTty)) {
        const std::string folder = roots.sysClassTty + "/" + name;
        // Virtual consoles, the console and pty masters have no device behind them.
        if (!Exists(folder + "/device")) {
            continue;
        }
        // An 8250 port without its UART still has an entry; its type reads 0 (unknown).
        if (Read_First_Line(folder + "/type", " \r") == "0") {
            continue;
        }
        const std::string device = roots.dev + "/" + name;
        if (!Exists(device)) {
            continue;
        }
        const bool accessible = access(device.c_str(), R_OK | W_OK) == 0;
        std::string description = device;
        const std::string byId = By_Id_Name(device, roots.byId);
        if (!byId.empty()) {
            description += "\n" + byId;
        }
        const std::string usb = Usb_Line(folder);
        if (!usb.empty()) {
            description += "\n" + usb;
        }
        found.push_back({Key_Of(device, accessible), {device, description}});
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    PortTable table;
    for (auto& f : found) {
        table.entries_.push_back(std::move(f.second));
    }
    table.folders_ = {roots.dev};
    return table;
}

std::string PortTable::DevicePath(int port) const {
    return port < 1 || port > Count() ? std::string()
                                      : entries_[static_cast<std::size_t>(port - 1)].device;
}

std::string PortTable::Description(int port) const {
    return port < 1 || port > Count() ? std::string()
                                      : entries_[static_cast<std::size_t>(port - 1)].description;
}

std::vector<std::string> PortTable::Devices() const {
    std::vector<std::string> devices;
    for (const Entry& e : entries_) {
        devices.push_back(e.device);
    }
    return devices;
}

}  // namespace lcdprog::platform
