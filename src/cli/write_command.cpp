#include "cli/write_command.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "cli/unit_log.h"
#include "link/mod_RS232.h"
#include "platform/qt/port_table.h"

namespace lcdprog::cli {
namespace {

constexpr int kRedrawMs = 100;       // the terminal's lines, at most ten times a second
constexpr int kPlainEveryMs = 5000;  // one plain line per port this often while writing
constexpr int kBarWidth = 30;

int gSignalPipe[2] = {-1, -1};

void On_Signal(int) {
    const char c = 1;
    (void)!::write(gSignalPipe[1], &c, 1);
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

std::string Seconds_Text(double s) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f s", s);
    return buffer;
}

struct Job {
    std::string device;
    std::string byId;
    std::unique_ptr<QProcess> process;
    QByteArray pending;

    bool ready = false;
    bool openFailed = false;
    std::string openError;
    bool ended = false;

    enum class Step { Opening, Detecting, Writing, Waiting, Idle } step = Step::Opening;
    std::string waitingFor;  // "plug" or "unplug"
    bool unitOpen = false;   // a unit started and has no result yet
    int unit = 0;
    int block = 0;
    qint64 writeStartedMs = -1;
    qint64 lastPlainMs = 0;
    int programmed = 0;
    int failed = 0;
    std::string lastResult;  // what the line shows once the port is idle
};

class WriteRun {
  public:
    WriteRun(const Options& options, const Image& image) : options_(options), image_(image) {
        sha256_ = QCryptographicHash::hash(
                      QByteArrayView(reinterpret_cast<const char*>(image.data()), image.size()),
                      QCryptographicHash::Sha256)
                      .toHex()
                      .toStdString();
        tty_ = !options.quiet && !options.json && ::isatty(STDERR_FILENO) == 1;
        plain_ = !options.quiet && !options.json && !tty_;
        clock_.start();
        redraw_.setSingleShot(true);
        QObject::connect(&redraw_, &QTimer::timeout, [this] { Draw(); });
        plainTick_.setInterval(kPlainEveryMs);
        QObject::connect(&plainTick_, &QTimer::timeout, [this] { Plain_Tick(); });
    }

    int Run();

  private:
    bool Check_Ports();
    bool Install_Signals();
    void Start(Job& job);
    void On_Output(Job& job);
    void On_Event(Job& job, const QJsonObject& event);
    void On_Result(Job& job, const QJsonObject& event);
    void On_Finished(Job& job, int exitCode, QProcess::ExitStatus status);
    void On_Interrupt();
    void After_Opening();
    void Send(Job& job, const char* command);
    void Json_Out(const Job& job, QJsonObject event);

    // Progress on standard error.
    std::string Line_Of(const Job& job) const;
    void Changed();
    void Draw();
    void Note(const std::string& text, bool always = false);
    void Plain_Tick();
    void Summary();

    const Options& options_;
    const Image& image_;
    std::string sha256_;
    std::vector<std::unique_ptr<Job>> jobs_;
    UnitLog log_;
    bool logFailed_ = false;
    bool started_ = false;  // "go" was sent
    int interrupts_ = 0;
    bool openFailures_ = false;
    bool anyFailed_ = false;
    std::unique_ptr<QSocketNotifier> signals_;
    QElapsedTimer clock_;

    bool tty_ = false;
    bool plain_ = false;
    int drawnLines_ = 0;
    QTimer redraw_;
    QTimer plainTick_;
};

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : canonical.string();
}

// Two names for one device would have two processes fight over one line.
bool WriteRun::Check_Ports() {
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < options_.ports.size(); ++i) {
        const std::string canonical = Canonical(options_.ports[i]);
        for (std::size_t j = 0; j < seen.size(); ++j) {
            if (seen[j] != canonical) {
                continue;
            }
            std::string text = "lcdprog-cli: la porta " + options_.ports[i];
            text += options_.ports[i] == options_.ports[j]
                        ? " è indicata due volte"
                        : " è la stessa di " + options_.ports[j] + " (" + canonical + ")";
            std::fprintf(stderr, "%s; nessun modulo è stato scritto.\n", text.c_str());
            return false;
        }
        seen.push_back(canonical);
    }
    return true;
}

bool WriteRun::Install_Signals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gSignalPipe) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = On_Signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    signals_ = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(signals_.get(), &QSocketNotifier::activated, [this] {
        char buffer[16];
        while (::read(gSignalPipe[0], buffer, sizeof buffer) > 0) {
            On_Interrupt();
        }
    });
    return true;
}

void WriteRun::Start(Job& job) {
    job.process = std::make_unique<QProcess>();
    QProcess& p = *job.process;
    p.setProgram(QCoreApplication::applicationFilePath());
    QStringList args{QString::fromUtf8(kWorkerCommand), QString::fromStdString(job.device)};
    if (options_.loop) {
        args << QStringLiteral("--loop");
    }
    p.setArguments(args);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Ctrl-C at the terminal reaches the whole process group: the ports' processes leave it to
    // this one, which tells each of them to stop as the window's Stop does.
    p.setChildProcessModifier([] { ::signal(SIGINT, SIG_IGN); });
    QObject::connect(&p, &QProcess::readyReadStandardOutput, [this, &job] { On_Output(job); });
    QObject::connect(&p, &QProcess::finished, [this, &job](int code, QProcess::ExitStatus status) {
        On_Finished(job, code, status);
    });
    p.start();
    p.write(reinterpret_cast<const char*>(image_.data()), static_cast<qint64>(image_.size()));
}

void WriteRun::Send(Job& job, const char* command) {
    if (!job.ended && job.process->state() != QProcess::NotRunning) {
        job.process->write(command);
    }
}

void WriteRun::On_Output(Job& job) {
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

void WriteRun::Json_Out(const Job& job, QJsonObject event) {
    if (!options_.json) {
        return;
    }
    event.insert("port", QString::fromStdString(job.device));
    const QByteArray line = Json_Line(event);
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fflush(stdout);
}

void WriteRun::On_Event(Job& job, const QJsonObject& event) {
    const QString kind = event.value("event").toString();
    if (kind == "ready") {
        job.ready = true;
        After_Opening();
    } else if (kind == "open-failed") {
        job.openFailed = true;
        job.openError = event.value("error").toString().toStdString();
        After_Opening();
    } else if (kind == "start") {
        job.unit = event.value("unit").toInt();
        job.unitOpen = true;
        job.step = Job::Step::Detecting;
        job.block = 0;
        job.writeStartedMs = -1;
        Json_Out(job, {{"event", "start"},
                       {"unit", job.unit},
                       {"time", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}});
        if (plain_) {
            Note(job.device + ": modulo " + std::to_string(job.unit) + ": inizio");
        }
    } else if (kind == "block") {
        job.step = Job::Step::Writing;
        job.block = event.value("block").toInt();
        if (job.writeStartedMs < 0) {
            job.writeStartedMs = clock_.elapsed();
            job.lastPlainMs = job.writeStartedMs;
        }
        Json_Out(job, {{"event", "block"}, {"block", job.block}});
    } else if (kind == "retry") {
        Json_Out(job, {{"event", "retry"},
                       {"block", event.value("block").toInt()},
                       {"attempt", event.value("attempt").toInt()}});
    } else if (kind == "done" || kind == "failed") {
        On_Result(job, event);
    } else if (kind == "waiting") {
        job.step = Job::Step::Waiting;
        job.waitingFor = event.value("for").toString().toStdString();
        if (plain_) {
            Note(Line_Of(job));
        }
    }
    Changed();
}

void WriteRun::On_Result(Job& job, const QJsonObject& event) {
    job.unitOpen = false;
    job.step = Job::Step::Idle;
    const bool ok = event.value("event").toString() == "done";
    const bool interrupted = event.value("interrupted").toBool();
    const std::string error = event.value("error").toString().toStdString();
    const int blocks = event.value("blocks").toInt();
    const double seconds = event.value("seconds").toDouble();
    job.block = blocks;
    const std::string unit = "modulo " + std::to_string(job.unit);
    if (ok) {
        ++job.programmed;
        job.lastResult = "programmato in " + Seconds_Text(seconds);
    } else {
        ++job.failed;
        anyFailed_ = true;
        // No block yet: the module was not found (or the stop came during detection).
        job.lastResult = interrupted ? "interrotto" : "fallito";
        if (blocks > 0 || error.find("EEPROM") != std::string::npos) {
            job.lastResult += " al blocco " + std::to_string(blocks);
        }
    }
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    QJsonObject out = event;
    out.insert("time", now);
    Json_Out(job, out);
    const int retries = event.value("retries").toInt();
    std::string note = job.device + ": " + unit + " " + job.lastResult;
    if (retries > 0) {
        note += " (" + std::to_string(retries) + (retries == 1 ? " ripetizione)" : " ripetizioni)");
    }
    if (!error.empty()) {
        note += ": " + One_Line(error);
    }
    // A failure is told even with --quiet or --json: the exit status alone does not say which
    // port or why.
    Note(note, !ok && !interrupted);

    QJsonObject record{{"time", now},
                       {"port", QString::fromStdString(job.device)},
                       {"by_id", job.byId.empty() ? QJsonValue(QJsonValue::Null)
                                                  : QJsonValue(QString::fromStdString(job.byId))},
                       {"unit", job.unit},
                       {"image_sha256", QString::fromStdString(sha256_)},
                       {"result", ok            ? "ok"
                                  : interrupted ? "interrupted"
                                                : "failed"},
                       {"blocks", blocks},
                       {"retries", retries},
                       {"seconds", seconds}};
    if (!error.empty()) {
        record.insert("error", QString::fromStdString(error));
    }
    std::string logError;
    if (!log_.Append(record, logError) && !logFailed_) {
        logFailed_ = true;
        Note("lcdprog-cli: " + logError, true);
    }
}

void WriteRun::On_Finished(Job& job, int exitCode, QProcess::ExitStatus status) {
    On_Output(job);
    job.ended = true;
    if (!job.ready && !job.openFailed) {
        job.openFailed = true;
        job.openError = "il processo della porta è terminato prima di aprirla";
        After_Opening();
    }
    if (job.unitOpen) {
        On_Result(job, {{"event", "failed"},
                        {"unit", job.unit},
                        {"blocks", job.block},
                        {"retries", 0},
                        {"seconds", 0},
                        {"error", "Il processo della porta è terminato inaspettatamente."}});
    }
    const int code = status == QProcess::NormalExit ? exitCode : -1;
    if (code != kExitOk && code != kExitInterrupted && started_) {
        anyFailed_ = true;
    }
    Changed();
    if (std::all_of(jobs_.begin(), jobs_.end(), [](const auto& j) { return j->ended; })) {
        QCoreApplication::exit(0);
    }
}

// Every port is opened before any is written: a port that cannot be opened stops them all.
void WriteRun::After_Opening() {
    if (started_ || std::any_of(jobs_.begin(), jobs_.end(),
                                [](const auto& j) { return !j->ready && !j->openFailed; })) {
        return;
    }
    openFailures_ =
        std::any_of(jobs_.begin(), jobs_.end(), [](const auto& j) { return j->openFailed; });
    if (openFailures_ || interrupts_ > 0) {
        for (auto& job : jobs_) {
            if (job->openFailed) {
                std::fprintf(stderr, "lcdprog-cli: %s: %s\n", job->device.c_str(),
                             One_Line(job->openError).c_str());
            }
            Send(*job, "quit\n");
        }
        if (openFailures_) {
            std::fprintf(stderr, "lcdprog-cli: nessun modulo è stato scritto.\n");
        }
        return;
    }
    started_ = true;
    for (auto& job : jobs_) {
        job->step = Job::Step::Detecting;
        Send(*job, "go\n");
    }
    if (plain_) {
        plainTick_.start();
    }
}

void WriteRun::On_Interrupt() {
    ++interrupts_;
    for (auto& job : jobs_) {
        if (job->ended) {
            continue;
        }
        if (interrupts_ == 1) {
            Send(*job, started_ ? "stop\n" : "quit\n");
        } else {
            // A second Ctrl-C does not wait for a reset under way.
            job->process->terminate();
        }
    }
    if (interrupts_ == 1 && !options_.quiet) {
        Note("lcdprog-cli: interruzione: Stop su ogni porta (Ctrl-C di nuovo per chiudere subito)",
             true);
    }
}

std::string WriteRun::Line_Of(const Job& job) const {
    std::string state;
    switch (job.step) {
        case Job::Step::Opening:
            state = "apertura della porta";
            break;
        case Job::Step::Detecting:
            state = "ricerca del modulo";
            break;
        case Job::Step::Writing: {
            std::string bar(kBarWidth, '.');
            std::fill_n(bar.begin(), job.block * kBarWidth / kBlocks, '#');
            char buffer[96];
            std::snprintf(buffer, sizeof buffer, "[%s] %3d/%d", bar.c_str(), job.block, kBlocks);
            state = buffer;
            if (job.block >= 8 && job.writeStartedMs >= 0) {
                const double perBlock =
                    static_cast<double>(clock_.elapsed() - job.writeStartedMs) / job.block;
                state += "  " +
                         std::to_string(
                             static_cast<int>(perBlock * (kBlocks - job.block) / 1000.0 + 0.999)) +
                         " s";
            }
            break;
        }
        case Job::Step::Waiting:
            state = job.waitingFor == "plug" ? "in attesa di un nuovo modulo"
                                             : "in attesa che il modulo sia scollegato";
            break;
        case Job::Step::Idle:
            state = job.lastResult;
            break;
    }
    if (job.ended && job.step != Job::Step::Idle) {
        state = job.openFailed ? "non aperta" : "terminata";
    }
    std::string line = job.device + "  " + state;
    if (options_.loop) {
        line += "  | programmati " + std::to_string(job.programmed) + ", falliti " +
                std::to_string(job.failed);
    }
    return line;
}

void WriteRun::Changed() {
    if (tty_ && started_ && !redraw_.isActive()) {
        redraw_.start(kRedrawMs);
    }
}

// The ports' lines, redrawn in place under whatever was printed above them.
void WriteRun::Draw() {
    if (!tty_ || !started_) {
        return;
    }
    winsize ws{};
    const int width =
        ::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : 80;
    std::string out;
    if (drawnLines_ > 0) {
        out += "\x1b[" + std::to_string(drawnLines_) + "F";
    }
    for (const auto& job : jobs_) {
        std::string line = Line_Of(*job);
        if (static_cast<int>(line.size()) >= width) {
            line.resize(static_cast<std::size_t>(std::max(0, width - 1)));
        }
        out += "\x1b[2K" + line + "\n";
    }
    drawnLines_ = static_cast<int>(jobs_.size());
    std::fputs(out.c_str(), stderr);
    std::fflush(stderr);
}

// A line that stays: on a terminal it goes above the ports' lines, which are drawn again below.
void WriteRun::Note(const std::string& text, bool always) {
    if (!tty_ && !plain_ && !always) {
        return;
    }
    if (tty_ && drawnLines_ > 0) {
        std::fprintf(stderr, "\x1b[%dF\x1b[J", drawnLines_);
        drawnLines_ = 0;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    if (tty_) {
        Draw();
    }
}

void WriteRun::Plain_Tick() {
    const qint64 now = clock_.elapsed();
    for (const auto& job : jobs_) {
        if (job->step == Job::Step::Writing && now - job->lastPlainMs >= kPlainEveryMs - 50) {
            job->lastPlainMs = now;
            Note(Line_Of(*job));
        }
    }
}

void WriteRun::Summary() {
    redraw_.stop();
    plainTick_.stop();
    Draw();
    if (options_.quiet || options_.json || !started_) {
        return;
    }
    int programmed = 0;
    int failed = 0;
    for (const auto& job : jobs_) {
        programmed += job->programmed;
        failed += job->failed;
    }
    std::string text = "Riepilogo: " + std::to_string(programmed) +
                       (programmed == 1 ? " modulo programmato, " : " moduli programmati, ") +
                       std::to_string(failed) + (failed == 1 ? " fallito" : " falliti");
    if (options_.loop) {
        for (const auto& job : jobs_) {
            text += "\n  " + job->device + ": programmati " + std::to_string(job->programmed) +
                    ", falliti " + std::to_string(job->failed);
        }
    }
    std::fprintf(stderr, "%s%s\n", text.c_str(), interrupts_ > 0 ? " (interrotto)" : "");
}

int WriteRun::Run() {
    if (!Check_Ports()) {
        return kExitUsage;
    }
    if (!options_.logFile.empty()) {
        std::string error;
        if (!log_.Open(options_.logFile, error)) {
            std::fprintf(stderr, "lcdprog-cli: %s; nessun modulo è stato scritto.\n",
                         error.c_str());
            return kExitUsage;
        }
    }
    // A closed standard output (--json into a pipe that went away) or a port's process that
    // ended is an error to write to, not a reason to die.
    ::signal(SIGPIPE, SIG_IGN);
    if (!Install_Signals()) {
        std::fprintf(stderr, "lcdprog-cli: impossibile gestire Ctrl-C\n");
        return kExitUsage;
    }
    for (const auto& port : options_.ports) {
        auto job = std::make_unique<Job>();
        job->device = port;
        job->byId = platform::By_Id_Name(port);
        jobs_.push_back(std::move(job));
    }
    for (auto& job : jobs_) {
        Start(*job);
    }
    QCoreApplication::exec();
    Summary();
    if (interrupts_ > 0) {
        return kExitInterrupted;
    }
    if (openFailures_) {
        return kExitUsage;
    }
    return anyFailed_ || logFailed_ ? kExitFailed : kExitOk;
}

}  // namespace

int Run_Write(const Options& options, const Image& image) {
    WriteRun run(options, image);
    return run.Run();
}

}  // namespace lcdprog::cli
