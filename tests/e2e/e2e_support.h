#pragma once

// What the end-to-end tests share: the virtual module as a child process on a real
// pseudo-terminal, the program folder with the white backgrounds, the operator's desk (both
// windows driven by clicks, as a person would) and the readings taken afterwards: the packets
// the module received, and its EEPROM.

#include <sys/types.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main_window/frm_Config_LCD.h"
#include "platform/posix_file_service.h"
#include "platform/services.h"
#include "serial_window/frm_RS232.h"
#include "support/fakes.h"

class QProgressBar;

namespace lcdprog::test {

using Eeprom = std::array<std::uint8_t, 65536>;
constexpr int kBlocks = 512;

// The build's bin/ folder: LCDPROG_BIN as CTest sets it, or ../bin beside this test program.
std::string Bin_Folder();

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// One packet as the module received it.
struct LinePacket {
    enum class Kind { Detect, Write, Reset, Other };
    Kind kind = Kind::Other;
    int block = -1;  // Write: address / 128
};

// The packets on the line, counted.
struct LineCount {
    int detects = 0;
    int resets = 0;
    int others = 0;
    std::vector<int> writes = std::vector<int>(kBlocks, 0);  // per block
    int Total_Writes() const;
};
LineCount Count(const std::vector<LinePacket>& packets);
// What a request packet is, by its bytes.
LinePacket Classify(const std::string& packet);

// How many leading blocks of `eeprom` hold MemoryImage, when every later byte is blank (0xFF);
// -1 when the content is anything else (a block in the wrong place, a partial block, ...).
int Blocks_Written(const Eeprom& eeprom);

// lcdprog-sim as a child process. Its device lines are read from its standard output, its
// --log from standard error (kept in a file); it is always stopped in the destructor.
class SimProcess {
  public:
    // `folder` holds the link, the EEPROM file and the log.
    SimProcess(const TempFolder& folder, std::vector<std::string> extraArgs);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The device line, or nothing after `timeoutMs`.
    std::optional<std::string> Next_Device(int timeoutMs = 5000);
    const std::string& Link() const { return link_; }

    // Writes a frame that the module takes in and does not answer (unknown command 0x55)
    // through `serial`, and waits until the module has logged it: every packet written
    // before it has then been handled. False when the port is closed or the module did not
    // log it within `timeoutMs`.
    bool Sync(platform::SerialControl& serial, int timeoutMs = 3000);

    // SIGTERM, then waits for the exit (the EEPROM is saved on the way out). The exit status,
    // or -1 when it had to be killed.
    int Stop(int timeoutMs = 5000);
    // Waits for an exit the module chose itself (a hang-up without --reopen-after).
    std::optional<int> Wait_Exit(int timeoutMs);

    std::string Log() const;
    // Every request the module received, in order, from its log.
    std::vector<LinePacket> Packets() const;
    // The saved EEPROM (after Stop), or nothing when the file is missing or not 64 KiB.
    std::optional<Eeprom> Saved_Eeprom() const;

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

// Milliseconds of wall time and of this process's CPU time (user + system).
struct Elapsed {
    double wallMs = 0;
    double cpuMs = 0;
};
class Stopwatch {
  public:
    Stopwatch();
    Elapsed Read() const;

  private:
    std::chrono::steady_clock::time_point wall_;
    double cpu_;
};

// `count` bitmap files of a panel's size with pseudo-random pixels (a different seed each),
// so that every block of the compiled image is told apart from its neighbours.
std::vector<std::string> Make_Noise_Pictures(const TempFolder& folder, const std::string& prefix,
                                             int width, int height, int count, unsigned seed);

// The operator's side: the main window started as main() starts it, and the serial port window
// opened from its menu. Buttons are pressed with mouse clicks.
class Desk {
  public:
    explicit Desk(platform::Services& services);
    ~Desk();
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    // Start-up of the main window, then "&Comunicazione" -> "&Attiva/Disattiva seriale".
    // False (with a test failure) when either window did not come up.
    bool Open();

    // Right-clicks every picture box in turn and answers the file dialog with a picture of
    // noise; false when any was refused.
    bool Choose_Noise_Pictures(const TempFolder& folder, FakeFileDialog& dialog,
                               const FakeMessageBox& messages);

    frm_RS232& Serial() const;
    frm_Config_LCD& Main() const { return *main_; }

    void Click(const char* button) const;
    bool Enabled(const char* name) const;
    std::string Text(const char* lineEdit) const;
    // The trace as the box shows it (each CR LF of the trace is one line break there).
    std::string Trace() const;
    QProgressBar& Progress() const;
    // The combo's entries, each "COM n".
    std::vector<std::string> Ports() const;

  private:
    platform::Services& services_;
    std::unique_ptr<frm_Config_LCD> main_;
};

// The texts the operator reads in the link's message boxes.
inline const std::string kNoModule =
    "Comunicazione seriale interrotta.\r\nImpossibile trovare il modulo, verificare la "
    "connessione!";
inline const std::string kWriteFailed =
    "Comunicazione seriale interrotta.\r\nScrittura EEPROM I2C fallita!";
inline const std::string kResetFailed =
    "Comunicazione seriale interrotta.\r\nImpossibile resettare PIC!";

// The texts of the messages shown, in order; every one must be an "ERROR RS232" box with the
// critical icon.
std::vector<std::string> Link_Messages(const FakeMessageBox& messages);

}  // namespace lcdprog::test
