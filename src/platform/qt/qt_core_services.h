#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/posix_file_service.h"
#include "platform/qt/port_table.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_control.h"

namespace lcdprog::platform {

// The services a programming run needs and that need no window: picture files, the clock, the
// event pump and the one serial control. Built once, by every program that runs the link, which
// then attaches the link's receive handler to the serial control.
struct QtCoreServices {
    // `programFolder`: where the white backgrounds are looked for ("": beside the executable).
    // The port table is LCDPROG_PORTS or the system's ...
    explicit QtCoreServices(std::string programFolder = {});
    // ... or the one given ("COM n" is entry n).
    QtCoreServices(std::string programFolder, PortTable ports);
    QtCoreServices(const QtCoreServices&) = delete;
    QtCoreServices& operator=(const QtCoreServices&) = delete;

    PosixFileService files;
    SteadyClock clock;
    QtEventPump pump;
    QtSerialControl serial;
};

}  // namespace lcdprog::platform
