// A whole programming run of the real program, timed against the virtual module on a
// pseudo-terminal, side by side with a minimal stop-and-wait client on the same module.
//
// The windows and the platform services are wired as the programmer wires them (the operator's
// desk of the end-to-end tests): only the message box and the file dialog are recorded instead of
// waiting for an operator, and the windows reach the serial control through a stopwatch that
// timestamps every receive notification and every write. COM 1 is a module directly, COM 2 a
// second module behind a line paced at 115200 baud, COM 3 a module that never answers.
//
//   lcdprog-bench-run [--bin DIR] [--startups N] [--compiles N] [--stops N]
// and, as its own children:
//   lcdprog-bench-run startup T0_MS   (prints the time to the main window's first paint)
//   lcdprog-bench-run relay DEVICE    (the paced line in front of DEVICE; prints its own device)

#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <optional>
#include <random>
#include <thread>
#include <utility>

#include "compiler/mod_Compilatore.h"
#include "link/mod_RS232.h"
#include "link/run_events.h"
#include "paced_line.h"
#include "serial_window/frm_RS232.h"
#include "state/mod_variabili.h"
#include "support/desk.h"

namespace {

using namespace lcdprog;
using namespace lcdprog::test;
using namespace lcdprog::bench;

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "lcdprog-bench-run: %s\n", what.c_str());
    std::exit(1);
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

double Mean(const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

std::string Ms(double v, int decimals = 3) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return std::isnan(v) ? "-" : buf;
}

// Wall seconds and this process's CPU share while `work` runs.
struct Span {
    double wallS = 0;
    double cpuPercent = 0;
};

template <class Work>
Span Measure(Work&& work) {
    const double cpu0 = Cpu_Now_Ms();
    const double t0 = Wall_Now_Ms();
    work();
    const double wallMs = Wall_Now_Ms() - t0;
    return {wallMs / 1e3, 100.0 * (Cpu_Now_Ms() - cpu0) / wallMs};
}

// ---------------------------------------------------------------------------------------------
// The line and its limits

constexpr double kPageMs = 5;  // the module's page-write time per block
constexpr int kBlocks = 512;
constexpr int kWriteBytes = 135;
constexpr int kAckBytes = 3;

// 512 x (135 + 3) bytes on the wire plus 512 page writes: 8.69 s.
constexpr double kLineLimitS =
    (kBlocks * (kWriteBytes + kAckBytes) * kByteMs + kBlocks * kPageMs) / 1e3;
// What the virtual module itself needs for a whole run. It answers as soon as a request is
// complete on its side, and a pseudo-terminal delivers the request at once, so only the reply
// bytes and the page writes are paced: detection (7 reply bytes), 512 x (3 + 5 ms), reset (3).
constexpr double kSimFloorS = ((7 + kBlocks * kAckBytes + 3) * kByteMs + kBlocks * kPageMs) / 1e3;
// The same run on a line that carries the requests at 115200 baud too: the line limit plus
// detection (3 + 7 bytes) and reset (3 + 3 bytes).
constexpr double kPacedFloorS = kLineLimitS + (3 + 7 + 3 + 3) * kByteMs / 1e3;

// ---------------------------------------------------------------------------------------------
// The stopwatch the windows reach the serial control through: when a receive notification
// reaches the link's handler and when the next packet is written.

struct Traffic {
    std::vector<double> replyToNext;    // ms, one per packet after the first
    std::vector<double> sendToReceive;  // ms, write to each receive notification
    std::vector<double> outputCost;     // ms spent inside Output
};

class TimedSerial final : public platform::SerialControl {
  public:
    TimedSerial(platform::SerialControl& inner, ProgramState& state) : inner_(inner) {
        // The link's handler as the programmer attaches it, behind a timestamp.
        inner_.SetCommHandler([this, &state] {
            if (inner_.CommEvent() == platform::comm_event::kReceive) {
                lastReceive_ = Wall_Now_Ms();
                if (lastOutput_ != 0) {
                    traffic.sendToReceive.push_back(lastReceive_ - lastOutput_);
                }
            }
            RS232_Interface_OnComm(inner_, state);
        });
    }
    bool Output(std::string_view bytes) override {
        const double t = Wall_Now_Ms();
        if (lastReceive_ != 0) {
            // The notification before a write is the one whose bytes completed the reply.
            traffic.replyToNext.push_back(t - std::exchange(lastReceive_, 0));
        }
        lastOutput_ = t;
        const bool ok = inner_.Output(bytes);
        traffic.outputCost.push_back(Wall_Now_Ms() - t);
        return ok;
    }
    void Reset() {
        traffic = {};
        lastReceive_ = lastOutput_ = 0;
    }
    void SetCommPort(int port) override { inner_.SetCommPort(port); }
    int CommPort() const override { return inner_.CommPort(); }
    bool SetPortOpen(bool open) override { return inner_.SetPortOpen(open); }
    bool PortOpen() const override { return inner_.PortOpen(); }
    bool SetSettings(const std::string& s) override { return inner_.SetSettings(s); }
    std::string Input() override { return inner_.Input(); }
    int CommEvent() const override { return inner_.CommEvent(); }
    void SetCommHandler(std::function<void()> h) override { inner_.SetCommHandler(std::move(h)); }
    std::string LastError() const override { return inner_.LastError(); }
    std::string DevicePath(int port) const override { return inner_.DevicePath(port); }

    Traffic traffic;

  private:
    platform::SerialControl& inner_;
    double lastReceive_ = 0;
    double lastOutput_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The peer: a minimal stop-and-wait client on a plain file descriptor

struct PeerRun {
    bool ok = false;
    Span span;
    std::vector<double> replyToNext;  // ms
    std::vector<double> sendToReply;  // ms
};

PeerRun Run_Peer(const std::string& device, const MemoryImageBytes& image) {
    const int fd = Raw_Open(device);
    if (fd < 0) {
        Die("peer: cannot open " + device + ": " + std::strerror(errno));
    }
    PeerRun r;
    double replyAt = 0;
    // Write, then poll() for the reply; up to three attempts of 3000 ms.
    const auto exchange = [&](std::uint8_t command, std::string_view payload, std::size_t expect) {
        const std::string packet = Build_Request(command, payload);
        for (int attempt = 0; attempt < 3; ++attempt) {
            const double t = Wall_Now_Ms();
            if (replyAt != 0) {
                r.replyToNext.push_back(t - std::exchange(replyAt, 0));
            }
            bool waiting = write(fd, packet.data(), packet.size()) == std::ssize(packet);
            std::string reply;
            char buf[256];
            for (pollfd p{fd, POLLIN, 0}; waiting && reply.size() < expect;) {
                const int left = std::max(0, static_cast<int>(std::ceil(t + 3000 - Wall_Now_Ms())));
                waiting = poll(&p, 1, left) > 0;
                reply.append(buf, static_cast<std::size_t>(std::max(0L, read(fd, buf, 256))));
            }
            if (reply.size() >= expect && reply[0] == packet[0]) {
                replyAt = Wall_Now_Ms();
                r.sendToReply.push_back(replyAt - t);
                return true;
            }
        }
        return false;
    };
    r.span = Measure([&] {
        r.ok = exchange(0x87, "", 7);
        for (std::uint32_t a = 0; r.ok && a < kBlocks * 128; a += 128) {
            std::string payload{static_cast<char>(a >> 24), static_cast<char>(a >> 16),
                                static_cast<char>(a >> 8), static_cast<char>(a)};
            payload.append(reinterpret_cast<const char*>(image.data() + a), 128);
            r.ok = exchange(0x04, payload, 3);
        }
        r.ok = r.ok && exchange(0xFE, "", 3);
    });
    close(fd);
    return r;
}

// ---------------------------------------------------------------------------------------------
// This program's other modes, run as its children

// ---------------------------------------------------------------------------------------------
// Start-up to the main window's first paint, the moment it is on screen (offscreen here).

class FirstPaint final : public QObject {
  public:
    explicit FirstPaint(std::function<void()> done) : done_(std::move(done)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && done_) {
            std::exchange(done_, nullptr)();
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> done_;
};

// `startup T0_MS`: prints the time to the first paint from T0 (before the spawn) and from main().
int Startup_Mode(int argc, char** argv, double t0) {
    const double mainEntry = Wall_Now_Ms();
    QApplication app(argc, argv);
    platform::QtServices qt(Bin_Folder(), platform::PortTable{});
    FakeMessageBox messages;
    platform::Services services = qt.With(messages, qt.dialog, qt.program);
    ProgramState state;
    Attach_Receive_Handler(qt.serial, state);
    SerialWindowHolder serialWindow(services, state);
    frm_Config_LCD window(services, state, &serialWindow);
    FirstPaint paint([&] {
        const double t = Wall_Now_Ms();
        std::printf("%.6f %.6f\n", t - t0, t - mainEntry);
        std::fflush(stdout);
        QTimer::singleShot(0, &app, [] { QApplication::exit(0); });
    });
    window.installEventFilter(&paint);
    if (!window.Form_Load()) {
        return 1;
    }
    window.show();
    return QApplication::exec();
}

struct Startups {
    std::vector<double> fromSpawnMs;
    std::vector<double> fromMainMs;
};

Startups Measure_Startups(int count) {
    Startups times;
    for (int i = 0; i < count; ++i) {
        ChildProcess child({"/proc/self/exe", "startup", Ms(Wall_Now_Ms(), 6)});
        const std::string line = child.Next_Line(60000).value_or("");
        double fromSpawn = 0, fromMain = 0;
        if (std::sscanf(line.c_str(), "%lf %lf", &fromSpawn, &fromMain) == 2) {
            times.fromSpawnMs.push_back(fromSpawn);
            times.fromMainMs.push_back(fromMain);
        }
    }
    return times;
}

// ---------------------------------------------------------------------------------------------
// The steps of the bench, each on the desk

// What the serial window's runs report, heard beside the window's own view.
class RunRecord final : public RunObserver {
  public:
    void Phase_Changed(RunPhase phase) override {
        if (phase == RunPhase::Detection) {
            sent = received = 0;
        }
    }
    void Packet_Sent(std::string_view) override { ++sent; }
    void Reply_Received(std::string_view, bool) override { ++received; }
    void Run_Ended(const RunResult& r) override { result = r; }

    int sent = 0;
    int received = 0;
    RunResult result;
};

struct ProgramRun {
    Span span;
    bool ok = false;
    std::string counters;
    Traffic traffic;
};

struct Stops {
    std::vector<double> returnMs;   // the post of the Stop click to the write command's return
    std::vector<double> handledMs;  // the post to StopRequested set
    int honoured = 0;
};

struct Figures {
    Startups startup;
    std::vector<double> compileMs;
    ProgramRun direct, paced;
    PeerRun peer, pacedPeer;
    Stops stops;
    Span silent;
    bool silentOk = false;
};

// Compile alone, as the write command runs it.
std::vector<double> Compile_Times(Desk& desk, int count) {
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const double t = Wall_Now_Ms();
        if (!Compile_Image(CompilerIo{desk.services.files, desk.messages}, desk.state)) {
            Die("compile failed");
        }
        times.push_back(Wall_Now_Ms() - t);
    }
    return times;
}

// Picks "COM n" in the port box, as the operator does, and opens it.
void Port_On(Desk& desk, int com) {
    auto* combo = desk.Serial_Window()->findChild<QComboBox*>(QStringLiteral("cmb_RS232"));
    if (combo == nullptr || com < 1 || com > combo->count()) {
        Die("no COM " + std::to_string(com) + " in the port box");
    }
    combo->setCurrentIndex(com - 1);
    combo->setEditText(combo->itemText(com - 1));
    desk.Click("cmd_ON");
    if (!desk.qt.serial.PortOpen()) {
        Die("ON did not open COM " + std::to_string(com));
    }
}

// The whole run as the write command runs it (with the compile, 0.2 ms).
ProgramRun Program_Run(Desk& desk, const RunRecord& record, TimedSerial& serial, int com) {
    Port_On(desk, com);
    ProgramRun r;
    serial.Reset();
    desk.messages.shown.clear();
    r.span = Measure([&] { desk.Click("cmd_Write_RS232"); });
    r.counters = std::to_string(record.sent) + "/" + std::to_string(record.received);
    r.ok = record.result.failure == RunFailure::None && record.sent == 514 &&
           record.received == 514 && desk.messages.shown.empty();
    r.traffic = serial.traffic;
    desk.Click("cmd_OFF");
    return r;
}

// Stop during a wait: a click arriving from outside while the run sleeps in its yield.
Stops Stop_Runs(Desk& desk, int com, int count) {
    Port_On(desk, com);
    Stops stops;
    std::mt19937 random(12345);
    for (int i = 0; i < count; ++i) {
        std::atomic<double> postedAt{0};
        double handledAt = 0;
        const auto delay = std::chrono::milliseconds(200 + random() % 400);
        const auto clickStop = [&] {
            desk.Click("cmd_Stop_RS232");
            handledAt = Wall_Now_Ms();
        };
        std::thread clicker([&] {
            std::this_thread::sleep_for(delay);
            postedAt = Wall_Now_Ms();
            // Queued to the window thread, which is asleep in the run's wait: the post wakes
            // it, as the window system's click would.
            QMetaObject::invokeMethod(qApp, clickStop, Qt::QueuedConnection);
        });
        desk.Click("cmd_Write_RS232");
        const double returned = Wall_Now_Ms();
        clicker.join();
        if (desk.state.StopRequested && postedAt != 0 && returned > postedAt) {
            ++stops.honoured;
            stops.returnMs.push_back(returned - postedAt);
            stops.handledMs.push_back(handledAt - postedAt);
        }
    }
    desk.Click("cmd_OFF");
    return stops;
}

// A silent module: three waits of 3000 ms, all asleep.
bool Silent_Run(Desk& desk, const RunRecord& record, int com, Span& span) {
    Port_On(desk, com);
    desk.messages.shown.clear();
    span = Measure([&] { desk.Click("cmd_Write_RS232"); });
    desk.Click("cmd_OFF");
    return desk.messages.shown.size() == 1 && record.result.failure == RunFailure::ModuleNotFound;
}

// ---------------------------------------------------------------------------------------------
// The report

void Row(const std::vector<std::string>& cells) {
    std::string s = "|";
    for (const auto& c : cells) {
        s += " " + c + " |";
    }
    std::printf("%s\n", s.c_str());
}

void Print_Table(const Figures& f, int stopCount) {
    std::ifstream loadavg("/proc/loadavg");
    std::string load[3];
    loadavg >> load[0] >> load[1] >> load[2];
    std::printf(
        "\nline limit %.4f s = 512 x 138 bytes x %.2f us + 512 x 5 ms. Floors: paced "
        "line %.4f s (limit + detection and reset), module direct %.4f s (the module "
        "does not charge the requests' wire time). Load %s\n\n",
        kLineLimitS, kByteMs * 1e3, kPacedFloorS, kSimFloorS,
        (load[0] + " " + load[1] + " " + load[2]).c_str());
    Row({"client", "line", "run s", "x line limit", "x floor", "CPU % run", "CPU % silent 9 s",
         "reply->next median ms", "reply->next p99 ms", "Stop->return median/max ms",
         "compile median ms", "start-up to window ms"});
    Row(std::vector<std::string>(12, "---"));
    const std::string silent = Ms(f.silent.cpuPercent, 2) + " (" + Ms(f.silent.wallS, 2) + " s" +
                               (f.silentOk ? "" : ", FAILED") + ")";
    const std::string stop =
        Ms(Percentile(f.stops.returnMs, 50)) + " / " + Ms(Percentile(f.stops.returnMs, 100)) +
        " (" + std::to_string(f.stops.honoured) + "/" + std::to_string(stopCount) + ")";
    const std::string startup = Ms(Percentile(f.startup.fromSpawnMs, 50), 1) + " (main() " +
                                Ms(Percentile(f.startup.fromMainMs, 50), 1) + ")";
    const auto row = [&](const std::string& client, const char* where, const Span& s, double floor,
                         const std::vector<double>& replyToNext, bool extras) {
        Row({client, where, Ms(s.wallS, 3), Ms(s.wallS / kLineLimitS, 3), Ms(s.wallS / floor, 3),
             Ms(s.cpuPercent, 2), extras ? silent : "-", Ms(Percentile(replyToNext, 50)),
             Ms(Percentile(replyToNext, 99)), extras ? stop : "-",
             extras ? Ms(Percentile(f.compileMs, 50)) : "-", extras ? startup : "-"});
    };
    const auto program = [](const ProgramRun& r) {
        return std::string("lcdprog") + (r.ok ? "" : " (FAILED: " + r.counters + ")");
    };
    const auto peer = [](const PeerRun& r) {
        return std::string("peer (stop-and-wait)") + (r.ok ? "" : " (FAILED)");
    };
    const char* paced = "paced 115200";
    row(program(f.paced), paced, f.paced.span, kPacedFloorS, f.paced.traffic.replyToNext, false);
    row(peer(f.pacedPeer), paced, f.pacedPeer.span, kPacedFloorS, f.pacedPeer.replyToNext, false);
    const char* direct = "module direct";
    row(program(f.direct), direct, f.direct.span, kSimFloorS, f.direct.traffic.replyToNext, true);
    row(peer(f.peer), direct, f.peer.span, kSimFloorS, f.peer.replyToNext, false);
    std::printf("\n");
}

// Details that explain the figures of the table.
void Print_Details(const Figures& f, int compiles) {
    const Traffic& direct = f.direct.traffic;
    const Traffic& paced = f.paced.traffic;
    const std::vector<double>& r2n = direct.replyToNext;
    const auto k = static_cast<long>(std::min<std::size_t>(64, r2n.size() / 2));
    const std::vector<double> early(r2n.begin(), r2n.begin() + k), late(r2n.end() - k, r2n.end());
    const auto p = [](const std::vector<double>& v, double at) { return Ms(Percentile(v, at)); };
    std::printf(
        "detail: lcdprog reply->next over %zu packets: min %s, p90 %s, max %s ms; first %ld "
        "median %s ms, last %ld median %s ms (equal when each packet costs the same)\n",
        r2n.size(), p(r2n, 0).c_str(), p(r2n, 90).c_str(), p(r2n, 100).c_str(), k,
        p(early, 50).c_str(), k, p(late, 50).c_str());
    std::printf(
        "detail: lcdprog write->receive notification median %s ms (module: 5 ms + 3 bytes = "
        "%.3f ms), Output() median %s ms\n",
        p(direct.sendToReceive, 50).c_str(), kPageMs + 3 * kByteMs,
        p(direct.outputCost, 50).c_str());
    std::printf(
        "detail: Stop click handled (StopRequested set) median %s, max %s ms after the post\n",
        p(f.stops.handledMs, 50).c_str(), p(f.stops.handledMs, 100).c_str());
    std::printf("detail: peer reply->next p99 %s, max %s ms; compile min %s, max %s ms over %d\n",
                p(f.peer.replyToNext, 99).c_str(), p(f.peer.replyToNext, 100).c_str(),
                p(f.compileMs, 0).c_str(), p(f.compileMs, 100).c_str(), compiles);
    std::printf(
        "detail: paced line: lcdprog reply->next p90 %s, max %s ms; write->reply (135 + 3 "
        "bytes + 5 ms = %.3f ms) lcdprog median %s, mean %s, p99 %s ms; peer median %s, "
        "mean %s, p99 %s ms\n",
        p(paced.replyToNext, 90).c_str(), p(paced.replyToNext, 100).c_str(),
        kPageMs + (kWriteBytes + kAckBytes) * kByteMs, p(paced.sendToReceive, 50).c_str(),
        Ms(Mean(paced.sendToReceive)).c_str(), p(paced.sendToReceive, 99).c_str(),
        p(f.pacedPeer.sendToReply, 50).c_str(), Ms(Mean(f.pacedPeer.sendToReply)).c_str(),
        p(f.pacedPeer.sendToReply, 99).c_str());
}

void Print_Result(const Figures& f, bool ok) {
    const std::vector<double>& r2n = f.direct.traffic.replyToNext;
    std::printf("RESULT paced_s=%.4f paced_peer_s=%.4f paced_cpu=%.3f paced_r2n_p99=%.4f ",
                f.paced.span.wallS, f.pacedPeer.span.wallS, f.paced.span.cpuPercent,
                Percentile(f.paced.traffic.replyToNext, 99));
    std::printf(
        "run_s=%.4f peer_s=%.4f run_cpu=%.3f silent_cpu=%.3f r2n_med=%.4f r2n_p99=%.4f "
        "peer_r2n_p99=%.4f stop_med=%.3f stop_max=%.3f compile=%.4f startup=%.2f ok=%d\n",
        f.direct.span.wallS, f.peer.span.wallS, f.direct.span.cpuPercent, f.silent.cpuPercent,
        Percentile(r2n, 50), Percentile(r2n, 99), Percentile(f.peer.replyToNext, 99),
        Percentile(f.stops.returnMs, 50), Percentile(f.stops.returnMs, 100),
        Percentile(f.compileMs, 50), Percentile(f.startup.fromSpawnMs, 50), ok ? 1 : 0);
}

// ---------------------------------------------------------------------------------------------
// The bench proper

struct Options {
    int startups = 5;
    int compiles = 101;
    int stops = 10;
};

int Bench_Mode(int argc, char** argv, const Options& opt) {
    Figures f;
    f.startup = Measure_Startups(opt.startups);

    TempFolder folder;
    const std::vector<std::string> line = {"--baud", "115200", "--page-ms", "5"};
    SimProcess direct(folder, line, "direct", false);
    SimProcess pacedModule(folder, line, "paced", false);
    SimProcess silent(folder, {"--baud", "115200", "--page-ms", "5", "--fault", "silent"}, "silent",
                      false);
    for (SimProcess* sim : {&direct, &pacedModule, &silent}) {
        if (!sim->Next_Device()) {
            Die("lcdprog-sim did not start: " + sim->Log());
        }
    }
    ChildProcess paced({"/proc/self/exe", "relay", pacedModule.Link()});
    const std::string pacedLink = folder / ("paced-" + std::to_string(getpid()));
    std::filesystem::create_symlink(paced.Next_Line().value_or("(none)"), pacedLink);

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    std::optional<TimedSerial> serial;
    Desk desk(
        {direct.Link(), pacedLink, silent.Link()},  // COM 1, 2, 3
        [&serial](platform::SerialControl& s, ProgramState& state) -> platform::SerialControl& {
            return serial.emplace(s, state);
        });
    if (!desk.Open()) {
        Die("the windows did not start");
    }
    RunRecord record;
    desk.Serial_Window()->Run_Feed().Subscribe(record);
    f.compileMs = Compile_Times(desk, opt.compiles);
    f.direct = Program_Run(desk, record, *serial, 1);
    f.peer = Run_Peer(direct.Link(), desk.state.MemoryImage);  // with the program's port closed
    f.paced = Program_Run(desk, record, *serial, 2);
    f.pacedPeer = Run_Peer(pacedLink, desk.state.MemoryImage);
    f.stops = Stop_Runs(desk, 1, opt.stops);
    f.silentOk = Silent_Run(desk, record, 3, f.silent);

    const bool ok = f.direct.ok && f.peer.ok && f.paced.ok && f.pacedPeer.ok && f.silentOk;
    Print_Table(f, opt.stops);
    Print_Details(f, opt.compiles);
    Print_Result(f, ok && f.stops.honoured == opt.stops);
    return ok ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Options opt;
    int qtArgc = 1;  // Qt only sees the program name
    for (int i = 1; i < argc; i += 2) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (a == "startup") {
            return Startup_Mode(qtArgc, argv, std::atof(value));
        } else if (a == "relay") {
            return Run_Paced_Line(value);
        } else if (a == "--bin" && *value != '\0') {
            setenv("LCDPROG_BIN", value, 1);  // for the modules, the windows and the children
        } else if (a == "--startups" || a == "--compiles") {
            (a == "--startups" ? opt.startups : opt.compiles) = std::max(1, std::atoi(value));
        } else if (a == "--stops") {
            opt.stops = std::max(0, std::atoi(value));
        } else {
            std::fprintf(stderr,
                         "usage: lcdprog-bench-run [--bin DIR] [--startups N] [--compiles N] "
                         "[--stops N]\n");
            return 2;
        }
    }
    return Bench_Mode(qtArgc, argv, opt);
}
