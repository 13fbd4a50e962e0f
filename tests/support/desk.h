#pragma once

// What the end-to-end tests and the whole-run benchmark share: lcdprog-sim as a child process on
// a real pseudo-terminal, and the operator's desk, both windows wired as the programmer wires
// them (QtServices) and driven by clicks. Only the message box, the file dialog and ending the
// program are recorded fakes, so that nothing waits for an OK.

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main_window/frm_Config_LCD.h"
#include "platform/qt/qt_services.h"
#include "serial_window/frm_RS232.h"
#include "support/fakes.h"

class QProgressBar;

namespace lcdprog::test {

using Eeprom = std::array<std::uint8_t, 65536>;

std::string Bin_Folder();  // LCDPROG_BIN as CTest sets it, or ../bin beside this program
double Wall_Now_Ms();
double Cpu_Now_Ms();  // this process's, user + system

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A program as a child process: its standard output read line by line, its standard error in
// `errorFile` (inherited when empty), every signal at its default. Killed if still running when
// this object goes.
class ChildProcess {
  public:
    ChildProcess(std::vector<std::string> argv, const std::string& errorFile = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    std::optional<std::string> Next_Line(int timeoutMs = 5000);  // nothing: time-out or the end
    int Stop();                                                  // SIGTERM; the exit status or -1
    std::optional<int> Wait_Exit(int timeoutMs);

  private:
    pid_t pid_ = -1;
    int pidFd_ = -1;
    int out_ = -1;
    std::string pendingOut_;
};

// lcdprog-sim as a child process: device lines on its standard output, its log in a file, its
// EEPROM saved in the folder after every stored block and when it ends. Without `record` it
// neither logs nor saves (its errors still go to the log), so that no file write delays a
// reply: for timings.
class SimProcess {
  public:
    SimProcess(const TempFolder& folder, std::vector<std::string> extraArgs,
               const std::string& name = "lcd", bool record = true);

    // The next device line: the module is (again) behind Link().
    std::optional<std::string> Next_Device(int timeoutMs = 5000) {
        return process_.Next_Line(timeoutMs);
    }
    const std::string& Link() const { return link_; }
    int Stop() { return process_.Stop(); }  // the EEPROM is saved on the way out
    std::optional<int> Wait_Exit(int timeoutMs) { return process_.Wait_Exit(timeoutMs); }
    std::string Log() const;
    std::optional<Eeprom> Saved_Eeprom() const;

  private:
    std::string link_;
    std::string eepromFile_;
    std::string logFile_;
    ChildProcess process_;
};

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
    // qt.serial: a decorator around it that watches the traffic.
    using SerialTap = std::function<platform::SerialControl&(platform::SerialControl&)>;
    explicit Desk(std::vector<std::string> ports,  // "COM n" is ports[n - 1]
                  const SerialTap& tap = {});
    ~Desk();
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    // The main window started as the programmer starts it, the serial window opened from its
    // menu and listing every port.
    bool Open();
    // Right-clicks every picture box and answers the dialog with a picture of noise, so that
    // every block of the compiled image differs from its neighbours.
    bool Choose_Noise_Pictures(const TempFolder& folder);
    void Choose_Port(int com) const;  // picks "COM n" in the port box, as the operator does
    void Click(const char* button) const;
    bool Enabled(const char* name) const;
    QProgressBar& Progress() const;
    DeskReading Read() const;

    FakeMessageBox messages;
    FakeFileDialog dialog;
    FakeProgram program;
    platform::QtServices qt;
    platform::Services services;

  private:
    int ports_;
    std::unique_ptr<frm_Config_LCD> main_;
};

}  // namespace lcdprog::test
