#include "cli/port_supervisor.h"

#include <signal.h>

#include <QDateTime>
#include <QJsonDocument>
#include <algorithm>
#include <cstdio>

#include "cli/cli_options.h"
#include "link/mod_RS232.h"
#include "platform/decimal_text.h"
#include "platform/qt/log.h"
#include "platform/qt/port_table.h"

namespace lcdprog::cli {

struct PortSupervisor::Job {
    PortState& port;
    std::unique_ptr<QProcess> process;
    QByteArray pending;
};

void UnitCounts::Add(const UnitResult& result) {
    if (result.Ok()) {
        ++programmed;
    } else if (result.Interrupted()) {
        ++interrupted;
    } else {
        ++failed;
    }
}

UnitCounts& UnitCounts::operator+=(const UnitCounts& other) {
    programmed += other.programmed;
    failed += other.failed;
    interrupted += other.interrupted;
    return *this;
}

std::optional<int> Seconds_Left(const PortState& port, qint64 nowMs) {
    if (port.step != PortStep::Writing || port.writeStartedMs < 0) {
        return std::nullopt;
    }
    return lcdprog::Seconds_Left(port.block,
                                 static_cast<std::uint64_t>(nowMs - port.writeStartedMs));
}

namespace {

// The outcome exactly as the port process wrote it.
RunOutcome Outcome_From(const QJsonObject& event, const std::string& error) {
    RunOutcome outcome;
    if (event.value("event").toString() != "done") {
        // Every port process names the kind; a line without a known one still says the unit was
        // not programmed, and the process that wrote it went wrong: told as a lost port.
        outcome.failure = Parse_Run_Failure(event.value("failure").toString().toStdString())
                              .value_or(RunFailure::PortLost);
        if (outcome.failure == RunFailure::None) {
            outcome.failure = RunFailure::PortLost;
        }
    }
    outcome.blocks = event.value("blocks").toInt();
    if (event.contains("block")) {
        outcome.block = event.value("block").toInt();
    }
    outcome.seconds = event.value("seconds").toDouble();
    if (outcome.failure == RunFailure::PortLost) {
        outcome.why = error;
    }
    return outcome;
}

}  // namespace

PortSupervisor::PortSupervisor(SupervisorSettings settings, const MemoryImageBytes& image)
    : settings_(std::move(settings)),
      image_(image),
      sha256_(Image_Sha256(image)),
      good_(settings_.goodBefore) {
    clock_.start();
}

// A process still running when its owner goes (the station closed by the system) is killed by
// QProcess; its port closes with it.
PortSupervisor::~PortSupervisor() {
    for (auto& job : jobs_) {
        if (job->process) {
            job->process->disconnect();
        }
    }
}

platform::Result<> PortSupervisor::Open_Record(const QString& path, RecordContext context) {
    auto file = std::make_unique<records::RecordFile>();
    if (platform::Result<> opened = file->Open(path); !opened) {
        return opened;
    }
    record_ = std::move(file);
    context_ = std::move(context);
    if (context_.station.isEmpty()) {
        context_.station = records::Default_Station_Name();
    }
    return platform::kDone;
}

bool PortSupervisor::All_Ended() const {
    return std::all_of(ports_.begin(), ports_.end(), [](const auto& p) { return p->ended; });
}

void PortSupervisor::Start(const std::vector<std::string>& devices,
                           const std::vector<std::string>& positions) {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const std::string& device = devices[i];
        auto port = std::make_unique<PortState>();
        port->device = device;
        port->position = i < positions.size() ? positions[i] : std::string();
        port->byId = platform::By_Id_Name(device);
        jobs_.push_back(std::make_unique<Job>(Job{*port, nullptr, {}}));
        ports_.push_back(std::move(port));
    }
    for (auto& job : jobs_) {
        Start_Process(*job);
    }
}

void PortSupervisor::Start_Process(Job& job) {
    job.process = std::make_unique<QProcess>();
    QProcess& p = *job.process;
    p.setProgram(settings_.program);
    QStringList args{QString::fromUtf8(kWorkerCommand), QString::fromStdString(job.port.device)};
    if (settings_.loop) {
        args << QStringLiteral("--loop");
    }
    if (platform::Run_Log_Wanted()) {
        args << QStringLiteral("--verbose");  // its run's steps go to our standard error
    }
    qCInfo(platform::Cli_Log, "%s: starting its process: %s %s", job.port.device.c_str(),
           qPrintable(settings_.program), qPrintable(args.join(QLatin1Char(' '))));
    p.setArguments(args);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Ctrl-C at the terminal reaches the whole process group: the ports' processes leave it to
    // their parent, which tells each of them to stop as the window's Stop does.
    p.setChildProcessModifier([] { ::signal(SIGINT, SIG_IGN); });
    QObject::connect(&p, &QProcess::readyReadStandardOutput, [this, &job] { On_Output(job); });
    QObject::connect(&p, &QProcess::finished, [this, &job](int code, QProcess::ExitStatus status) {
        On_Finished(job, code, status);
    });
    // A program that cannot be started (missing, or no process left to fork) never sends
    // finished: without this its port would wait for ever and the run would never end. Queued,
    // since start() may report it before the caller has entered its event loop.
    QObject::connect(
        &p, &QProcess::errorOccurred, &p,
        [this, &job](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart && !job.port.ended) {
                job.port.openError = "impossibile avviare " + settings_.program.toStdString();
                On_Finished(job, -1, QProcess::CrashExit);
            }
        },
        Qt::QueuedConnection);
    p.start();
    p.write(reinterpret_cast<const char*>(image_.data()), static_cast<qint64>(image_.size()));
}

void PortSupervisor::Send(Job& job, const char* command) {
    if (!job.port.ended && job.process->state() != QProcess::NotRunning) {
        job.process->write(command);
    }
}

void PortSupervisor::Stop(Job& job) {
    if (job.port.ended) {
        return;
    }
    if (job.port.goSent) {
        Send(job, "stop\n");
    } else {
        // Not started: the process ends as soon as its port is open (or failed to open).
        job.port.goSent = true;
        Send(job, "quit\n");
    }
}

void PortSupervisor::Stop_All() {
    stopRequested_ = true;
    for (auto& job : jobs_) {
        Stop(*job);
    }
}

void PortSupervisor::Stop_Port(const std::string& device) {
    for (auto& job : jobs_) {
        if (job->port.device == device) {
            Stop(*job);
        }
    }
}

void PortSupervisor::Terminate_All() {
    for (auto& job : jobs_) {
        if (!job->port.ended) {
            job->process->terminate();
        }
    }
}

void PortSupervisor::On_Output(Job& job) {
    if (!job.process->isReadable()) {
        return;  // never started: nothing to read
    }
    job.pending += job.process->readAllStandardOutput();
    qsizetype eol = 0;
    while ((eol = job.pending.indexOf('\n')) >= 0) {
        const QByteArray line = job.pending.left(eol);
        job.pending.remove(0, eol + 1);
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject()) {
            On_Event(job, doc.object());
        }
    }
}

void PortSupervisor::On_Event(Job& job, const QJsonObject& event) {
    PortState& port = job.port;
    const QString kind = event.value("event").toString();
    if (kind == "ready" || kind == "open-failed") {
        port.ready = kind == "ready";
        port.openFailed = !port.ready;
        port.openError = event.value("error").toString().toStdString();
        if (port.openFailed) {
            qCWarning(platform::Cli_Log, "%s: not opened: %s", port.device.c_str(),
                      port.openError.c_str());
        }
        After_Opening(job);
    } else if (kind == "start") {
        port.unit = event.value("unit").toInt();
        if (record_ != nullptr) {
            // The record's number, which counts on across writes and restarts; the process's
            // own count starts at 1 with every process.
            const platform::Result<int> unit =
                record_->Take_Unit(context_.station, context_.project);
            if (unit) {
                port.unit = *unit;
            } else {
                // The record is still written, with the number the port's process gave it.
                Warn_Once(numberingFailed_,
                          unit.Why().text + ": i moduli sono numerati da 1 in ogni processo");
            }
        }
        port.unitOpen = true;
        port.last.reset();
        port.step = PortStep::Detecting;
        port.block = 0;
        port.writeStartedMs = -1;
        Notify([&](PortObserver& o) { o.On_Unit_Start(port); });
    } else if (kind == "block") {
        port.step = PortStep::Writing;
        port.block = event.value("block").toInt();
        if (port.writeStartedMs < 0) {
            port.writeStartedMs = clock_.elapsed();
        }
        Notify([&](PortObserver& o) { o.On_Block(port); });
    } else if (kind == "retry") {
        Notify([&](PortObserver& o) {
            o.On_Retry(port, event.value("block").toInt(), event.value("attempt").toInt());
        });
    } else if (kind == "done" || kind == "failed") {
        On_Result(job, event);
    } else if (kind == "waiting") {
        port.step = PortStep::Waiting;
        port.waitingForPlug = event.value("for").toString() == "plug";
        port.waitingForArm = event.value("for").toString() == "go";
        // The unit it was about is gone; but one whose line dropped under it went in the same
        // moment as its result came, and the operator holding it still needs the verdict.
        if (port.waitingForPlug && port.last &&
            port.last->outcome.failure != RunFailure::PortLost) {
            port.last.reset();
        }
        // Armed at once, it is not waiting for anything worth a line on the terminal.
        Arm_Waiting();
        if (port.step == PortStep::Waiting) {
            Notify([&](PortObserver& o) { o.On_Waiting(port); });
        }
    }
    Notify([&](PortObserver& o) { o.On_Change(); });
}

void PortSupervisor::On_Result(Job& job, const QJsonObject& event) {
    PortState& port = job.port;
    port.unitOpen = false;
    port.step = PortStep::Idle;
    UnitResult r;
    r.unit = port.unit;
    r.retries = event.value("retries").toInt();
    r.error = event.value("error").toString().toStdString();
    r.outcome = Outcome_From(event, r.error);
    r.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
    r.event = event;
    r.serial = port.identity.serial.toStdString();
    port.block = r.outcome.blocks;
    port.counts.Add(r);
    anyFailed_ = anyFailed_ || (!r.Ok() && !r.Interrupted());
    port.last = r;
    port.armed = false;
    good_ += r.Ok() && !port.identity.reprogrammed ? 1 : 0;
    if (r.Ok()) {
        qCInfo(platform::Cli_Log, "%s: unit %d programmed in %.1f s, %d retries",
               port.device.c_str(), r.unit, r.outcome.seconds, r.retries);
    } else {
        // The port's process's text, on the line.
        const QString error = QString::fromStdString(r.error).replace(QStringLiteral("\r\n"), " ");
        qCWarning(platform::Cli_Log, "%s: unit %d %s: %s, %d blocks acknowledged, %d retries: %s",
                  port.device.c_str(), r.unit, r.Interrupted() ? "interrupted" : "failed",
                  Run_Failure_Name(r.outcome.failure), r.outcome.blocks, r.retries,
                  qPrintable(error));
    }
    Notify([&](PortObserver& o) { o.On_Result(port, r); });
    Record(port, r);
    Arm_Waiting();
}

// The unit record: the same fields whichever front end ran the write.
void PortSupervisor::Record(const PortState& port, const UnitResult& r) {
    if (record_ == nullptr) {
        return;
    }
    records::UnitRecord record = records::New_Record();
    record.time = QDateTime::fromString(QString::fromStdString(r.time), Qt::ISODateWithMs);
    record.station = context_.station;
    record.position = QString::fromStdString(port.position);
    record.unit = r.unit;
    record.device = QString::fromStdString(port.device);
    record.byId = QString::fromStdString(port.byId);
    record.project = context_.project;
    record.imageSha256 = QString::fromStdString(sha256_);
    record.result = r.Ok()            ? records::Outcome::Ok
                    : r.Interrupted() ? records::Outcome::Interrupted
                                      : records::Outcome::Failed;
    record.failure = r.outcome.failure;
    record.block = r.outcome.block;
    record.retries = r.retries;
    record.seconds = r.outcome.seconds;
    record.operatorName = context_.operatorName;
    record.workOrder = context_.workOrder;
    record.serial = port.identity.serial;
    record.reprogrammed = port.identity.reprogrammed;
    record.text = QString::fromStdString(Outcome_Text(r.outcome));
    if (const platform::Result<> appended = record_->Append(record); !appended) {
        qCWarning(platform::Records_Log, "unit %d on %s not recorded: %s", r.unit,
                  port.device.c_str(), appended.Text().c_str());
        logFailed_ = true;
        Warn_Once(appendFailed_, appended.Text() + ": le unità seguenti non sono registrate");
        return;
    }
    Notify([&](PortObserver& o) { o.On_Recorded(record); });
}

// Said once: the same failure comes back with every unit, and the operator needs to hear it once.
void PortSupervisor::Warn_Once(bool& said, const std::string& text) {
    if (!said) {
        said = true;
        Notify([&](PortObserver& o) { o.On_Log_Failed(text); });
    }
}

void PortSupervisor::Arm_Waiting() {
    for (auto& job : jobs_) {
        PortState& port = job->port;
        if (!port.waitingForArm || port.ended || stopRequested_) {
            continue;
        }
        if (Quantity_Reached()) {
            break;
        }
        const int underWay = static_cast<int>(
            std::count_if(ports_.begin(), ports_.end(), [](const auto& p) { return p->armed; }));
        if (settings_.quantity > 0 && good_ + underWay >= settings_.quantity) {
            return;
        }
        std::optional<UnitIdentity> identity =
            settings_.nextUnit ? settings_.nextUnit(port) : UnitIdentity{};
        if (!identity) {
            continue;
        }
        port.identity = std::move(*identity);
        port.waitingForArm = false;
        port.armed = true;
        port.armedOnce = true;
        port.goSent = true;
        port.step = PortStep::Detecting;
        started_ = true;
        Send(*job, "go\n");
    }
    // Done: nothing is under way (no unit is armed beyond the quantity), and a port waiting for
    // its unit, for its last one to be taken away or for a new one has nothing left to do.
    if (Quantity_Reached()) {
        for (auto& job : jobs_) {
            if (!job->port.armed && job->port.step == PortStep::Waiting) {
                Stop(*job);
            }
        }
    }
}

void PortSupervisor::On_Finished(Job& job, int exitCode, QProcess::ExitStatus status) {
    On_Output(job);
    PortState& port = job.port;
    port.ended = true;
    if (!port.ready && !port.openFailed) {
        port.openFailed = true;
        if (port.openError.empty()) {
            port.openError = "il processo della porta è terminato prima di aprirla";
        }
        After_Opening(job);
    }
    if (port.unitOpen) {
        // Its process went under the unit: the unit is as good as unplugged, wherever it was.
        QJsonObject lost{{"event", "failed"},
                         {"unit", port.unit},
                         {"blocks", port.step == PortStep::Writing ? port.block : 0},
                         {"retries", 0},
                         {"seconds", 0},
                         {"failure", Run_Failure_Name(RunFailure::PortLost)},
                         {"error", "Il processo della porta è terminato inaspettatamente."}};
        if (port.step == PortStep::Writing) {
            lost.insert("block", port.block);
        }
        On_Result(job, lost);
    }
    const int code = status == QProcess::NormalExit ? exitCode : -1;
    qCInfo(platform::Cli_Log, "%s: its process ended, exit status %d", port.device.c_str(), code);
    port.waitingForArm = false;
    port.armed = false;
    if (code != kExitOk && code != kExitInterrupted && port.armedOnce) {
        anyFailed_ = true;
    }
    Notify([&](PortObserver& o) { o.On_Port_Ended(port); });
    Notify([&](PortObserver& o) { o.On_Change(); });
    if (All_Ended()) {
        Notify([&](PortObserver& o) { o.On_All_Ended(); });
    }
}

void PortSupervisor::After_Opening(Job& job) {
    if (!settings_.allOrNothing) {
        if (job.port.ready && !job.port.goSent) {
            job.port.step = PortStep::Waiting;
            job.port.waitingForArm = true;
            Arm_Waiting();
        }
        openFailures_ = openFailures_ || job.port.openFailed;
        if (std::all_of(ports_.begin(), ports_.end(),
                        [](const auto& p) { return p->ready || p->openFailed; })) {
            Notify([&](PortObserver& o) { o.On_Opening_Done(started_); });
        }
        return;
    }
    // Every port is opened before any is written: a port that cannot be opened stops them all.
    if (openingDone_ || std::any_of(ports_.begin(), ports_.end(),
                                    [](const auto& p) { return !p->ready && !p->openFailed; })) {
        return;
    }
    openingDone_ = true;
    openFailures_ =
        std::any_of(ports_.begin(), ports_.end(), [](const auto& p) { return p->openFailed; });
    if (openFailures_ || stopRequested_) {
        for (auto& j : jobs_) {
            j->port.goSent = true;
            Send(*j, "quit\n");
        }
        Notify([&](PortObserver& o) { o.On_Opening_Done(false); });
        return;
    }
    for (auto& j : jobs_) {
        j->port.step = PortStep::Waiting;
        j->port.waitingForArm = true;
    }
    Arm_Waiting();
    Notify([&](PortObserver& o) { o.On_Opening_Done(true); });
}

}  // namespace lcdprog::cli
