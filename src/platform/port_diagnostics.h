#pragma once

#include <string>
#include <vector>

namespace lcdprog::platform {

// What the system says about a serial device that could not be opened.
struct PortFacts {
    std::string device;   // absolute path, empty when "COM n" is outside the port table
    bool exists = false;  // stat() found it
    bool isCharDevice = false;
    bool accessible = false;       // read and write allowed to this process
    std::string groupName;         // group that owns the device
    std::string userName;          // the user this program runs as
    bool userInGroupDb = false;    // the group database lists the user in that group
    bool processHasGroup = false;  // this session already carries the group
    struct Holder {
        int pid = 0;
        std::string command;
    };
    std::vector<Holder> holders;        // other processes that have the device open
    std::vector<std::string> grabbers;  // ModemManager, brltty: known to grab USB serial adapters
};

// Looks the device up in the file system, the user and group databases and /proc.
PortFacts Gather_Port_Facts(const std::string& device);

// One message, in Italian, that tells the operator what to do about the port.
std::string Explain_Port_Failure(const PortFacts& facts);

}  // namespace lcdprog::platform
