#pragma once

#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/file_dialog.h"
#include "platform/file_service.h"
#include "platform/message_box.h"
#include "platform/program.h"
#include "platform/serial_control.h"

namespace lcdprog::platform {

// Everything the windows reach the outside through. main() passes the Qt implementations,
// tests pass fakes. The serial control outlives both windows: it is the main window's by
// name, but the serial window keeps using it after the main window has closed.
struct Services {
    FileService& files;
    MessageBox& messages;
    Clock& clock;
    EventPump& pump;
    SerialControl& serial;
    FileDialog& dialog;
    ProgramControl& program;
};

}  // namespace lcdprog::platform
