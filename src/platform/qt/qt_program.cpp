#include "platform/qt/qt_program.h"

#include <cstdio>
#include <cstdlib>

namespace lcdprog::platform {

// The program is ended from inside a window's start-up, with the QApplication and the window
// still alive on main()'s stack. Leaving the event loop would let main() go on and show the
// window; std::exit would run static destructors under live Qt objects. So the output streams
// are flushed and the process ends without unwinding anything: nothing else runs, and the
// kernel closes the files and the serial port. Status 1: the program could not start.
void QtProgram::EndNow() {
    std::fflush(nullptr);
    std::_Exit(1);
}

}  // namespace lcdprog::platform
