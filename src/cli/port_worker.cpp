#include "cli/port_worker.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/write_all.h"
#include "link/mod_RS232.h"
#include "link/mod_RS232_COD.h"
#include "link/programming_run.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/message_box.h"
#include "platform/qt/qt_core_services.h"
#include "state/mod_variabili.h"

namespace lcdprog::cli {
namespace {

// While the programmed unit still answers, --loop asks again after this pause.
constexpr std::uint32_t kStillThereMs = 1000;
// A port that vanished (USB adapter unplugged) is opened again after this pause.
constexpr std::uint32_t kReopenMs = 3000;

// Whole lines straight to the pipe: nothing is left in a buffer when the process ends early.
void Emit(const QJsonObject& event) {
    QByteArray line = QJsonDocument(event).toJson(QJsonDocument::Compact);
    line += '\n';
    // A failure means the parent is gone; it learns nothing more from us anyway.
    Write_All(STDOUT_FILENO, line.constData(), static_cast<std::size_t>(line.size()));
}

// A counter box: the link writes decimal text; the worker hears each new value.
class Counter final : public platform::TextControl {
  public:
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override {
        text_ = text;
        if (onChange) {
            onChange(std::atoi(text.c_str()));
        }
    }
    std::function<void(int)> onChange;

  private:
    std::string text_ = "0";
};

// Nobody reads the trace here, so it keeps no text. It is still the one place that sees every
// packet go out (the request's line, then painted blue), which tells the worker which step of
// the run is on the line and when a block is sent again.
class PacketWatch final : public platform::RichTextControl {
  public:
    std::string Text() const override { return {}; }
    void SetText(const std::string& text) override { head_ = text.substr(0, 4); }
    void SetSelStart(int) override {}
    void SetSelLength(int) override {}
    void SetSelColor(std::uint32_t rgb) override {
        if (rgb == kSentColour && onSent) {
            onSent(head_);
        }
    }
    // The first byte of the packet just sent, as the trace writes it: "0x87", "0x04", "0xFE".
    std::function<void(const std::string&)> onSent;

  private:
    static constexpr std::uint32_t kSentColour = 0x0000FF;
    std::string head_;
};

class Progress final : public platform::ProgressControl {
  public:
    void SetValue(int value) override {
        value_ = value;
        if (onChange) {
            onChange(value);
        }
    }
    int Value() const override { return value_; }
    std::function<void(int)> onChange;

  private:
    int value_ = 0;
};

enum class Phase { Idle, Probe, Detect, Write, Reset };

class Worker {
  public:
    Worker(std::string device, bool loop)
        : device_(std::move(device)),
          loop_(loop),
          services_({}, platform::PortTable({device_})),
          clock_(services_.clock),
          pump_(services_.pump),
          serial_(services_.serial) {
        Attach_Receive_Handler(serial_, state_);
        trace_.onSent = [this](const std::string& head) { On_Sent(head); };
        // The bar moves to block n just before the block goes out; detection, which also sets
        // it (to 0), does so before its first packet.
        progress_.onChange = [this](int value) {
            if (std::atoi(sends_.Text().c_str()) > 0) {
                phase_ = Phase::Write;
                block_ = value;
                blockSends_ = 0;
                Emit({{"event", "block"}, {"block", value}});
            }
        };
        probeReceived_.onChange = [this](int value) {
            if (value > 0 &&
                !(state_.RxLength >= kFindReplyLength &&
                  Reply_Is_Valid(state_.RxBuffer, COD_FIND_MODULE, kFindReplyLength))) {
                missed_ = true;
            }
        };
    }

    int Run();

  private:
    bool Read_Image();
    bool Open_Line();
    bool Open_Port();
    std::string Read_Command_Line();
    void Watch_Commands();
    void On_Commands();
    void On_Stop();
    void On_Sent(const std::string& head);
    bool Run_Unit();  // true when programmed
    // The unit's result event; block_ holds the blocks acknowledged.
    QJsonObject Result(bool ok, bool interrupted);
    void Wait_For_Module(bool present);
    void Pause(std::uint32_t ms);

    const std::string device_;
    const bool loop_;
    // What every program that runs the link builds; its table holds this one device, "COM 1".
    platform::QtCoreServices services_;
    ProgramState state_;
    platform::Clock& clock_;
    platform::EventPump& pump_;
    platform::SerialControl& serial_;

    Counter sends_;
    Counter received_;
    PacketWatch trace_;
    Progress progress_;
    platform::KeptMessages messages_;
    const LinkIo io_{state_, serial_,   clock_, pump_,    messages_,
                     sends_, received_, trace_, progress_};

    // The quiet detections of --loop: their own boxes, their messages dropped.
    Counter probeSends_;
    Counter probeReceived_;
    Progress probeProgress_;
    platform::KeptMessages probeMessages_;
    const LinkIo probeIo_{state_,      serial_,        clock_, pump_,         probeMessages_,
                          probeSends_, probeReceived_, trace_, probeProgress_};

    Phase phase_ = Phase::Idle;
    bool stop_ = false;
    bool missed_ = false;  // a quiet detection attempt went unanswered
    int unit_ = 0;
    int block_ = 0;
    int blockSends_ = 0;  // sends of the current block
    int retries_ = 0;
    std::uint32_t unitStarted_ = 0;
    std::unique_ptr<QSocketNotifier> commands_;
    std::string pendingCommands_;
};

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
        return true;
    }
    std::string reason = serial_.LastError();
    if (reason.empty()) {
        reason = "Impossibile aprire la porta " + device_ + ".";
    }
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
        case Phase::Reset:
            // Nothing has been written yet, or the reset request is already on the line: no
            // reason to keep the operator waiting up to nine seconds for a silent module.
            Emit(Result(false, true));
            break;
    }
    ::_exit(kExitInterrupted);
}

void Worker::On_Sent(const std::string& head) {
    if (head == "0xFE") {
        phase_ = Phase::Reset;
    } else if (head == "0x04" && phase_ == Phase::Write && ++blockSends_ > 1) {
        ++retries_;
        Emit({{"event", "retry"}, {"block", block_}, {"attempt", blockSends_}});
    }
}

QJsonObject Worker::Result(bool ok, bool interrupted) {
    // The window's message boxes become the unit's failure text.
    const std::string error = messages_.Joined("\r\n");
    QJsonObject result{{"event", ok ? "done" : "failed"},
                       {"unit", unit_},
                       {"blocks", block_},
                       {"retries", retries_},
                       {"seconds", (clock_.Milliseconds() - unitStarted_) / 1000.0}};
    if (!error.empty()) {
        result.insert("error", QString::fromStdString(error));
    }
    if (interrupted) {
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
    sends_.SetText("0");
    received_.SetText("0");
    state_.StopRequested = false;
    Emit({{"event", "start"}, {"unit", unit_}});
    unitStarted_ = clock_.Milliseconds();

    phase_ = Phase::Detect;
    const RunResult run = Write_Memory_Image(io_);
    phase_ = Phase::Idle;
    const bool programmed = run.end == RunEnd::Written;
    const bool stopped = run.end == RunEnd::Stopped;
    if (programmed) {
        block_ = kBlocks;
    }
    const bool ok = programmed && messages_.texts.empty();
    const QJsonObject result = Result(ok, stopped);
    Emit(result);
    return ok;
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
            Pause(kReopenMs);
            continue;
        }
        missed_ = false;
        probeMessages_.texts.clear();
        const bool answered = Find_Module(probeIo_);
        if (present && answered) {
            break;
        }
        if (!present && (missed_ || !answered)) {
            break;
        }
        if (answered) {
            Pause(kStillThereMs);
        }
    }
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
