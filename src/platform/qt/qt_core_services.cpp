#include "platform/qt/qt_core_services.h"

#include "link/mod_RS232.h"

namespace lcdprog::platform {

QtCoreServices::QtCoreServices(std::string programFolder) : files(std::move(programFolder)) {
    serial.SetCommHandler([this] { RS232_Interface_OnComm(serial); });
}

QtCoreServices::QtCoreServices(std::string programFolder, PortTable ports)
    : files(std::move(programFolder)), serial(std::move(ports)) {
    serial.SetCommHandler([this] { RS232_Interface_OnComm(serial); });
}

}  // namespace lcdprog::platform
