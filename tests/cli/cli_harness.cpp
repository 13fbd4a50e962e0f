#include "cli_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace lcdprog::test {

std::string Bin_Folder() {
    const char* bin = std::getenv("LCDPROG_BIN");
    if (bin != nullptr && *bin != '\0') {
        return bin;
    }
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "bin").string();
}

std::string Read_File(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write_File(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lcdprog-cli-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "/tmp";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

Process::Process(std::vector<std::string> args, std::string errFile, bool ownGroup)
    : errFile_(std::move(errFile)) {
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return;
    }
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const int err = open(errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = fork();
    if (pid_ == 0) {
        // Ends with the test, even one that crashed: no module is left running behind it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (ownGroup) {
            setpgid(0, 0);
        }
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        dup2(fds[1], STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(err);
    close(fds[1]);
    out_ = fds[0];
    if (pid_ < 0) {
        ADD_FAILURE() << "cannot start " << args[0] << ": " << std::strerror(errno);
    }
}

Process::~Process() {
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) {
        close(out_);
    }
}

std::optional<std::string> Process::Line(int timeoutMs) {
    for (;;) {
        const auto eol = pending_.find('\n');
        if (eol != std::string::npos) {
            std::string line = pending_.substr(0, eol);
            pending_.erase(0, eol + 1);
            return line;
        }
        pollfd fd{out_, POLLIN, 0};
        if (out_ < 0 || poll(&fd, 1, timeoutMs) <= 0) {
            return std::nullopt;
        }
        char buffer[4096];
        const ssize_t n = read(out_, buffer, sizeof buffer);
        if (n <= 0) {
            return std::nullopt;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

void Process::Signal(int signal, bool group) const {
    if (pid_ > 0) {
        kill(group ? -pid_ : pid_, signal);
    }
}

int Process::Wait() {
    if (status_ >= 0 || pid_ <= 0) {
        return status_;
    }
    int raw = 0;
    if (waitpid(pid_, &raw, 0) == pid_) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    return status_;
}

Sim::Sim(const TempDir& dir, const std::string& name, std::vector<std::string> extra)
    : link_(dir / name),
      eeprom_(dir / (name + ".eeprom")),
      process_(
          [&] {
              std::vector<std::string> args = {
                  Bin_Folder() + "/lcdprog-sim", "--link", link_, "--eeprom", eeprom_, "--log"};
              args.insert(args.end(), extra.begin(), extra.end());
              return args;
          }(),
          dir / (name + ".log")) {
    // The device line comes once the link is in place.
    EXPECT_TRUE(process_.Line(5000).has_value()) << "lcdprog-sim did not start: " << Log();
}

Sim::~Sim() {
    process_.Signal(SIGTERM);
    process_.Wait();
}

Image Sim::Eeprom() const {
    Image image{};
    const std::string bytes = Read_File(eeprom_);
    EXPECT_EQ(bytes.size(), image.size());
    std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
    return image;
}

Image Sim::Stop_And_Read_Eeprom() {
    process_.Signal(SIGTERM);
    process_.Wait();
    return Eeprom();
}

CliResult Run_Cli(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), Bin_Folder() + "/lcdprog-cli");
    Process cli(args, dir / "cli.err");
    CliResult result;
    while (auto line = cli.Line()) {
        result.out.push_back(*line);
    }
    result.status = cli.Wait();
    result.err = cli.Err();
    return result;
}

}  // namespace lcdprog::test
