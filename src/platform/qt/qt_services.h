#pragma once

#include "platform/qt/qt_core_services.h"
#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_program.h"
#include "platform/services.h"

namespace lcdprog::platform {

// Every service the windows reach the outside through, as the programmer wires them. The bench,
// the screenshot tool and the end-to-end tests build the very same set; a test or a tool that
// must not stop at a modal box replaces the message box, the file dialog or the program control
// through With().
struct QtServices : QtCoreServices {
    using QtCoreServices::QtCoreServices;

    Services All() { return With(messages, dialog, program); }
    Services With(MessageBox& messageBox, FileDialog& fileDialog, ProgramControl& programControl) {
        return Services{files, messageBox, clock, pump, serial, fileDialog, programControl};
    }

    QtMessageBox messages;
    QtFileDialog dialog;
    QtProgram program;
};

}  // namespace lcdprog::platform
