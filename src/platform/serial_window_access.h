#pragma once

// What the main window knows of the serial port window: app/ hands it over, so that neither
// window knows the other's code.

namespace lcdprog::platform {

class SerialWindowAccess {
  public:
    virtual ~SerialWindowAccess() = default;
    // "&Attiva/Disattiva seriale": shows the one serial port window without blocking, made
    // (and the ports probed) when there is none; an open one is only brought to the front.
    virtual void ShowWindow() = 0;
    // True from the first to the last step of a programming run: the run yields to the window
    // system from inside its waits, so a window that would end the program (and close the port
    // under the exchange) holds off until it ends.
    virtual bool RunInProgress() const = 0;
};

}  // namespace lcdprog::platform
