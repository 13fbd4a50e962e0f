#pragma once

// What the end-to-end tests share: the operator's desk (both windows driven by clicks) and the
// line bench: lcdprog-sim as a child process on a real pseudo-terminal, with the program's real
// serial control, event pump and clock (a missing reply costs 3000 ms).

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main_window/frm_Config_LCD.h"
#include "platform/clock.h"
#include "platform/posix_file_service.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_control.h"
#include "platform/services.h"
#include "serial_window/frm_RS232.h"
#include "support/fakes.h"

class QProgressBar;

namespace lcdprog::test {

using Eeprom = std::array<std::uint8_t, 65536>;
constexpr int kBlocks = 512;

inline const std::string kNoModule =
    "Comunicazione seriale interrotta.\r\nImpossibile trovare il modulo, verificare la "
    "connessione!";
inline const std::string kWriteFailed =
    "Comunicazione seriale interrotta.\r\nScrittura EEPROM I2C fallita!";
inline const std::string kResetFailed =
    "Comunicazione seriale interrotta.\r\nImpossibile resettare PIC!";

std::string Bin_Folder();  // LCDPROG_BIN as CTest sets it, or ../bin beside this test program

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

struct LinePacket {
    enum class Kind { Detect, Write, Reset, Other };
    Kind kind = Kind::Other;
    int block = -1;  // Write: address / 128
};
LinePacket Classify(const std::string& packet);

struct LineCount {
    int detects = 0;
    int resets = 0;
    int others = 0;
    std::vector<int> writes = std::vector<int>(kBlocks, 0);  // per block
};
LineCount Count(const std::vector<LinePacket>& packets);
// Blocks 0..last written once each, except `block` written `times` times.
std::vector<int> Writes(int last, int block = -1, int times = 1);

// How many leading blocks hold MemoryImage with every later byte blank; -1 for anything else.
int Blocks_Written(const Eeprom& eeprom);

double Wall_Now_Ms();
double Cpu_Now_Ms();  // this process's, user + system

// lcdprog-sim as a child process: device lines on its standard output, its --log in a file.
class SimProcess {
  public:
    SimProcess(const TempFolder& folder, std::vector<std::string> extraArgs);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    std::optional<std::string> Next_Device(int timeoutMs = 5000);
    const std::string& Link() const { return link_; }
    // Writes a frame the module logs and does not answer, and waits until it is logged: every
    // packet written before it has then been handled.
    bool Sync(platform::SerialControl& serial);
    int Stop();  // SIGTERM (the EEPROM is saved on the way out); the exit status or -1
    std::optional<int> Wait_Exit(int timeoutMs);
    std::string Log() const;
    std::vector<LinePacket> Packets() const;
    const std::string& Eeprom_File() const { return eepromFile_; }

  private:
    pid_t pid_ = -1;
    int pidFd_ = -1;
    int out_ = -1;
    std::string pendingOut_;
    std::string link_;
    std::string eepromFile_;
    std::string logFile_;
    int syncs_ = 0;
};

// What the operator sees after a run.
struct DeskReading {
    std::vector<std::string> messages;  // each checked to be an "ERROR RS232" critical box
    std::string sent;
    std::string received;
    std::string trace;  // each CR LF of the trace is one line break in the box
    int progress = -1;
    std::string status;  // the status line below the layout
};

// The main window started as main() starts it, the serial window opened from its menu.
class Desk {
  public:
    explicit Desk(platform::Services& services) : services_(services) {}
    ~Desk();
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    bool Open();  // both windows up, the combo listing "COM 1" alone
    // Right-clicks every picture box and answers the dialog with a picture of noise, so that
    // every block of the compiled image differs from its neighbours.
    bool Choose_Noise_Pictures(const TempFolder& folder, FakeFileDialog& dialog,
                               const FakeMessageBox& messages);
    void Click(const char* button) const;
    bool Enabled(const char* name) const;
    QProgressBar& Progress() const;
    DeskReading Read(const FakeMessageBox& messages) const;

  private:
    platform::Services& services_;
    std::unique_ptr<frm_Config_LCD> main_;
};

struct ModuleAfter {
    std::vector<LinePacket> packets;
    LineCount line;
    Eeprom eeprom{};  // all zero when the module saved none
};

struct LineBench {
    explicit LineBench(std::vector<std::string> simArgs);  // besides --link, --eeprom, --log
    bool Ready();  // the module's device line came and the desk is open
    // Lets the module handle all that was sent, stops it (after a hang-up: waits for it to end
    // by itself) and reads its log and saved EEPROM.
    ModuleAfter Finish(bool hungUp = false);

    TempFolder folder;
    SimProcess sim;
    platform::PosixFileService files{Bin_Folder()};
    FakeMessageBox messages;
    platform::SteadyClock clock;
    platform::QtEventPump pump;
    platform::QtSerialControl serial;
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services{files, messages, clock, pump, serial, dialog, program};
    Desk desk{services};
};

}  // namespace lcdprog::test
