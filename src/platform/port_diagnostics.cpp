#include "platform/port_diagnostics.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <fstream>

namespace lcdprog::platform {

std::string Read_First_Line(const std::string& path, std::string_view dropAtEnd) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    line.erase(line.find_last_not_of(dropAtEnd) + 1);
    return line;
}

std::string Canonical(const std::string& path, const std::string& otherwise) {
    std::array<char, PATH_MAX> buf{};
    return realpath(path.c_str(), buf.data()) != nullptr ? std::string(buf.data()) : otherwise;
}

namespace {

bool Is_Usb_Adapter(const std::string& device) {
    return device.find("ttyUSB") != std::string::npos || device.find("ttyACM") != std::string::npos;
}

// Every process whose open descriptors include the device; /proc shows only what this user may
// see, so an empty list does not prove the device is free.
void Find_Holders_And_Grabbers(const std::string& device, PortFacts& facts) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        return;
    }
    const std::string target = Canonical(device, device);
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

std::string Group_Name(gid_t gid) {
    const group* gr = getgrgid(gid);
    return gr != nullptr ? gr->gr_name : std::to_string(gid);
}

// "crw-rw----", as ls shows it.
std::string Mode_Text(const PortFacts& f) {
    std::string text = f.isCharDevice ? "c" : "-";
    const char* letters = "rwxrwxrwx";
    for (int bit = 8; bit >= 0; --bit) {
        text += (f.mode >> bit) & 1u ? letters[8 - bit] : '-';
    }
    return text;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

const std::string kRelogin = ", poi uscire e rientrare nella sessione.";

// Neither this user nor a group it could join may use the device: the udev rule that hands a
// kernel device to dialout, and dialout to the user when needed.
std::string Udev_Advice(const PortFacts& f) {
    const std::string text = "Per darlo al gruppo dialout, scrivere la riga\r\nKERNEL==\"" +
                             f.kernelName + "\", GROUP=\"dialout\", MODE=\"0660\"\r\n" +
                             "in un file /etc/udev/rules.d/60-lcdprog.rules ed eseguire sudo " +
                             "udevadm trigger";
    if (!Contains(f.userGroups, "dialout")) {
        return text + "; inoltre eseguire sudo adduser " + f.userName + " dialout" + kRelogin;
    }
    if (!Contains(f.sessionGroups, "dialout")) {
        return text + kRelogin;
    }
    return text + ".";
}

std::string Explain_Denied(const PortFacts& f) {
    std::string text = "Permesso negato su " + f.device + " (" + Mode_Text(f) + " " + f.ownerName +
                       " " + f.groupName + "): ";
    // The owner's bits decide for the owner, whatever the group's say.
    if (f.ownerName == f.userName) {
        return text + "il dispositivo è dell'utente \"" + f.userName +
               "\" ma non gli permette di leggere e scrivere. Eseguire: chmod u+rw " + f.device +
               ".";
    }
    const bool groupMayUse = (f.mode & 060u) == 060u && f.groupId != 0 && f.groupName != "root";
    if (groupMayUse) {
        text += "il dispositivo appartiene al gruppo \"" + f.groupName + "\"";
        if (!Contains(f.userGroups, f.groupName)) {
            return text + " e l'utente \"" + f.userName + "\" non ne fa parte. Eseguire: sudo " +
                   "adduser " + f.userName + " " + f.groupName + kRelogin;
        }
        if (!Contains(f.sessionGroups, f.groupName)) {
            return text + " e l'utente \"" + f.userName +
                   "\" ne fa parte, ma la sessione è stata aperta prima: uscire e rientrare "
                   "nella sessione.";
        }
        return text +
               " e la sessione ne fa parte, ma il sistema nega comunque l'accesso "
               "(ACL o regole di sicurezza): rivolgersi all'amministratore.";
    }
    text += f.ownerId == 0 ? std::string("solo root può usarlo. ")
                           : "solo l'utente \"" + f.ownerName + "\" può usarlo. ";
    if (f.kernelName.empty()) {
        // A pseudo-terminal: no rule applies, the program that made it decides who may use it.
        return text + "Avviare come utente \"" + f.userName +
               "\" il programma che lo crea (per esempio il modulo virtuale).";
    }
    return text + Udev_Advice(f);
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
    if (facts.isCharDevice) {
        // Every terminal the kernel lists in sysfs belongs to the tty class; a character device
        // of another class (memory, sound, input) is no serial port, whoever holds it open.
        const std::string sysfs = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                                  std::to_string(minor(st.st_rdev)) + "/subsystem";
        const std::string subsystem = Canonical(sysfs);
        facts.isTerminal = subsystem.empty() || subsystem.ends_with("/tty");
    }
    facts.accessible = access(device.c_str(), R_OK | W_OK) == 0;
    facts.mode = st.st_mode & 0777u;
    facts.ownerId = st.st_uid;
    facts.groupId = st.st_gid;
    const std::string canonical = Canonical(device, device);
    if (canonical.rfind("/dev/", 0) == 0 && canonical.rfind("/dev/pts/", 0) != 0) {
        facts.kernelName = canonical.substr(canonical.find_last_of('/') + 1);
    }
    const passwd* owner = getpwuid(st.st_uid);
    facts.ownerName = owner != nullptr ? owner->pw_name : std::to_string(st.st_uid);
    facts.groupName = Group_Name(st.st_gid);

    const passwd* pw = getpwuid(geteuid());
    facts.userName = pw != nullptr ? pw->pw_name : std::to_string(geteuid());
    if (pw != nullptr) {
        int count = 0;
        getgrouplist(pw->pw_name, pw->pw_gid, nullptr, &count);
        std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 1)));
        if (getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) >= 0) {
            for (int i = 0; i < count; ++i) {
                facts.userGroups.push_back(Group_Name(groups[static_cast<std::size_t>(i)]));
            }
        }
    }
    facts.sessionGroups.push_back(Group_Name(getegid()));
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        if (getgroups(count, groups.data()) == count) {
            for (const gid_t g : groups) {
                facts.sessionGroups.push_back(Group_Name(g));
            }
        }
    }
    if (facts.isTerminal) {
        Find_Holders_And_Grabbers(device, facts);
    }
    return facts;
}

std::string Explain_Port_Failure(const PortFacts& f) {
    std::string text;
    if (f.device.empty()) {
        text = "La porta scelta non corrisponde a nessun dispositivo seriale di questo sistema.";
    } else if (!f.exists) {
        text = "Il dispositivo " + f.device +
               " non esiste: l'adattatore è scollegato o il modulo virtuale non è in esecuzione.";
    } else if (!f.isCharDevice || !f.isTerminal) {
        text = f.device + " non è un dispositivo seriale.";
    } else if (!f.accessible) {
        text = Explain_Denied(f);
    } else if (!f.holders.empty()) {
        // A handful names the culprit; a longer list would bury the advice.
        constexpr std::size_t kNamed = 5;
        text = "La porta " + f.device + " è occupata da";
        for (std::size_t i = 0; i < f.holders.size() && i < kNamed; ++i) {
            text += (i == 0 ? " " : ", ") + f.holders[i].command + " (PID " +
                    std::to_string(f.holders[i].pid) + ")";
        }
        if (f.holders.size() > kNamed) {
            text += " e altri " + std::to_string(f.holders.size() - kNamed);
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
