#pragma once

// lcdprog-cli and lcdprog-sim as the operator runs them: real processes, the module on a real
// pseudo-terminal, standard output read line by line as it comes.

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lcdprog::test {

using Image = std::array<std::uint8_t, 65536>;

std::string Bin_Folder();  // LCDPROG_BIN as CTest sets it, or ../bin beside the test program
std::string Read_File(const std::string& path);
void Write_File(const std::string& path, const std::string& bytes);

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A program with its standard output on a pipe and its standard error in a file. With
// `ownGroup` it leads a process group of its own, so that a signal can reach it and every
// child it starts, as Ctrl-C at a terminal does.
class Process {
  public:
    Process(std::vector<std::string> args, std::string errFile, bool ownGroup = false);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // The next line of standard output (without '\n'), or nothing at its end or after
    // `timeoutMs` without one.
    std::optional<std::string> Line(int timeoutMs = 20000);
    void Signal(int signal, bool group = false) const;
    int Wait();  // the exit status, or 128 + the signal that ended it
    std::string Err() const { return Read_File(errFile_); }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
    std::string errFile_;
    int status_ = -1;
};

// lcdprog-sim --link --eeprom --log, with extra arguments such as a --fault.
class Sim {
  public:
    Sim(const TempDir& dir, const std::string& name, std::vector<std::string> extra = {});
    ~Sim();
    std::string Link() const { return link_; }
    Image Stop_And_Read_Eeprom();  // SIGTERM (it saves on the way out), then its EEPROM
    Image Eeprom() const;          // as last saved (after every stored write)
    std::string Log() const { return process_.Err(); }

  private:
    std::string link_;
    std::string eeprom_;
    Process process_;
};

struct CliResult {
    int status = -1;
    std::vector<std::string> out;
    std::string err;
};
CliResult Run_Cli(const TempDir& dir, std::vector<std::string> args);

}  // namespace lcdprog::test
