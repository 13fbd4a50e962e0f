#include "cli/port_supervisor.h"

#include <signal.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <algorithm>
#include <cstdio>

#include "cli/cli_options.h"
#include "link/mod_RS232.h"
#include "platform/decimal_text.h"
#include "platform/qt/port_table.h"

namespace lcdprog::cli {

struct PortSupervisor::Job {
    PortState& port;
    std::unique_ptr<QProcess> process;
    QByteArray pending;
};

std::string Image_Sha256(const Image& image) {
    return QCryptographicHash::hash(
               QByteArrayView(reinterpret_cast<const char*>(image.data()), image.size()),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string One_Line(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i] == '\n' ? ' ' : text[i];
    }
    return out;
}

std::string Seconds_Text(double seconds) {
    return platform::Decimal_Text(seconds, 1) + " s";
}

std::string Unit_Result_Text(const UnitResult& r) {
    if (r.ok) {
        return "programmato in " + Seconds_Text(r.seconds);
    }
    // No block yet: the module was not found (or the stop came during detection).
    std::string text = r.interrupted ? "interrotto" : "fallito";
    if (r.atBlock) {
        // Counted from 1, as the serial window's status line counts them; `blocks` is the
        // failing block's index, which is also the number acknowledged before it.
        text += " al blocco " + std::to_string(r.blocks + 1);
    }
    return text;
}

int Seconds_Left(const PortState& port, qint64 nowMs) {
    if (port.step != PortStep::Writing || port.block < 8 || port.writeStartedMs < 0) {
        return -1;
    }
    const double perBlock = static_cast<double>(nowMs - port.writeStartedMs) / port.block;
    return static_cast<int>(perBlock * (kBlocks - port.block) / 1000.0 + 0.999);
}

namespace {

// Where the unit failed, from the failure kind the port process names; a unit the parent closes
// itself (its process ended under it) names none and counts the blocks it saw written.
bool Failed_At_Block(const QJsonObject& event, int blocks) {
    return blocks > 0 || event.value("failure").toString() == "block-failed";
}

}  // namespace

PortSupervisor::PortSupervisor(SupervisorSettings settings, const Image& image)
    : settings_(std::move(settings)), image_(image), sha256_(Image_Sha256(image)) {
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

bool PortSupervisor::Open_Log(const std::string& path, std::string& error) {
    return log_.Open(path, error);
}

bool PortSupervisor::All_Ended() const {
    return std::all_of(ports_.begin(), ports_.end(), [](const auto& p) { return p->ended; });
}

void PortSupervisor::Start(const std::vector<std::string>& devices) {
    for (const auto& device : devices) {
        auto port = std::make_unique<PortState>();
        port->device = device;
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
        After_Opening(job);
    } else if (kind == "start") {
        port.unit = event.value("unit").toInt();
        port.unitOpen = true;
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
        Notify([&](PortObserver& o) { o.On_Waiting(port); });
    }
    Notify([&](PortObserver& o) { o.On_Change(); });
}

void PortSupervisor::On_Result(Job& job, const QJsonObject& event) {
    PortState& port = job.port;
    port.unitOpen = false;
    port.step = PortStep::Idle;
    UnitResult r;
    r.ok = event.value("event").toString() == "done";
    r.interrupted = event.value("interrupted").toBool();
    r.unit = port.unit;
    r.blocks = event.value("blocks").toInt();
    r.retries = event.value("retries").toInt();
    r.seconds = event.value("seconds").toDouble();
    r.error = event.value("error").toString().toStdString();
    r.atBlock = !r.ok && Failed_At_Block(event, r.blocks);
    r.portLost = event.value("failure").toString() == "port-lost";
    r.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
    r.event = event;
    port.block = r.blocks;
    if (r.ok) {
        ++port.programmed;
    } else {
        ++port.failed;
        anyFailed_ = true;
    }
    port.last = r;
    Notify([&](PortObserver& o) { o.On_Result(port, r); });
    Record(port, r);
}

// The unit record: the same fields whichever front end ran the write.
void PortSupervisor::Record(const PortState& port, const UnitResult& r) {
    QJsonObject record{{"time", QString::fromStdString(r.time)},
                       {"port", QString::fromStdString(port.device)},
                       {"by_id", port.byId.empty() ? QJsonValue(QJsonValue::Null)
                                                   : QJsonValue(QString::fromStdString(port.byId))},
                       {"unit", r.unit},
                       {"image_sha256", QString::fromStdString(sha256_)},
                       {"result", r.ok            ? "ok"
                                  : r.interrupted ? "interrupted"
                                                  : "failed"},
                       {"blocks", r.blocks},
                       {"retries", r.retries},
                       {"seconds", r.seconds}};
    if (!r.error.empty()) {
        record.insert("error", QString::fromStdString(r.error));
    }
    std::string logError;
    if (!log_.Append(record, logError) && !logFailed_) {
        logFailed_ = true;
        Notify([&](PortObserver& o) { o.On_Log_Failed(logError); });
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
        On_Result(job, {{"event", "failed"},
                        {"unit", port.unit},
                        {"blocks", port.block},
                        {"retries", 0},
                        {"seconds", 0},
                        {"error", "Il processo della porta è terminato inaspettatamente."}});
    }
    const int code = status == QProcess::NormalExit ? exitCode : -1;
    if (code != kExitOk && code != kExitInterrupted && started_) {
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
            job.port.goSent = true;
            job.port.step = PortStep::Detecting;
            started_ = true;
            Send(job, "go\n");
        }
        openFailures_ = openFailures_ || job.port.openFailed;
        if (std::all_of(ports_.begin(), ports_.end(),
                        [](const auto& p) { return p->ready || p->openFailed; })) {
            Notify([&](PortObserver& o) { o.On_Opening_Done(started_); });
        }
        return;
    }
    // Every port is opened before any is written: a port that cannot be opened stops them all.
    if (started_ || std::any_of(ports_.begin(), ports_.end(),
                                [](const auto& p) { return !p->ready && !p->openFailed; })) {
        return;
    }
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
    started_ = true;
    for (auto& j : jobs_) {
        j->port.step = PortStep::Detecting;
        j->port.goSent = true;
        Send(*j, "go\n");
    }
    Notify([&](PortObserver& o) { o.On_Opening_Done(true); });
}

}  // namespace lcdprog::cli
