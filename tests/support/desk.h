#pragma once

// What the end-to-end tests and the whole-run benchmark share: the operator's desk, both windows
// wired as the programmer wires them (QtServices) and driven by clicks. Only the message box, the
// file dialog and ending the program are recorded fakes, so that nothing waits for an OK.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "main_window/frm_Config_LCD.h"
#include "platform/qt/qt_services.h"
#include "serial_window/frm_RS232.h"
#include "support/fakes.h"
#include "support/processes.h"

namespace lcdprog::test {

// What the operator sees in the serial window.
struct DeskReading {
    std::vector<std::string> messages;  // each checked to be an "ERROR RS232" critical box
    std::string sent;
    std::string received;
    std::string trace;  // each CR LF of the trace is one line break in the box
    int progress = -1;
};

class Desk {
  public:
    // `tap`, when given, returns the serial control the windows talk through in place of
    // qt.serial: a decorator around it that watches the traffic, and attaches the link's receive
    // handler (for `state`) to qt.serial itself.
    using SerialTap =
        std::function<platform::SerialControl&(platform::SerialControl&, ProgramState& state)>;
    explicit Desk(std::vector<std::string> ports,  // "COM n" is ports[n - 1]
                  const SerialTap& tap = {});
    ~Desk();
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    // The main window started as the programmer starts it, the serial window opened from its
    // menu and listing every port.
    bool Open();
    // Noise pictures in every slot (Fill_Slots_With_Noise), as files in `folder`.
    bool Choose_Noise_Pictures(const TempFolder& folder);
    void Click(const char* button) const;
    bool Enabled(const char* name) const;
    DeskReading Read() const;
    // The serial port window, once Open() has opened it.
    frm_RS232* Serial_Window() const { return serialWindow_.Window(); }

    FakeMessageBox messages;
    FakeFileDialog dialog;
    FakeProgram program;
    platform::QtServices qt;
    ProgramState state;
    platform::Services services;

  private:
    int ports_;
    SerialWindowHolder serialWindow_{services, state};
    std::unique_ptr<frm_Config_LCD> main_;
};

}  // namespace lcdprog::test
