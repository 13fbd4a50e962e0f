#include "support/processes.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

extern char** environ;

namespace lcdprog::test {

namespace fs = std::filesystem;

double Wall_Now_Ms() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double Cpu_Now_Ms() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

std::string Read_Whole_File(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

// The serial port library keeps a lock file named after the port's last path component, so
// links of tests running side by side must differ.
std::string Unique_Name(const char* stem) {
    static std::atomic<int> next{0};
    return std::string(stem) + "-" + std::to_string(getpid()) + "-" + std::to_string(next++);
}

}  // namespace

std::string Bin_Folder() {
    if (const char* bin = std::getenv("LCDPROG_BIN"); bin != nullptr && *bin != '\0') {
        return bin;
    }
    std::error_code ec;
    return (fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "bin").string();
}

TempFolder::TempFolder()
    : path_((fs::temp_directory_path() / Unique_Name("lcdprog-e2e")).string()) {
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

ChildProcess::ChildProcess(std::vector<std::string> args, const std::string& errorFile) {
    int pipeFds[2] = {-1, -1};
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return;
    }
    std::vector<char*> argv(args.size() + 1, nullptr);
    std::transform(args.begin(), args.end(), argv.begin(), [](std::string& a) { return a.data(); });
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    if (!errorFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    // Every signal at its default and none blocked, whatever the GUI library set up here.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    out_ = pipeFds[0];
    if (spawned != 0) {
        pid_ = -1;
        ADD_FAILURE() << "cannot start " << args[0] << ": " << std::strerror(spawned);
        return;
    }
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(pidFd_);  // -1 when never opened: harmless
    close(out_);
}

std::optional<std::string> ChildProcess::Next_Line(int timeoutMs) {
    const double deadline = Wall_Now_Ms() + timeoutMs;
    while (true) {
        if (const std::size_t end = pendingOut_.find('\n'); end != std::string::npos) {
            std::string line = pendingOut_.substr(0, end);
            pendingOut_.erase(0, end + 1);
            return line;
        }
        pollfd p{out_, POLLIN, 0};
        const int left = static_cast<int>(deadline - Wall_Now_Ms());
        char buffer[256];
        if (out_ < 0 || left <= 0 || poll(&p, 1, left) <= 0) {
            return std::nullopt;
        }
        const ssize_t n = read(out_, buffer, sizeof buffer);
        if (n <= 0) {
            return std::nullopt;  // the child ended
        }
        pendingOut_.append(buffer, static_cast<std::size_t>(n));
    }
}

std::optional<int> ChildProcess::Wait_Exit(int timeoutMs) {
    pollfd p{pidFd_, POLLIN, 0};
    int status = 0;
    if (pid_ <= 0 || (pidFd_ >= 0 && poll(&p, 1, timeoutMs) <= 0) ||
        waitpid(pid_, &status, 0) != pid_) {
        return std::nullopt;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int ChildProcess::Stop(int signal) {
    if (pid_ <= 0) {
        return -1;
    }
    kill(-pid_, signal);
    return Wait_Exit(5000).value_or(-1);  // the destructor kills it otherwise
}

namespace {

std::vector<std::string> Sim_Command(const std::string& link, const std::string& eeprom,
                                     const std::vector<std::string>& extraArgs) {
    std::vector<std::string> args = {Bin_Folder() + "/lcdprog-sim", "--link", link, "--quiet"};
    if (!eeprom.empty()) {
        args.insert(args.end(), {"--eeprom", eeprom, "--log"});
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return args;
}

}  // namespace

std::vector<std::string> Unpaced(std::vector<std::string> args) {
    args.insert(args.begin(), {"--page-ms", "0", "--baud", "4000000"});
    return args;
}

SimProcess::SimProcess(const TempFolder& folder, std::vector<std::string> extraArgs,
                       const std::string& name, bool record)
    : link_(folder / Unique_Name(name.c_str())),
      eepromFile_(record ? folder / (name + "-eeprom.bin") : ""),
      logFile_(folder / (name + ".log")),
      process_(Sim_Command(link_, eepromFile_, extraArgs), logFile_) {}

std::optional<MemoryImageBytes> SimProcess::Saved_Eeprom() const {
    const std::string bytes = Read_Whole_File(eepromFile_);
    if (bytes.size() != MemoryImageBytes().size()) {
        return std::nullopt;
    }
    MemoryImageBytes eeprom;
    std::copy(bytes.begin(), bytes.end(), eeprom.begin());
    return eeprom;
}

}  // namespace lcdprog::test
