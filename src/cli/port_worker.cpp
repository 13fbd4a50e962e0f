#include "cli/port_worker.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "cli/write_all.h"
#include "link/mod_RS232.h"
#include "link/programming_run.h"
#include "link/run_log.h"
#include "link/run_outcome.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/qt/log.h"
#include "platform/qt/qt_core_services.h"
#include "state/mod_variabili.h"

namespace lcdprog::cli {
namespace {

// While the programmed unit still answers, --loop asks again after this pause.
constexpr std::uint32_t kStillThereMs = 1000;
// A port that vanished (USB adapter unplugged) is opened again after this pause.
constexpr std::uint32_t kReopenMs = 3000;

// LCDPROG_PORT_PAUSE_MS, for the tests only: both pauses of --loop this long, so that a test of
// the continuous cycle on a virtual module that hangs up and comes back waits milliseconds, not
// seconds. Not in the help: a plant has no reason to change them.
std::uint32_t Pause_Ms(std::uint32_t usual) {
    bool given = false;
    const int ms = qEnvironmentVariableIntValue("LCDPROG_PORT_PAUSE_MS", &given);
    return given && ms >= 0 ? static_cast<std::uint32_t>(ms) : usual;
}

// Whole lines straight to the pipe: nothing is left in a buffer when the process ends early.
void Emit(const QJsonObject& event) {
    QByteArray line = QJsonDocument(event).toJson(QJsonDocument::Compact);
    line += '\n';
    // A failure means the parent is gone; it learns nothing more from us anyway.
    Write_All(STDOUT_FILENO, line.constData(), static_cast<std::size_t>(line.size()));
}

enum class Phase { Idle, Probe, Detect, Write, Reset };

// The quiet detections of --loop: all they tell is whether a request went unanswered.
class ProbeWatch final : public RunObserver {
  public:
    void Reply_Received(std::string_view, bool valid) override { missed = missed || !valid; }
    bool missed = false;
};

// The unit's run, as its events tell it: which step is on the line, which block goes out, and
// when a block is sent again.
class Worker final : public RunObserver {
  public:
    Worker(std::string device, bool loop)
        : device_(std::move(device)),
          loop_(loop),
          services_({}, platform::PortTable({device_})),
          clock_(services_.clock),
          pump_(services_.pump),
          serial_(services_.serial) {
        Attach_Receive_Handler(serial_, state_);
        // Watching the device node too: a node that goes away closes the port even where the
        // driver reports no error.
        serial_.SetPortsChangedHandler([] {});
        feed_.Subscribe(*this);
        feed_.Subscribe(runLog_);
    }

    int Run();

    void Phase_Changed(RunPhase phase) override;
    void Block_Started(int k) override;
    void Attempt(int n) override { attempt_ = n; }
    void Packet_Sent(std::string_view bytes) override;

  private:
    bool Read_Image();
    bool Open_Line();
    bool Open_Port();
    std::string Read_Command_Line();
    void Watch_Commands();
    void On_Commands();
    void On_Stop();
    bool Run_Unit();  // true when programmed
    // The unit's result event.
    QJsonObject Result(RunOutcome outcome);
    void Wait_For_Module(bool present);
    void Wait_For_Go();
    void Pause(std::uint32_t ms);

    const std::string device_;
    const bool loop_;
    // What every program that runs the link builds; its table holds this one device, "COM 1".
    platform::QtCoreServices services_;
    ProgramState state_;
    platform::Clock& clock_;
    platform::EventPump& pump_;
    platform::SerialControl& serial_;

    // A port closed under the run (its device gone) ends the unit at once: no retries on a dead
    // line, for the window's waits are no use to a bench whose operator just pulled a cable.
    platform::KeptMessages messages_;
    RunFeed feed_;
    RunLog runLog_{device_, [](RunLog::Level level, const std::string& line) {
                       platform::Log_Line(platform::Link_Log(),
                                          level == RunLog::Level::Failure ? QtWarningMsg
                                          : level == RunLog::Level::Step  ? QtInfoMsg
                                                                          : QtDebugMsg,
                                          line);
                   }};
    const LinkIo io_{state_, serial_, clock_, pump_, messages_, feed_, /*endOnClosedPort=*/true};

    // The quiet detections of --loop: their messages dropped.
    ProbeWatch probe_;
    platform::KeptMessages probeMessages_;
    const LinkIo probeIo_{
        state_, serial_, clock_, pump_, probeMessages_, probe_, /*endOnClosedPort=*/true};
    const std::uint32_t stillThereMs_ = Pause_Ms(kStillThereMs);
    const std::uint32_t reopenMs_ = Pause_Ms(kReopenMs);

    Phase phase_ = Phase::Idle;
    bool stop_ = false;
    int unit_ = 0;
    int block_ = 0;
    int attempt_ = 0;  // of the exchange on the line
    int retries_ = 0;
    std::uint32_t unitStarted_ = 0;
    int goes_ = 0;  // "go" lines not yet taken by a unit
    std::unique_ptr<QSocketNotifier> commands_;
    std::string pendingCommands_;
};

void Worker::Phase_Changed(RunPhase phase) {
    if (phase == RunPhase::Reset) {
        phase_ = Phase::Reset;
    }
}

void Worker::Block_Started(int k) {
    phase_ = Phase::Write;
    block_ = k;
    Emit({{"event", "block"}, {"block", k}});
}

void Worker::Packet_Sent(std::string_view) {
    if (phase_ == Phase::Write && attempt_ > 1) {
        ++retries_;
        Emit({{"event", "retry"}, {"block", block_}, {"attempt", attempt_}});
    }
}

bool Worker::Read_Image() {
    std::size_t got = 0;
    while (got < state_.MemoryImage.size()) {
        const ssize_t n =
            ::read(STDIN_FILENO, state_.MemoryImage.data() + got, state_.MemoryImage.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// Exactly as the window's ON: "COM 1" of a table that holds this one device, then the line
// settings on the open port.
bool Worker::Open_Line() {
    serial_.SetCommPort(1);
    return serial_.SetPortOpen(true) && serial_.SetSettings(kLineSettings);
}

bool Worker::Open_Port() {
    if (Open_Line()) {
        qCInfo(platform::Link_Log, "%s: port opened", device_.c_str());
        return true;
    }
    std::string reason = serial_.LastError();
    if (reason.empty()) {
        reason = "Impossibile aprire la porta " + device_ + ".";
    }
    qCWarning(platform::Link_Log, "%s: port not opened: %s", device_.c_str(), reason.c_str());
    if (serial_.PortOpen()) {
        serial_.SetPortOpen(false);
    }
    Emit({{"event", "open-failed"}, {"error", QString::fromStdString(reason)}});
    return false;
}

// Before the run nothing else needs the thread, so the first command is simply read.
std::string Worker::Read_Command_Line() {
    std::string line;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return "stop";
        }
        if (c == '\n') {
            return line;
        }
        line += c;
    }
}

// From here on commands arrive while the link waits: they are read in its event pump.
void Worker::Watch_Commands() {
    const int flags = ::fcntl(STDIN_FILENO, F_GETFL);
    ::fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK);
    commands_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(commands_.get(), &QSocketNotifier::activated, [this] { On_Commands(); });
}

void Worker::On_Commands() {
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) {
            pendingCommands_.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            // The parent is gone: stop, and stop listening (a pipe at its end is always
            // readable, and the notifier would fire for ever).
            commands_->setEnabled(false);
            On_Stop();
        }
        break;
    }
    std::size_t eol = 0;
    while ((eol = pendingCommands_.find('\n')) != std::string::npos) {
        const std::string command = pendingCommands_.substr(0, eol);
        pendingCommands_.erase(0, eol + 1);
        if (command == "stop" || command == "quit") {
            On_Stop();
        } else if (command == "go") {
            ++goes_;
        }
    }
}

void Worker::On_Stop() {
    if (stop_) {
        return;
    }
    stop_ = true;
    switch (phase_) {
        case Phase::Write:
            state_.StopRequested = true;  // the window's Stop: the run ends at its next wait
            return;
        case Phase::Idle:
            return;  // between steps: the unit ends as it is and no further unit starts
        case Phase::Probe:
            Emit({{"event", "stopped"}});
            break;
        case Phase::Detect:
        case Phase::Reset: {
            // Nothing has been written yet, or the reset request is already on the line: no
            // reason to keep the operator waiting up to nine seconds for a silent module.
            RunOutcome stopped;
            stopped.failure = RunFailure::Stopped;
            stopped.blocks = phase_ == Phase::Reset ? kBlocks : 0;
            Emit(Result(stopped));
            break;
        }
    }
    ::_exit(kExitInterrupted);
}

QJsonObject Worker::Result(RunOutcome outcome) {
    const bool ok = outcome.failure == RunFailure::None;
    // The window's message boxes become the unit's failure text; a lost port's is the control's
    // own, which names the device (the boxes would only list every step that then failed).
    std::string error = messages_.Joined("\r\n");
    if (outcome.failure == RunFailure::PortLost) {
        error = serial_.LastError();
        if (error.empty()) {
            error = "Il dispositivo " + device_ + " non risponde più: porta chiusa.";
        }
    }
    QJsonObject result{{"event", ok ? "done" : "failed"},
                       {"unit", unit_},
                       {"blocks", outcome.blocks},
                       {"retries", retries_},
                       {"seconds", (clock_.Milliseconds() - unitStarted_) / 1000.0}};
    if (outcome.block) {
        result.insert("block", *outcome.block);
    }
    if (!error.empty()) {
        result.insert("error", QString::fromStdString(error));
    }
    if (!ok) {
        result.insert("failure", Run_Failure_Name(outcome.failure));
    }
    if (outcome.failure == RunFailure::Stopped) {
        result.insert("interrupted", true);
    }
    return result;
}

// One unit: the run of the window's "Scrivi modulo LCD" after its compile, on the image the
// parent sent.
bool Worker::Run_Unit() {
    ++unit_;
    messages_.texts.clear();
    retries_ = 0;
    block_ = 0;
    attempt_ = 0;
    state_.StopRequested = false;
    Emit({{"event", "start"}, {"unit", unit_}});
    unitStarted_ = clock_.Milliseconds();

    phase_ = Phase::Detect;
    const RunResult run = Write_Memory_Image(io_);
    phase_ = Phase::Idle;
    Emit(Result(Outcome_Of(run, (clock_.Milliseconds() - unitStarted_) / 1000.0)));
    return run.failure == RunFailure::None;
}

void Worker::Pause(std::uint32_t ms) {
    const std::uint32_t start = clock_.Milliseconds();
    for (;;) {
        const std::uint32_t elapsed = clock_.Milliseconds() - start;
        if (elapsed >= ms) {
            return;
        }
        pump_.Yield(ms - elapsed);
    }
}

// Quiet detections until a module answers (present) or until one goes unanswered (the unit
// was taken away). Each attempt waits up to 3000 ms in the link's pump, so nothing spins; a
// unit that still answers is asked again once a second.
void Worker::Wait_For_Module(bool present) {
    phase_ = Phase::Probe;
    Emit({{"event", "waiting"}, {"for", present ? "plug" : "unplug"}});
    for (;;) {
        if (!present && !serial_.PortOpen()) {
            break;  // the line dropped (adapter unplugged): the unit is no longer there
        }
        if (!serial_.PortOpen() && !Open_Line()) {
            serial_.SetPortOpen(false);
            Pause(reopenMs_);
            continue;
        }
        probe_.missed = false;
        probeMessages_.texts.clear();
        const bool answered = Find_Module(probeIo_);
        if (present && answered) {
            break;
        }
        if (!present && (probe_.missed || !answered)) {
            break;
        }
        if (answered) {
            Pause(stillThereMs_);
        }
    }
    phase_ = Phase::Idle;
}

// --loop: the parent arms every unit (the work order may be complete, or the operator has not
// given the next unit's serial number yet). Nothing is under way meanwhile, so a stop ends the
// process at once.
void Worker::Wait_For_Go() {
    phase_ = Phase::Probe;
    Emit({{"event", "waiting"}, {"for", "go"}});
    while (goes_ == 0) {
        pump_.Yield(60000);
    }
    --goes_;
    phase_ = Phase::Idle;
}

int Worker::Run() {
    if (!Read_Image()) {
        Emit({{"event", "open-failed"}, {"error", "Immagine non ricevuta."}});
        return kExitUsage;
    }
    if (!Open_Port()) {
        return kExitUsage;
    }
    Emit({{"event", "ready"}});
    if (Read_Command_Line() != "go") {
        return kExitUsage;
    }
    Watch_Commands();
    if (!loop_) {
        const bool ok = Run_Unit();
        return stop_ ? kExitInterrupted : ok ? kExitOk : kExitFailed;
    }
    // A stop while waiting ends the process from inside the wait; one during a unit ends the
    // loop after it.
    bool anyFailed = false;
    for (;;) {
        Wait_For_Module(true);
        anyFailed = !Run_Unit() || anyFailed;
        if (stop_) {
            break;
        }
        Wait_For_Module(false);
        Wait_For_Go();
    }
    return stop_ ? kExitInterrupted : anyFailed ? kExitFailed : kExitOk;
}

}  // namespace

int Run_Port_Worker(const std::string& device, bool loop) {
    // Ctrl-C reaches every process of the terminal's group; a port's process stops only when
    // its parent says so, so that it stops the way the window's Stop does.
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    Worker worker(device, loop);
    return worker.Run();
}

}  // namespace lcdprog::cli
