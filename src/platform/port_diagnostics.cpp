#include "platform/port_diagnostics.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <fstream>

namespace lcdprog::platform {
namespace {

std::string Read_First_Line(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool Is_Usb_Adapter(const std::string& device) {
    return device.find("ttyUSB") != std::string::npos || device.find("ttyACM") != std::string::npos;
}

std::string Canonical(const std::string& path) {
    std::array<char, PATH_MAX> buf{};
    if (realpath(path.c_str(), buf.data()) == nullptr) {
        return path;
    }
    return buf.data();
}

// Every process whose open descriptors include the device; /proc shows only what this user may
// see, so an empty list does not prove the device is free.
void Find_Holders_And_Grabbers(const std::string& device, PortFacts& facts) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        return;
    }
    const std::string target = Canonical(device);
    while (const dirent* entry = readdir(proc)) {
        const std::string pid = entry->d_name;
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit)) {
            continue;
        }
        const std::string base = "/proc/" + pid;
        const std::string command = Read_First_Line(base + "/comm");
        if (command == "ModemManager" || command == "brltty") {
            if (std::find(facts.grabbers.begin(), facts.grabbers.end(), command) ==
                facts.grabbers.end()) {
                facts.grabbers.push_back(command);
            }
        }
        DIR* fds = opendir((base + "/fd").c_str());
        if (fds == nullptr) {
            continue;
        }
        while (const dirent* fd = readdir(fds)) {
            std::array<char, PATH_MAX> link{};
            const std::string fdPath = base + "/fd/" + fd->d_name;
            const ssize_t n = readlink(fdPath.c_str(), link.data(), link.size() - 1);
            if (n > 0 && std::string(link.data(), static_cast<std::size_t>(n)) == target) {
                facts.holders.push_back({std::atoi(pid.c_str()), command});
                break;
            }
        }
        closedir(fds);
    }
    closedir(proc);
}

}  // namespace

PortFacts Gather_Port_Facts(const std::string& device) {
    PortFacts facts;
    facts.device = device;
    if (device.empty()) {
        return facts;
    }
    struct stat st {};
    if (stat(device.c_str(), &st) != 0) {
        Find_Holders_And_Grabbers(device, facts);
        facts.holders.clear();
        return facts;
    }
    facts.exists = true;
    facts.isCharDevice = S_ISCHR(st.st_mode);
    facts.accessible = access(device.c_str(), R_OK | W_OK) == 0;

    const passwd* pw = getpwuid(geteuid());
    facts.userName = pw != nullptr ? pw->pw_name : std::to_string(geteuid());
    const group* gr = getgrgid(st.st_gid);
    facts.groupName = gr != nullptr ? gr->gr_name : std::to_string(st.st_gid);
    if (gr != nullptr && pw != nullptr) {
        facts.userInGroupDb = pw->pw_gid == gr->gr_gid;
        for (char** member = gr->gr_mem; *member != nullptr && !facts.userInGroupDb; ++member) {
            facts.userInGroupDb = facts.userName == *member;
        }
    }
    facts.processHasGroup = getegid() == st.st_gid;
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        if (getgroups(count, groups.data()) == count) {
            facts.processHasGroup = facts.processHasGroup || std::find(groups.begin(), groups.end(),
                                                                       st.st_gid) != groups.end();
        }
    }
    Find_Holders_And_Grabbers(device, facts);
    return facts;
}

std::string Explain_Port_Failure(const PortFacts& f) {
    std::string text;
    if (f.device.empty()) {
        text = "La porta scelta non corrisponde a nessun dispositivo seriale di questo sistema.";
    } else if (!f.exists) {
        text = "Il dispositivo " + f.device +
               " non esiste: l'adattatore è scollegato o il modulo virtuale non è in esecuzione.";
    } else if (!f.isCharDevice) {
        text = f.device + " non è un dispositivo seriale.";
    } else if (!f.accessible) {
        text = "Permesso negato su " + f.device + ": il dispositivo appartiene al gruppo \"" +
               f.groupName + "\"";
        if (f.userInGroupDb && !f.processHasGroup) {
            text += " e l'utente \"" + f.userName +
                    "\" ne fa parte, ma la sessione è stata aperta prima: uscire e rientrare "
                    "nella sessione.";
        } else {
            text += " e l'utente \"" + f.userName + "\" non ne fa parte. Eseguire: sudo adduser " +
                    f.userName + " " + f.groupName + ", poi uscire e rientrare nella sessione.";
        }
    } else if (!f.holders.empty()) {
        text = "La porta " + f.device + " è occupata da";
        for (std::size_t i = 0; i < f.holders.size(); ++i) {
            text += (i == 0 ? " " : ", ") + f.holders[i].command + " (PID " +
                    std::to_string(f.holders[i].pid) + ")";
        }
        text += ": chiudere quel programma e riprovare.";
    } else {
        text = "La porta " + f.device +
               " è occupata da un altro programma o non risponde: chiuderlo e riprovare.";
    }
    if (Is_Usb_Adapter(f.device)) {
        for (const auto& g : f.grabbers) {
            text += "\r\nNota: " + g +
                    " è in esecuzione e può impadronirsi degli adattatori USB-seriale; "
                    "se la porta resta occupata, disattivarlo (sudo systemctl stop " +
                    (g == "ModemManager" ? std::string("ModemManager") : std::string("brltty")) +
                    ").";
        }
    }
    return text;
}

}  // namespace lcdprog::platform
