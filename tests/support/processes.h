#pragma once

// Programs as the operator runs them, for the tests that need a real line or a real process:
// lcdprog-sim on a pseudo-terminal, lcdprog-cli, any program whose output is read line by line.
// Qt-free.

#include <sys/types.h>

#include <signal.h>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/memory_image.h"

namespace lcdprog::test {

std::string Bin_Folder();  // LCDPROG_BIN as CTest sets it, or ../bin beside this program
std::string Read_Whole_File(const std::string& path);
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

// A program as a child process leading a process group of its own: its standard output read
// line by line, its standard error in `errorFile` (inherited when empty), every signal at its
// default. Killed, with every process it started, if still running when this object goes.
class ChildProcess {
  public:
    ChildProcess(std::vector<std::string> argv, const std::string& errorFile = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    std::optional<std::string> Next_Line(int timeoutMs = 5000);  // nothing: time-out or the end
    // `signal` to the whole group, as Ctrl-C at a terminal reaches every process of its group;
    // then the exit status (128 + the signal that ended it), or -1.
    int Stop(int signal = SIGTERM);
    std::optional<int> Wait_Exit(int timeoutMs);

  private:
    pid_t pid_ = -1;
    int pidFd_ = -1;
    int out_ = -1;
    std::string pendingOut_;
};

// lcdprog-sim's options for a module that answers at once, on a line as fast as it goes (a
// test's time goes into what it checks, not into a module's page writes), then `args`.
std::vector<std::string> Unpaced(std::vector<std::string> args = {});

// lcdprog-sim as a child process: device lines on its standard output, its log in a file, its
// EEPROM saved in the folder when it starts, after every stored block and when it ends. Without
// `record` it neither logs nor saves (its errors still go to the log), so that no file write
// delays a reply: for timings.
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
    std::string Log() const { return Read_Whole_File(logFile_); }
    std::optional<MemoryImageBytes> Saved_Eeprom() const;

  private:
    std::string link_;
    std::string eepromFile_;
    std::string logFile_;
    ChildProcess process_;
};

}  // namespace lcdprog::test
