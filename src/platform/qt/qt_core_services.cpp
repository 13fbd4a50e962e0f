#include "platform/qt/qt_core_services.h"

namespace lcdprog::platform {

QtCoreServices::QtCoreServices(std::string programFolder) : files(std::move(programFolder)) {}

QtCoreServices::QtCoreServices(std::string programFolder, PortTable ports)
    : files(std::move(programFolder)), serial(std::move(ports)) {}

}  // namespace lcdprog::platform
