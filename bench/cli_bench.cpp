// lcdprog-cli programming 1, 4 and 8 virtual modules at once, each behind its own line paced at
// 115200 baud: wall time of the whole command, its CPU (the parent and every port's process),
// and whether every EEPROM ended up equal to the image.
//
// lcdprog-sim paces its replies but not the request's own time on the wire: a pseudo-terminal
// carries the 135 bytes of a write at once. So each module sits behind a relay (a child of this
// bench) that hands every request byte on only when it would have arrived at 115200 baud, 10 bits
// per byte; replies pass back at once.
//
//   lcdprog-bench-cli [--bin DIR] [--repeat N] [--modules 1,4,8]

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr double kByteS = 10.0 / 115200.0;

std::int64_t Now_Ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "lcdprog-bench-cli: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

std::string Read_Line(int fd) {
    std::string line;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

pid_t Spawn(std::vector<std::string> args, int outFd) {
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        Die("cannot start " + args[0]);
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The virtual module: its device once it is ready.
struct Sim {
    Sim(const std::string& exe, const std::string& eeprom) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            Die("pipe");
        }
        pid = Spawn({exe, "--eeprom", eeprom, "--quiet"}, out[1]);
        close(out[1]);
        device = Read_Line(out[0]);
        close(out[0]);
        if (device.empty()) {
            Die("lcdprog-sim did not start");
        }
    }
    ~Sim() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    pid_t pid;
    std::string device;
};

int Raw_Open(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

// A line paced at 115200 baud in front of a module: a pseudo-terminal of its own for the
// programmer; each request byte reaches the module when it would have fully arrived.
struct PacedLine {
    explicit PacedLine(const std::string& moduleDevice) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            Die("pipe");
        }
        pid = fork();
        if (pid < 0) {
            Die("fork");
        }
        if (pid == 0) {
            close(out[0]);
            Relay(moduleDevice, out[1]);
        }
        close(out[1]);
        device = Read_Line(out[0]);
        close(out[0]);
        if (device.empty()) {
            Die("paced line did not start");
        }
    }
    ~PacedLine() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }

    [[noreturn]] static void Relay(const std::string& moduleDevice, int report) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        char name[128] = {};
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, name, sizeof name) != 0) {
            _exit(1);
        }
        // Held open for the relay's life, so the master never sees a hang-up between users.
        const int keep = Raw_Open(name);
        const int module = Raw_Open(moduleDevice);
        const std::string line = std::string(name) + "\n";
        if (keep < 0 || module < 0 || write(report, line.data(), line.size()) < 0) {
            _exit(1);
        }
        close(report);
        const auto byteNs = static_cast<std::int64_t>(std::llround(kByteS * 1e9));
        std::string queue;              // request bytes not handed on yet
        std::vector<std::int64_t> due;  // when each of them has fully arrived
        std::int64_t lineFree = 0;
        char buf[4096];
        for (;;) {
            const std::int64_t now = Now_Ns();
            std::size_t ready = 0;
            while (ready < due.size() && due[ready] <= now) {
                ++ready;
            }
            if (ready > 0 && write(module, queue.data(), ready) == static_cast<ssize_t>(ready)) {
                queue.erase(0, ready);
                due.erase(due.begin(), due.begin() + static_cast<long>(ready));
            }
            pollfd fds[2] = {{master, POLLIN, 0}, {module, POLLIN, 0}};
            timespec ts{};
            timespec* timeout = nullptr;
            if (!due.empty()) {
                // Wake when the last queued byte is in: the module acts on whole packets only.
                const std::int64_t wait = std::max<std::int64_t>(0, due.back() - Now_Ns());
                ts = {wait / 1'000'000'000, wait % 1'000'000'000};
                timeout = &ts;
            }
            if (ppoll(fds, 2, timeout, nullptr) < 0 && errno != EINTR) {
                _exit(1);
            }
            if ((fds[0].revents & POLLIN) != 0) {
                const ssize_t n = read(master, buf, sizeof buf);
                const std::int64_t at = Now_Ns();
                for (ssize_t i = 0; i < n; ++i) {
                    lineFree = std::max(lineFree, at) + byteNs;
                    queue += buf[i];
                    due.push_back(lineFree);
                }
            }
            if ((fds[1].revents & POLLIN) != 0) {
                const ssize_t n = read(module, buf, sizeof buf);
                if (n > 0 && write(master, buf, static_cast<std::size_t>(n)) < 0) {
                    // The programmer's side is closed: the reply is lost, as on a real line.
                }
            }
        }
    }

    pid_t pid;
    std::string device;
};

std::string Read_File(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Result {
    double wallS = 0;
    double cpuS = 0;  // lcdprog-cli and its ports' processes, user + system
    int status = -1;
    int equal = 0;  // modules whose EEPROM is the image
};

Result Run(const std::string& bin, const std::string& tmp, const std::string& image, int modules) {
    std::vector<std::unique_ptr<Sim>> sims;
    std::vector<std::unique_ptr<PacedLine>> lines;
    std::vector<std::string> args = {bin + "/lcdprog-cli", "write", tmp + "/image.bin", "--quiet"};
    for (int i = 0; i < modules; ++i) {
        const std::string eeprom = tmp + "/eeprom" + std::to_string(i) + ".bin";
        std::filesystem::remove(eeprom);
        sims.push_back(std::make_unique<Sim>(bin + "/lcdprog-sim", eeprom));
        lines.push_back(std::make_unique<PacedLine>(sims.back()->device));
        args.push_back("--port");
        args.push_back(lines.back()->device);
    }
    Result r;
    const std::int64_t t0 = Now_Ns();
    const pid_t cli = Spawn(args, -1);
    int raw = 0;
    rusage usage{};
    wait4(cli, &raw, 0, &usage);
    r.wallS = static_cast<double>(Now_Ns() - t0) / 1e9;
    const auto s = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    // wait4 of the command counts the ports' processes too: it waited for them.
    r.cpuS = s(usage.ru_utime) + s(usage.ru_stime);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    lines.clear();
    sims.clear();  // they save their EEPROM on the way out
    for (int i = 0; i < modules; ++i) {
        r.equal += Read_File(tmp + "/eeprom" + std::to_string(i) + ".bin") == image ? 1 : 0;
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    std::string bin = std::filesystem::path(argv[0]).parent_path().string() + "/../bin";
    int repeat = 3;
    std::vector<int> counts = {1, 4, 8};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--bin") {
            bin = argv[i + 1];
        } else if (opt == "--repeat") {
            repeat = std::max(1, std::atoi(argv[i + 1]));
        } else if (opt == "--modules") {
            counts.clear();
            for (char* p = argv[i + 1]; *p != '\0';) {
                counts.push_back(static_cast<int>(std::strtol(p, &p, 10)));
                p += *p == ',' ? 1 : 0;
            }
        }
    }
    signal(SIGPIPE, SIG_IGN);
    std::string tmpl = (std::filesystem::temp_directory_path() / "lcdprog-bench-cli-XXXXXX");
    if (mkdtemp(tmpl.data()) == nullptr) {
        Die("mkdtemp");
    }
    const std::string tmp = tmpl;
    // Noise, so that every block differs from its neighbours.
    std::string image(65536, '\0');
    std::mt19937 random(42);
    for (char& c : image) {
        c = static_cast<char>(random() & 0xFF);
    }
    std::ofstream(tmp + "/image.bin", std::ios::binary) << image;

    std::printf("lcdprog-cli write, modules behind lines paced at 115200 baud (median of %d)\n",
                repeat);
    std::printf("%8s %10s %10s %14s %12s %8s\n", "modules", "wall s", "x one", "CPU s (all)",
                "CPU/module", "EEPROMs");
    double one = 0;
    int failures = 0;
    for (const int n : counts) {
        std::vector<Result> runs;
        for (int k = 0; k < repeat; ++k) {
            runs.push_back(Run(bin, tmp, image, n));
        }
        std::sort(runs.begin(), runs.end(),
                  [](const Result& a, const Result& b) { return a.wallS < b.wallS; });
        const Result& m = runs[runs.size() / 2];
        if (n == counts.front()) {
            one = m.wallS;
        }
        for (const Result& r : runs) {
            failures += r.status != 0 || r.equal != n ? 1 : 0;
        }
        std::printf("%8d %10.3f %10.3f %14.3f %11.2f%% %5d/%d\n", n, m.wallS, m.wallS / one, m.cpuS,
                    100.0 * m.cpuS / m.wallS / n, m.equal, n);
        std::fflush(stdout);
    }
    std::filesystem::remove_all(tmp);
    if (failures > 0) {
        std::printf("%d run(s) did not program every module\n", failures);
        return 1;
    }
    return 0;
}
