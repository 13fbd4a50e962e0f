// A whole programming run of the real program, timed against the virtual module on a
// pseudo-terminal, side by side with a minimal stop-and-wait client on the same module.
//
// The windows, the link and the platform services are the ones main() builds (QtEventPump,
// SteadyClock, QtSerialControl, PosixFileService); only three things differ: the file service
// looks for the white backgrounds in the bin folder instead of beside this program, message
// boxes are recorded instead of waiting for an OK, and the serial control is wrapped in a
// decorator that timestamps every receive notification and every write.
//
//   lcdprog-bench-run [--bin DIR] [--startups N] [--compiles N] [--stops N]
//   lcdprog-bench-run startup T0_NS      (child mode: time to the main window's first paint)

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "compiler/mod_Compilatore.h"
#include "link/mod_RS232.h"
#include "main_window/frm_Config_LCD.h"
#include "platform/clock.h"
#include "platform/posix_file_service.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_program.h"
#include "platform/qt/qt_serial_control.h"
#include "platform/services.h"
#include "serial_window/frm_RS232.h"
#include "state/mod_variabili.h"

extern char** environ;

namespace {

using namespace lcdprog;

// ---------------------------------------------------------------------------------------------
// Time and CPU

std::int64_t Now_Ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// User plus system time of this whole process.
std::int64_t Cpu_Ns() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const auto ns = [](const timeval& tv) {
        return static_cast<std::int64_t>(tv.tv_sec) * 1'000'000'000 +
               static_cast<std::int64_t>(tv.tv_usec) * 1000;
    };
    return ns(ru.ru_utime) + ns(ru.ru_stime);
}

double Mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) {
        sum += x;
    }
    return v.empty() ? NAN : sum / static_cast<double>(v.size());
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    const double rank = p / 100.0 * static_cast<double>(v.size() - 1);
    const auto lo = static_cast<std::size_t>(std::floor(rank));
    const auto hi = std::min(lo + 1, v.size() - 1);
    return v[lo] + (v[hi] - v[lo]) * (rank - static_cast<double>(lo));
}

// ---------------------------------------------------------------------------------------------
// The line and its limits

constexpr double kBaud = 115200.0;
constexpr double kByteS = 10.0 / kBaud;  // 8N1: 10 bits per byte, 86.8 us
constexpr double kPageS = 0.005;         // the module's page-write time per block
constexpr int kBlocks = 512;
constexpr int kWriteBytes = 135;
constexpr int kAckBytes = 3;

// 512 x (135 + 3) bytes on the wire plus 512 page writes: 8.69 s.
constexpr double kLineLimitS = kBlocks * (kWriteBytes + kAckBytes) * kByteS + kBlocks * kPageS;
// What the virtual module itself needs for a whole run. It answers as soon as a request is
// complete on its side, and a pseudo-terminal delivers the request at once, so only the reply
// bytes and the page writes are paced: detection (7 reply bytes), 512 x (3 + 5 ms), reset (3).
constexpr double kSimFloorS = (7 + kBlocks * kAckBytes + 3) * kByteS + kBlocks * kPageS;
// The same run on a line that carries the requests at 115200 baud too: the line limit plus
// detection (3 + 7 bytes) and reset (3 + 3 bytes).
constexpr double kPacedFloorS = kLineLimitS + (3 + 7 + 3 + 3) * kByteS;

// ---------------------------------------------------------------------------------------------
// Platform pieces that differ from main()

// Keeps every message instead of waiting for an operator to press OK.
class RecordingMessageBox final : public platform::MessageBox {
  public:
    void Show(const std::string& text, const std::string& title, platform::MessageIcon) override {
        shown.push_back(title + ": " + text);
    }
    std::vector<std::string> shown;
};

// The serial control with a stopwatch: the time a receive notification reaches the handler and
// the time the next packet is written. Everything else is passed through.
class TimedSerial final : public platform::SerialControl {
  public:
    explicit TimedSerial(platform::SerialControl& inner) : inner_(inner) {}

    void SetCommPort(int port) override { inner_.SetCommPort(port); }
    int CommPort() const override { return inner_.CommPort(); }
    bool SetPortOpen(bool open) override { return inner_.SetPortOpen(open); }
    bool PortOpen() const override { return inner_.PortOpen(); }
    bool SetSettings(const std::string& s) override { return inner_.SetSettings(s); }
    bool Output(std::string_view bytes) override {
        const std::int64_t t = Now_Ns();
        if (lastReceive_ != 0) {
            // The notification before a write is the one whose bytes completed the reply.
            replyToNext.push_back(static_cast<double>(t - lastReceive_) / 1e6);
            lastReceive_ = 0;
        }
        lastOutput_ = t;
        const bool ok = inner_.Output(bytes);
        outputCost.push_back(static_cast<double>(Now_Ns() - t) / 1e6);
        return ok;
    }
    std::string Input() override { return inner_.Input(); }
    int CommEvent() const override { return inner_.CommEvent(); }
    void SetCommHandler(std::function<void()> handler) override {
        inner_.SetCommHandler([this, handler = std::move(handler)] {
            if (inner_.CommEvent() == platform::comm_event::kReceive) {
                lastReceive_ = Now_Ns();
                if (lastOutput_ != 0) {
                    sendToReceive.push_back(static_cast<double>(lastReceive_ - lastOutput_) / 1e6);
                }
            }
            handler();
        });
    }
    std::string LastError() const override { return inner_.LastError(); }
    std::string DevicePath(int port) const override { return inner_.DevicePath(port); }

    void Reset() {
        replyToNext.clear();
        sendToReceive.clear();
        outputCost.clear();
        lastReceive_ = 0;
        lastOutput_ = 0;
    }

    std::vector<double> replyToNext;    // ms, one per packet after the first
    std::vector<double> sendToReceive;  // ms, write to each receive notification
    std::vector<double> outputCost;     // ms spent inside Output

  private:
    platform::SerialControl& inner_;
    std::int64_t lastReceive_ = 0;
    std::int64_t lastOutput_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The virtual module as a child process

class Sim {
  public:
    Sim(const std::string& exe, const std::string& link, std::vector<std::string> extra) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            Die("pipe");
        }
        std::vector<std::string> args = {exe, "--baud",  "115200", "--page-ms",
                                         "5", "--quiet", "--link", link};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
        if (posix_spawn(&pid_, exe.c_str(), &fa, nullptr, argv.data(), environ) != 0) {
            Die("cannot start " + exe);
        }
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        // The first line is the device; by then the link is in place.
        std::string line;
        char c = 0;
        while (read(out[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        stdout_ = out[0];
        if (line.empty()) {
            Die("lcdprog-sim printed no device");
        }
        device = line;
    }
    ~Sim() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        close(stdout_);
    }
    Sim(const Sim&) = delete;
    Sim& operator=(const Sim&) = delete;

    static void Die(const std::string& what) {
        std::fprintf(stderr, "lcdprog-bench-run: %s: %s\n", what.c_str(), std::strerror(errno));
        std::exit(1);
    }

    std::string device;

  private:
    pid_t pid_ = 0;
    int stdout_ = -1;
};

// ---------------------------------------------------------------------------------------------
// The peer: a minimal stop-and-wait client on a plain file descriptor

struct PeerResult {
    bool ok = false;
    double wallS = 0;
    double cpuPercent = 0;
    std::vector<double> replyToNext;  // ms
    std::vector<double> sendToReply;  // ms
};

class Peer {
  public:
    explicit Peer(const std::string& device) {
        fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) {
            Sim::Die("peer: open " + device);
        }
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        cfsetispeed(&tio, B115200);
        cfsetospeed(&tio, B115200);
        tcsetattr(fd_, TCSANOW, &tio);
        tcflush(fd_, TCIOFLUSH);
    }
    ~Peer() { close(fd_); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    static std::string Request(std::uint8_t command, const std::string& payload) {
        std::string p;
        p += static_cast<char>(command);
        p += static_cast<char>(payload.size());
        p += payload;
        unsigned sum = 0;
        for (char c : p) {
            sum += static_cast<unsigned char>(c);
        }
        p += static_cast<char>(~sum & 0xFF);
        return p;
    }

    // Write, then poll() for the reply; up to three attempts of 3000 ms.
    bool Exchange(const std::string& packet, std::size_t expect) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const std::int64_t t = Now_Ns();
            if (replyAt_ != 0) {
                replyToNext.push_back(static_cast<double>(t - replyAt_) / 1e6);
                replyAt_ = 0;
            }
            std::size_t done = 0;
            while (done < packet.size()) {
                const ssize_t n = write(fd_, packet.data() + done, packet.size() - done);
                if (n > 0) {
                    done += static_cast<std::size_t>(n);
                } else if (n < 0 && errno == EAGAIN) {
                    pollfd p{fd_, POLLOUT, 0};
                    poll(&p, 1, 100);
                } else if (n < 0 && errno != EINTR) {
                    return false;
                }
            }
            std::string reply;
            const std::int64_t deadline = t + 3'000'000'000LL;
            while (reply.size() < expect) {
                const std::int64_t left = deadline - Now_Ns();
                if (left <= 0) {
                    break;
                }
                pollfd p{fd_, POLLIN, 0};
                const timespec ts{left / 1'000'000'000, left % 1'000'000'000};
                if (ppoll(&p, 1, &ts, nullptr) > 0) {
                    char buf[256];
                    const ssize_t n = read(fd_, buf, sizeof buf);
                    if (n > 0) {
                        reply.append(buf, static_cast<std::size_t>(n));
                    }
                }
            }
            if (reply.size() >= expect && reply[0] == packet[0]) {
                replyAt_ = Now_Ns();
                sendToReply.push_back(static_cast<double>(replyAt_ - t) / 1e6);
                return true;
            }
        }
        return false;
    }

    std::vector<double> replyToNext;
    std::vector<double> sendToReply;

  private:
    int fd_ = -1;
    std::int64_t replyAt_ = 0;
};

PeerResult Run_Peer(const std::string& device) {
    Peer peer(device);
    PeerResult r;
    const std::int64_t cpu0 = Cpu_Ns();
    const std::int64_t t0 = Now_Ns();
    bool ok = peer.Exchange(Peer::Request(0x87, ""), 7);
    for (int n = 0; ok && n < kBlocks; ++n) {
        const std::uint32_t a = static_cast<std::uint32_t>(n) * 128;
        std::string payload{static_cast<char>(a >> 24), static_cast<char>((a >> 16) & 0xFF),
                            static_cast<char>((a >> 8) & 0xFF), static_cast<char>(a & 0xFF)};
        payload.append(reinterpret_cast<const char*>(MemoryImage.data() + a), 128);
        ok = peer.Exchange(Peer::Request(0x04, payload), 3);
    }
    ok = ok && peer.Exchange(Peer::Request(0xFE, ""), 3);
    const std::int64_t t1 = Now_Ns();
    r.ok = ok;
    r.wallS = static_cast<double>(t1 - t0) / 1e9;
    r.cpuPercent = 100.0 * static_cast<double>(Cpu_Ns() - cpu0) / static_cast<double>(t1 - t0);
    r.replyToNext = std::move(peer.replyToNext);
    r.sendToReply = std::move(peer.sendToReply);
    return r;
}

// ---------------------------------------------------------------------------------------------
// A paced line in front of the virtual module

// The virtual module starts its reply as soon as a request is complete on its side, and a
// pseudo-terminal carries the request's 135 bytes at once: the request's time on the wire is
// not charged. This relay, a child process, gives the programmer a pseudo-terminal of its own
// and hands each byte on to the module only when it would have arrived at 115200 baud (10 bits
// per byte, one after the other); replies pass back at once (the module paces them itself).
class PacedLine {
  public:
    explicit PacedLine(const std::string& moduleDevice) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            Sim::Die("pipe");
        }
        pid_ = fork();
        if (pid_ < 0) {
            Sim::Die("fork");
        }
        if (pid_ == 0) {
            close(out[0]);
            Relay(moduleDevice, out[1]);
            _exit(0);
        }
        close(out[1]);
        std::string line;
        char c = 0;
        while (read(out[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        close(out[0]);
        if (line.empty()) {
            Sim::Die("paced line did not start");
        }
        device = line;
    }
    ~PacedLine() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    PacedLine(const PacedLine&) = delete;
    PacedLine& operator=(const PacedLine&) = delete;

    std::string device;

  private:
    static int Raw_Open(const std::string& path) {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios tio{};
            tcgetattr(fd, &tio);
            cfmakeraw(&tio);
            tcsetattr(fd, TCSANOW, &tio);
        }
        return fd;
    }

    [[noreturn]] static void Relay(const std::string& moduleDevice, int report) {
        signal(SIGTERM, SIG_DFL);
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        char name[128] = {};
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, name, sizeof name) != 0) {
            _exit(1);
        }
        // Held open for the relay's life, so the master never sees a hang-up between users.
        const int keep = Raw_Open(name);
        const int module = Raw_Open(moduleDevice);
        if (keep < 0 || module < 0) {
            _exit(1);
        }
        const std::string line = std::string(name) + "\n";
        if (write(report, line.data(), line.size()) < 0) {
            _exit(1);
        }
        close(report);
        const auto byteNs = static_cast<std::int64_t>(std::llround(kByteS * 1e9));
        std::string queue;              // request bytes not yet handed on
        std::vector<std::int64_t> due;  // when each of them has fully arrived
        std::int64_t lineFree = 0;
        char buf[4096];
        for (;;) {
            const std::int64_t now = Now_Ns();
            std::size_t ready = 0;
            while (ready < due.size() && due[ready] <= now) {
                ++ready;
            }
            if (ready > 0) {
                if (write(module, queue.data(), ready) == static_cast<ssize_t>(ready)) {
                    queue.erase(0, ready);
                    due.erase(due.begin(), due.begin() + static_cast<long>(ready));
                }
            }
            pollfd fds[2] = {{master, POLLIN, 0}, {module, POLLIN, 0}};
            timespec ts{};
            timespec* timeout = nullptr;
            if (!due.empty()) {
                // Wake when the last queued byte is in: the module only acts on whole packets.
                const std::int64_t wait = std::max<std::int64_t>(0, due.back() - Now_Ns());
                ts = {wait / 1'000'000'000, wait % 1'000'000'000};
                timeout = &ts;
            }
            if (ppoll(fds, 2, timeout, nullptr) < 0 && errno != EINTR) {
                _exit(1);
            }
            if (fds[0].revents & POLLIN) {
                const ssize_t n = read(master, buf, sizeof buf);
                const std::int64_t at = Now_Ns();
                for (ssize_t i = 0; i < n; ++i) {
                    lineFree = std::max(lineFree, at) + byteNs;
                    queue += buf[i];
                    due.push_back(lineFree);
                }
            }
            if (fds[1].revents & POLLIN) {
                const ssize_t n = read(module, buf, sizeof buf);
                if (n > 0 && write(master, buf, static_cast<std::size_t>(n)) < 0) {
                    // The programmer's side is closed: the reply is lost, as on a real line.
                }
            }
        }
    }

    pid_t pid_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Start-up to the main window (child mode)

// Notes the first paint of the main window: the moment it is on screen (offscreen here).
class FirstPaint final : public QObject {
  public:
    explicit FirstPaint(std::function<void()> done) : done_(std::move(done)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && done_) {
            auto done = std::move(done_);
            done_ = nullptr;
            done();
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> done_;
};

int Startup_Mode(int argc, char** argv, std::int64_t t0, const std::string& binDir) {
    const std::int64_t mainEntry = Now_Ns();
    QApplication app(argc, argv);
    platform::PosixFileService files(binDir);
    RecordingMessageBox messages;
    platform::SteadyClock clock;
    platform::QtEventPump pump;
    platform::QtSerialControl serial(platform::PortTable{});
    platform::QtFileDialog dialog;
    platform::QtProgram program;
    platform::Services services{files, messages, clock, pump, serial, dialog, program};
    serial.SetCommHandler([&serial] { RS232_Interface_OnComm(serial); });
    auto* window = new frm_Config_LCD(services, [&services] { Show_frm_RS232(services); });
    window->setAttribute(Qt::WA_DeleteOnClose);
    FirstPaint paint([&] {
        const std::int64_t t = Now_Ns();
        std::printf("%lld %lld\n", static_cast<long long>(t - t0),
                    static_cast<long long>(t - mainEntry));
        std::fflush(stdout);
        QTimer::singleShot(0, &app, [] { QApplication::exit(0); });
    });
    window->installEventFilter(&paint);
    if (!window->Form_Load()) {
        return 1;
    }
    window->show();
    return QApplication::exec();
}

struct StartupTimes {
    std::vector<double> fromSpawnMs;
    std::vector<double> fromMainMs;
};

StartupTimes Measure_Startups(const std::string& self, const std::string& binDir, int count) {
    StartupTimes times;
    for (int i = 0; i < count; ++i) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            Sim::Die("pipe");
        }
        const std::int64_t t0 = Now_Ns();
        std::string exe = self, mode = "startup", stamp = std::to_string(t0), binFlag = "--bin",
                    bin = binDir;
        char* argv[] = {exe.data(), mode.data(), stamp.data(), binFlag.data(), bin.data(), nullptr};
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
        pid_t pid = 0;
        if (posix_spawn(&pid, self.c_str(), &fa, nullptr, argv, environ) != 0) {
            Sim::Die("cannot start " + self);
        }
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        std::string text;
        char buf[128];
        ssize_t n = 0;
        while ((n = read(out[0], buf, sizeof buf)) > 0) {
            text.append(buf, static_cast<std::size_t>(n));
        }
        close(out[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        long long a = 0, b = 0;
        if (std::sscanf(text.c_str(), "%lld %lld", &a, &b) == 2) {
            times.fromSpawnMs.push_back(static_cast<double>(a) / 1e6);
            times.fromMainMs.push_back(static_cast<double>(b) / 1e6);
        }
    }
    return times;
}

// ---------------------------------------------------------------------------------------------
// The bench proper

struct Options {
    std::string binDir;
    int startups = 5;
    int compiles = 101;
    int stops = 10;
};

std::string Self_Path() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

std::string Load_Average() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

QPushButton* Button(QWidget* window, const char* name) {
    auto* b = window->findChild<QPushButton*>(QString::fromLatin1(name));
    if (b == nullptr) {
        std::fprintf(stderr, "lcdprog-bench-run: no button %s\n", name);
        std::exit(1);
    }
    return b;
}

std::string Text_Of(QWidget* window, const char* name) {
    auto* w = window->findChild<QWidget*>(QString::fromLatin1(name));
    const QVariant v = w ? w->property("text") : QVariant();
    return v.toString().toStdString();
}

std::string Ms(double v, int decimals = 3) {
    if (std::isnan(v)) {
        return "-";
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

int Bench_Mode(int argc, char** argv, const Options& opt) {
    const std::string self = Self_Path();
    // The start-up children first, while this process has not yet touched Qt.
    const StartupTimes startup = Measure_Startups(self, opt.binDir, opt.startups);

    const std::filesystem::path tmp =
        std::filesystem::temp_directory_path() / ("lcdprog-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(tmp);
    const std::string link = (tmp / "lcd").string();
    const std::string pacedModuleLink = (tmp / "lcd-paced-module").string();
    const std::string pacedLink = (tmp / "lcd-paced").string();
    const std::string simExe = opt.binDir + "/lcdprog-sim";

    // COM 1: the module directly; COM 2: a second module behind the paced line. Both exist
    // before the serial window probes the ports. The relay is forked before Qt starts.
    std::optional<Sim> sim;
    sim.emplace(simExe, link, std::vector<std::string>{});
    Sim pacedSim(simExe, pacedModuleLink, {});
    PacedLine paced(pacedModuleLink);
    std::filesystem::create_symlink(paced.device, pacedLink);

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    platform::PosixFileService files(opt.binDir);
    RecordingMessageBox messages;
    platform::SteadyClock clock;
    platform::QtEventPump pump;
    platform::QtSerialControl qtSerial(platform::PortTable({link, pacedLink}));
    TimedSerial serial(qtSerial);
    platform::QtFileDialog dialog;
    platform::QtProgram program;
    platform::Services services{files, messages, clock, pump, serial, dialog, program};
    serial.SetCommHandler([&serial] { RS232_Interface_OnComm(serial); });

    auto* mainWindow = new frm_Config_LCD(services, [&services] { Show_frm_RS232(services); });
    if (!mainWindow->Form_Load()) {
        return 1;
    }
    mainWindow->show();
    QCoreApplication::processEvents();

    // Compile alone, as the write command runs it.
    std::vector<double> compileMs;
    for (int i = 0; i < opt.compiles; ++i) {
        const std::int64_t t = Now_Ns();
        if (!Compile_Image(CompilerIo{files, messages})) {
            std::fprintf(stderr, "lcdprog-bench-run: compile failed\n");
            return 1;
        }
        compileMs.push_back(static_cast<double>(Now_Ns() - t) / 1e6);
    }

    // The serial window, as the menu command opens it; its start-up probes the module's port.
    mainWindow->smnu_Comunicazione_Click(0);
    frm_RS232* serialWindow = Current_frm_RS232();
    QCoreApplication::processEvents();
    QPushButton* on = Button(serialWindow, "cmd_ON");
    QPushButton* off = Button(serialWindow, "cmd_OFF");
    QPushButton* write = Button(serialWindow, "cmd_Write_RS232");
    QPushButton* stop = Button(serialWindow, "cmd_Stop_RS232");
    auto* ports = serialWindow->findChild<QComboBox*>(QStringLiteral("cmb_RS232"));
    if (ports == nullptr || ports->count() != 2) {
        std::fprintf(stderr, "lcdprog-bench-run: the probe did not list COM 1 and COM 2\n");
        return 1;
    }
    const auto choose = [ports](int index) {
        ports->setCurrentIndex(index);
        ports->setEditText(ports->itemText(index));
    };
    choose(0);
    QTest::mouseClick(on, Qt::LeftButton);
    if (!serial.PortOpen()) {
        std::fprintf(stderr, "lcdprog-bench-run: ON did not open %s\n", link.c_str());
        return 1;
    }

    struct ProgramRun {
        double wallS = 0;
        double cpuPercent = 0;
        bool ok = false;
        std::string counters;
        std::vector<double> replyToNext, sendToReceive, outputCost;
    };
    const auto run_program = [&] {
        ProgramRun r;
        serial.Reset();
        messages.shown.clear();
        const std::int64_t cpu0 = Cpu_Ns();
        const std::int64_t t0 = Now_Ns();
        QTest::mouseClick(write, Qt::LeftButton);
        const std::int64_t t1 = Now_Ns();
        const std::int64_t cpu1 = Cpu_Ns();
        r.wallS = static_cast<double>(t1 - t0) / 1e9;
        r.cpuPercent = 100.0 * static_cast<double>(cpu1 - cpu0) / static_cast<double>(t1 - t0);
        const std::string sent = Text_Of(serialWindow, "txt_Send_Packet");
        const std::string received = Text_Of(serialWindow, "txt_Received_Packet");
        r.counters = sent + "/" + received;
        r.ok = sent == "514" && received == "514" && messages.shown.empty();
        r.replyToNext = serial.replyToNext;
        r.sendToReceive = serial.sendToReceive;
        r.outputCost = serial.outputCost;
        return r;
    };

    // 1. The whole run on the module directly (the run includes the compile, 0.2 ms).
    const ProgramRun direct = run_program();
    const double runS = direct.wallS;
    const double runCpu = direct.cpuPercent;
    const bool runOk = direct.ok;
    const std::vector<double>& replyToNext = direct.replyToNext;
    const std::vector<double>& sendToReceive = direct.sendToReceive;
    const std::vector<double>& outputCost = direct.outputCost;

    // 2. The peer on the same module, the port of the program closed.
    QTest::mouseClick(off, Qt::LeftButton);
    const PeerResult peer = Run_Peer(link);

    // 2b. Both again behind the paced line (COM 2).
    choose(1);
    QTest::mouseClick(on, Qt::LeftButton);
    const ProgramRun pacedRun = run_program();
    QTest::mouseClick(off, Qt::LeftButton);
    const PeerResult pacedPeer = Run_Peer(pacedLink);
    choose(0);

    // 3. Stop during a wait: a click arriving from outside while the run sleeps in its yield.
    QTest::mouseClick(on, Qt::LeftButton);
    std::vector<double> stopMs;
    std::vector<double> stopHandledMs;
    int stopsHonoured = 0;
    std::mt19937 random(12345);
    for (int i = 0; i < opt.stops; ++i) {
        std::atomic<std::int64_t> postedAt{0};
        std::int64_t handledAt = 0;
        const int delayMs = 200 + static_cast<int>(random() % 400);
        std::thread clicker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            postedAt = Now_Ns();
            // Queued to the window thread, which is asleep in the run's wait: the post wakes it,
            // as the window system's click would.
            QMetaObject::invokeMethod(
                stop,
                [stop, &handledAt] {
                    QTest::mouseClick(stop, Qt::LeftButton);
                    handledAt = Now_Ns();
                },
                Qt::QueuedConnection);
        });
        QTest::mouseClick(write, Qt::LeftButton);
        const std::int64_t returned = Now_Ns();
        clicker.join();
        if (StopRequested && postedAt != 0 && returned > postedAt) {
            ++stopsHonoured;
            stopMs.push_back(static_cast<double>(returned - postedAt) / 1e6);
            stopHandledMs.push_back(static_cast<double>(handledAt - postedAt) / 1e6);
        }
    }

    // 4. A silent module: three waits of 3000 ms, all asleep.
    QTest::mouseClick(off, Qt::LeftButton);
    sim.reset();
    sim.emplace(simExe, link, std::vector<std::string>{"--fault", "silent"});
    QTest::mouseClick(on, Qt::LeftButton);
    messages.shown.clear();
    const std::int64_t scpu0 = Cpu_Ns();
    const std::int64_t s0 = Now_Ns();
    QTest::mouseClick(write, Qt::LeftButton);
    const std::int64_t s1 = Now_Ns();
    const std::int64_t scpu1 = Cpu_Ns();
    const double silentS = static_cast<double>(s1 - s0) / 1e9;
    const double silentCpu =
        100.0 * static_cast<double>(scpu1 - scpu0) / static_cast<double>(s1 - s0);
    const bool silentOk =
        messages.shown.size() == 1 &&
        messages.shown[0].find("Impossibile trovare il modulo") != std::string::npos;
    QTest::mouseClick(off, Qt::LeftButton);
    sim.reset();
    std::filesystem::remove_all(tmp);

    // The table.
    const double cMed = Percentile(compileMs, 50);
    const double suSpawn = Percentile(startup.fromSpawnMs, 50);
    const double suMain = Percentile(startup.fromMainMs, 50);
    auto line = [](const std::vector<std::string>& cells) {
        std::string s = "|";
        for (const auto& c : cells) {
            s += " " + c + " |";
        }
        std::printf("%s\n", s.c_str());
    };
    std::printf(
        "\nline limit %.4f s = 512 x 138 bytes x %.2f us + 512 x 5 ms. Floors: paced "
        "line %.4f s (limit + detection and reset), module direct %.4f s (the module "
        "does not charge the requests' wire time). Load %s\n\n",
        kLineLimitS, kByteS * 1e6, kPacedFloorS, kSimFloorS, Load_Average().c_str());
    line({"client", "line", "run s", "x line limit", "x floor", "CPU % run", "CPU % silent 9 s",
          "reply->next median ms", "reply->next p99 ms", "Stop->return median/max ms",
          "compile median ms", "start-up to window ms"});
    line({"---", "---", "---", "---", "---", "---", "---", "---", "---", "---", "---", "---"});
    const std::string silentCell =
        Ms(silentCpu, 2) + " (" + Ms(silentS, 2) + " s" + (silentOk ? "" : ", FAILED") + ")";
    const std::string stopCell = Ms(Percentile(stopMs, 50)) + " / " + Ms(Percentile(stopMs, 100)) +
                                 " (" + std::to_string(stopsHonoured) + "/" +
                                 std::to_string(opt.stops) + ")";
    const std::string startupCell = Ms(suSpawn, 1) + " (main() " + Ms(suMain, 1) + ")";
    const auto program_row = [&](const ProgramRun& r, const char* where, double floor,
                                 bool extras) {
        line({std::string("lcdprog") + (r.ok ? "" : " (FAILED: " + r.counters + ")"), where,
              Ms(r.wallS, 3), Ms(r.wallS / kLineLimitS, 3), Ms(r.wallS / floor, 3),
              Ms(r.cpuPercent, 2), extras ? silentCell : "-", Ms(Percentile(r.replyToNext, 50)),
              Ms(Percentile(r.replyToNext, 99)), extras ? stopCell : "-", extras ? Ms(cMed) : "-",
              extras ? startupCell : "-"});
    };
    const auto peer_row = [&](const PeerResult& r, const char* where, double floor) {
        line({std::string("peer (stop-and-wait)") + (r.ok ? "" : " (FAILED)"), where,
              Ms(r.wallS, 3), Ms(r.wallS / kLineLimitS, 3), Ms(r.wallS / floor, 3),
              Ms(r.cpuPercent, 2), "-", Ms(Percentile(r.replyToNext, 50)),
              Ms(Percentile(r.replyToNext, 99)), "-", "-", "-"});
    };
    program_row(pacedRun, "paced 115200", kPacedFloorS, false);
    peer_row(pacedPeer, "paced 115200", kPacedFloorS);
    program_row(direct, "module direct", kSimFloorS, true);
    peer_row(peer, "module direct", kSimFloorS);
    std::printf("\n");

    // Details that explain the figures above.
    const std::size_t n = replyToNext.size();
    const std::size_t k = std::min<std::size_t>(64, n / 2);
    std::vector<double> early(replyToNext.begin(), replyToNext.begin() + static_cast<long>(k));
    std::vector<double> late(replyToNext.end() - static_cast<long>(k), replyToNext.end());
    std::printf(
        "detail: lcdprog reply->next over %zu packets: min %s, p90 %s, max %s ms; "
        "first %zu median %s ms, last %zu median %s ms (equal when each packet costs the same)\n",
        n, Ms(Percentile(replyToNext, 0)).c_str(), Ms(Percentile(replyToNext, 90)).c_str(),
        Ms(Percentile(replyToNext, 100)).c_str(), k, Ms(Percentile(early, 50)).c_str(), k,
        Ms(Percentile(late, 50)).c_str());
    std::printf(
        "detail: lcdprog write->receive notification median %s ms (module: 5 ms + "
        "3 bytes = %.3f ms), Output() median %s ms\n",
        Ms(Percentile(sendToReceive, 50)).c_str(), (kPageS + 3 * kByteS) * 1e3,
        Ms(Percentile(outputCost, 50)).c_str());
    std::printf(
        "detail: Stop click handled (StopRequested set) median %s, max %s ms after "
        "the post\n",
        Ms(Percentile(stopHandledMs, 50)).c_str(), Ms(Percentile(stopHandledMs, 100)).c_str());
    std::printf("detail: peer reply->next p99 %s, max %s ms; compile min %s, max %s ms over %d\n",
                Ms(Percentile(peer.replyToNext, 99)).c_str(),
                Ms(Percentile(peer.replyToNext, 100)).c_str(), Ms(Percentile(compileMs, 0)).c_str(),
                Ms(Percentile(compileMs, 100)).c_str(), opt.compiles);
    std::printf(
        "detail: paced line: lcdprog reply->next p90 %s, max %s ms; write->reply (135 + 3 "
        "bytes + 5 ms = %.3f ms) lcdprog median %s, mean %s, p99 %s ms; peer median %s, "
        "mean %s, p99 %s ms\n",
        Ms(Percentile(pacedRun.replyToNext, 90)).c_str(),
        Ms(Percentile(pacedRun.replyToNext, 100)).c_str(),
        (kPageS + (kWriteBytes + kAckBytes) * kByteS) * 1e3,
        Ms(Percentile(pacedRun.sendToReceive, 50)).c_str(),
        Ms(Mean(pacedRun.sendToReceive)).c_str(),
        Ms(Percentile(pacedRun.sendToReceive, 99)).c_str(),
        Ms(Percentile(pacedPeer.sendToReply, 50)).c_str(), Ms(Mean(pacedPeer.sendToReply)).c_str(),
        Ms(Percentile(pacedPeer.sendToReply, 99)).c_str());
    std::printf("RESULT paced_s=%.4f paced_peer_s=%.4f paced_cpu=%.3f paced_r2n_p99=%.4f ",
                pacedRun.wallS, pacedPeer.wallS, pacedRun.cpuPercent,
                Percentile(pacedRun.replyToNext, 99));
    std::printf(
        "run_s=%.4f peer_s=%.4f run_cpu=%.3f silent_cpu=%.3f r2n_med=%.4f "
        "r2n_p99=%.4f peer_r2n_p99=%.4f stop_med=%.3f stop_max=%.3f compile=%.4f "
        "startup=%.2f ok=%d\n",
        runS, peer.wallS, runCpu, silentCpu, Percentile(replyToNext, 50),
        Percentile(replyToNext, 99), Percentile(peer.replyToNext, 99), Percentile(stopMs, 50),
        Percentile(stopMs, 100), cMed, suSpawn,
        runOk && peer.ok && pacedRun.ok && pacedPeer.ok && silentOk && stopsHonoured == opt.stops
            ? 1
            : 0);
    delete mainWindow;
    return runOk && peer.ok && pacedRun.ok && pacedPeer.ok && silentOk ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    Options opt;
    opt.binDir = (std::filesystem::path(Self_Path()).parent_path().parent_path() / "bin").string();
    std::optional<std::int64_t> startupT0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "startup" && hasValue) {
            startupT0 = std::atoll(argv[++i]);
        } else if (a == "--bin" && hasValue) {
            opt.binDir = argv[++i];
        } else if (a == "--startups" && hasValue) {
            opt.startups = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--compiles" && hasValue) {
            opt.compiles = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--stops" && hasValue) {
            opt.stops = std::max(0, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr,
                         "usage: lcdprog-bench-run [--bin DIR] [--startups N] [--compiles N] "
                         "[--stops N]\n");
            return 2;
        }
    }
    // Qt only sees the program name.
    int qtArgc = 1;
    if (startupT0) {
        return Startup_Mode(qtArgc, argv, *startupT0, opt.binDir);
    }
    return Bench_Mode(qtArgc, argv, opt);
}
