#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lcdprog::platform {

// The first line of the file, without the characters of `dropAtEnd` at its end; empty when the
// file cannot be read.
std::string Read_First_Line(const std::string& path, std::string_view dropAtEnd = {});
// Where the path leads, every link followed; `otherwise` when it leads nowhere.
std::string Canonical(const std::string& path, const std::string& otherwise = {});

// What the system says about a serial device that could not be opened.
struct PortFacts {
    std::string device;   // absolute path, empty when "COM n" is outside the port table
    bool exists = false;  // stat() found it
    bool isCharDevice = false;
    bool isTerminal = true;   // false when the system files it under another class (/dev/null)
    bool accessible = false;  // read and write allowed to this process
    std::string kernelName;   // the device's own name in /dev ("ttyS0"), links followed
    unsigned mode = 0;        // permission bits
    unsigned ownerId = 0;
    std::string ownerName;
    unsigned groupId = 0;
    std::string groupName;
    std::string userName;                    // the user this program runs as
    std::vector<std::string> userGroups;     // the groups the group database gives the user
    std::vector<std::string> sessionGroups;  // the groups this process already carries
    struct Holder {
        int pid = 0;
        std::string command;
    };
    std::vector<Holder> holders;        // other processes that have the device open
    std::vector<std::string> grabbers;  // ModemManager, brltty: known to grab USB serial adapters
};

// Looks the device up in the file system, the user and group databases and /proc.
PortFacts Gather_Port_Facts(const std::string& device);

// One message, in Italian, that tells the operator what to do about the port. Membership of a
// group is suggested only when that group may read and write the device, and never of root: a
// device only root may use gets the udev rule that would give it to dialout.
std::string Explain_Port_Failure(const PortFacts& facts);

}  // namespace lcdprog::platform
