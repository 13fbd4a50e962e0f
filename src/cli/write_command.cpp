#include "cli/write_command.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "cli/port_supervisor.h"
#include "link/mod_RS232.h"
#include "link/run_outcome.h"
#include "platform/qt/qt_text.h"
#include "records/conninfo.h"
#include "records/uploader.h"
#include "records/work_order.h"

namespace lcdprog::cli {
namespace {

constexpr int kRedrawMs = 100;       // the terminal's lines, at most ten times a second
constexpr int kPlainEveryMs = 5000;  // one plain line per port this often while writing
constexpr std::size_t kBarWidth = 20;
// A port's name is never cut shorter than this: its end (ttyUSB0, -if00-port0) tells it apart.
constexpr std::size_t kShortestName = 12;

int gSignalPipe[2] = {-1, -1};

// The event as one compact JSON line (with its '\n'), keys in reading order: what happened,
// when, where, then the figures; QJsonDocument would sort them by name.
QByteArray Json_Line(const QJsonObject& object) {
    static const char* const kOrder[] = {
        "event", "time",    "port",   "by_id",   "unit",    "image_sha256", "result", "failure",
        "block", "attempt", "blocks", "retries", "seconds", "interrupted",  "error"};
    QStringList keys;
    for (const char* key : kOrder) {
        if (object.contains(QLatin1String(key))) {
            keys << QString::fromLatin1(key);
        }
    }
    for (const QString& key : object.keys()) {
        if (!keys.contains(key)) {
            keys << key;
        }
    }
    QByteArray line = "{";
    for (const QString& key : keys) {
        if (line.size() > 1) {
            line += ',';
        }
        // A one-element array serialises the value with the right escapes; our keys need none.
        const QByteArray value =
            QJsonDocument(QJsonArray{object.value(key)}).toJson(QJsonDocument::Compact);
        line += '"' + key.toLatin1() + "\":" + value.mid(1, value.size() - 2);
    }
    return line + "}\n";
}

void On_Signal(int) {
    const char c = 1;
    (void)!::write(gSignalPipe[1], &c, 1);
}

// Where each character of a UTF-8 text starts: one column each.
std::vector<std::size_t> Character_Starts(const std::string& text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            starts.push_back(i);
        }
    }
    return starts;
}

std::size_t Columns(const std::string& text) {
    return Character_Starts(text).size();
}

// The first (or, `fromEnd`, the last) `columns` columns of a text, whole characters only.
std::string Cut(const std::string& text, std::size_t columns, bool fromEnd) {
    const std::vector<std::size_t> starts = Character_Starts(text);
    if (starts.size() <= columns) {
        return text;
    }
    if (fromEnd) {
        return columns == 0 ? std::string() : text.substr(starts[starts.size() - columns]);
    }
    return text.substr(0, starts[columns]);
}

// `name` in at most `columns` columns: cut from its start, where an ellipsis says so.
std::string Name_In(const std::string& name, std::size_t columns) {
    if (Columns(name) <= columns) {
        return name;
    }
    std::string cut = "…";
    cut += Cut(name, columns > 0 ? columns - 1 : 0, /*fromEnd=*/true);
    return cut;
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string line;
    for (const std::string& part : parts) {
        if (!part.empty()) {
            if (!line.empty()) {
                line += "  ";
            }
            line += part;
        }
    }
    return line;
}

// A port's line in `width` columns (0: no limit), so that it never wraps (the redraw counts one
// row per port) and its numbers stay: the bar goes first, then the name is shortened from its
// start (its end tells ports apart), then the words take their short form or go, then the name
// is shortened further; only a terminal too narrow even for the numbers cuts them.
std::string Fit_Line(const std::string& name, const std::vector<std::string>& words,
                     const std::string& bar, const std::string& numbers, int width) {
    const std::string said = words.empty() ? std::string() : words.front();
    const std::string whole = Joined({name, said, bar, numbers});
    const std::size_t room = static_cast<std::size_t>(std::max(width, 0));
    if (width <= 0 || Columns(whole) <= room) {
        return whole;
    }
    std::vector<std::string> forms = words;
    forms.emplace_back();
    for (const std::string& form : forms) {
        const std::string rest = Joined({form, numbers});
        const std::size_t taken = Columns(rest) + (rest.empty() ? 0 : 2);
        const std::size_t nameRoom = room > taken ? room - taken : 0;
        if (nameRoom >= std::min(kShortestName, Columns(name))) {
            return Joined({Name_In(name, nameRoom), rest});
        }
    }
    const std::size_t taken = Columns(numbers) + 2;
    return Cut(Joined({Name_In(name, room > taken + 4 ? room - taken : 4), numbers}), room,
               /*fromEnd=*/false);
}

// The terminal's view of a write: lines redrawn in place on a terminal, a plain line now and then
// otherwise, JSON lines with --json, the summary at the end.
class TerminalView final : public PortObserver {
  public:
    TerminalView(const Options& options, const PortSupervisor& supervisor)
        : options_(options), supervisor_(supervisor) {
        tty_ = !options.quiet && !options.json && ::isatty(STDERR_FILENO) == 1;
        plainLines_ = !options.quiet && !options.json && !tty_;
        redraw_.setSingleShot(true);
        QObject::connect(&redraw_, &QTimer::timeout, [this] { Draw(); });
        plainTick_.setInterval(kPlainEveryMs);
        QObject::connect(&plainTick_, &QTimer::timeout, [this] { Plain_Tick(); });
    }

    void On_Opening_Done(bool started) override;
    void On_Unit_Start(const PortState& port) override;
    void On_Block(const PortState& port) override;
    void On_Retry(const PortState& port, int block, int attempt) override;
    void On_Waiting(const PortState& port) override;
    void On_Result(const PortState& port, const UnitResult& result) override;
    void On_Log_Failed(const std::string& error) override { Note("lcdprog-cli: " + error, true); }
    void On_Change() override;
    void On_All_Ended() override { QCoreApplication::exit(0); }

    // Before the first Ctrl-C has reached the ports.
    void On_Interrupt(int interrupts);
    void Summary(bool interrupted);

  private:
    void Json_Out(const PortState& port, QJsonObject event);
    // The port's line; cut to `width` columns (0: as long as it is).
    std::string Line_Of(const PortState& port, int width = 0) const;
    void Draw();
    void Note(const std::string& text, bool always = false);
    void Plain_Tick();

    const Options& options_;
    const PortSupervisor& supervisor_;
    bool tty_ = false;
    bool plainLines_ = false;
    int drawnLines_ = 0;
    struct Plain {
        qint64 writeStartedMs = -1;
        qint64 lastMs = 0;
    };
    std::map<std::string, Plain> plain_;  // by device
    QTimer redraw_;
    QTimer plainTick_;
};

void TerminalView::Json_Out(const PortState& port, QJsonObject event) {
    if (!options_.json) {
        return;
    }
    event.insert("port", QString::fromStdString(port.device));
    const QByteArray line = Json_Line(event);
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fflush(stdout);
}

void TerminalView::On_Opening_Done(bool started) {
    if (started) {
        if (plainLines_) {
            plainTick_.start();
        }
        return;
    }
    for (const auto& port : supervisor_.Ports()) {
        if (port->openFailed) {
            std::fprintf(stderr, "lcdprog-cli: %s: %s\n", port->device.c_str(),
                         lcdprog::One_Line(port->openError).c_str());
        }
    }
    if (supervisor_.Open_Failures()) {
        std::fprintf(stderr, "lcdprog-cli: nessun modulo è stato scritto.\n");
    }
}

void TerminalView::On_Unit_Start(const PortState& port) {
    Json_Out(port, {{"event", "start"},
                    {"unit", port.unit},
                    {"time", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}});
    if (plainLines_) {
        Note(port.device + ": modulo " + std::to_string(port.unit) + ": inizio");
    }
}

void TerminalView::On_Block(const PortState& port) {
    // A plain line every five seconds of each unit's writing, the first five seconds after its
    // first block.
    Plain& plain = plain_[port.device];
    if (plain.writeStartedMs != port.writeStartedMs) {
        plain.writeStartedMs = port.writeStartedMs;
        plain.lastMs = port.writeStartedMs;
    }
    Json_Out(port, {{"event", "block"}, {"block", port.block}});
}

void TerminalView::On_Retry(const PortState& port, int block, int attempt) {
    Json_Out(port, {{"event", "retry"}, {"block", block}, {"attempt", attempt}});
}

void TerminalView::On_Waiting(const PortState& port) {
    if (plainLines_) {
        Note(Line_Of(port));
    }
}

void TerminalView::On_Result(const PortState& port, const UnitResult& r) {
    QJsonObject out = r.event;
    out.insert("time", QString::fromStdString(r.time));
    Json_Out(port, out);
    std::string note =
        port.device + ": modulo " + std::to_string(r.unit) + ": " + Outcome_Text(r.outcome);
    if (r.retries > 0) {
        note +=
            " (" + std::to_string(r.retries) + (r.retries == 1 ? " ripetizione)" : " ripetizioni)");
    }
    // A failure is told even with --quiet or --json: the exit status alone does not say which
    // port or why.
    Note(note, !r.Ok() && !r.Interrupted());
}

void TerminalView::On_Interrupt(int interrupts) {
    if (interrupts == 1 && !options_.quiet) {
        Note("lcdprog-cli: interruzione: Stop su ogni porta (Ctrl-C di nuovo per chiudere subito)",
             true);
    }
}

std::string TerminalView::Line_Of(const PortState& port, int width) const {
    // What the port is doing, in a long and (where the line is short of room) a short form.
    std::vector<std::string> words;
    std::string bar;
    std::string numbers;
    switch (port.step) {
        case PortStep::Opening:
            words = {"apertura della porta"};
            break;
        case PortStep::Detecting:
            words = {"ricerca del modulo"};
            break;
        case PortStep::Writing: {
            // Whoever glances at the line must not pull this unit.
            words = {"SCRITTURA, NON SCOLLEGARE", "NON SCOLLEGARE"};
            // Appended piece by piece: GCC 12 at -O3 sees an impossible length (-Wstringop-
            // overflow) in `const char* + std::string` here.
            const auto done =
                static_cast<std::size_t>(std::clamp(port.block, 0, kBlocks) * kBarWidth / kBlocks);
            bar = "[";
            bar.append(done, '#');
            bar.append(kBarWidth - done, '.');
            bar += ']';
            numbers = std::to_string(port.block);
            numbers += '/';
            numbers += std::to_string(kBlocks);
            if (const auto left = Seconds_Left(port, supervisor_.Elapsed_Ms())) {
                numbers += ' ';
                numbers += std::to_string(*left);
                numbers += " s";
            }
            break;
        }
        case PortStep::Waiting:
            words = {port.waitingForArm    ? "in attesa: la commessa ha già i suoi moduli in corso"
                     : port.waitingForPlug ? "in attesa di un nuovo modulo"
                                           : "in attesa che il modulo sia scollegato",
                     port.waitingForPlug || port.waitingForArm ? "in attesa" : "da scollegare"};
            break;
        case PortStep::Idle:
            if (port.last) {
                // The whole text is in the line above, which stays.
                words = {"modulo " + std::to_string(port.last->unit) + ": " +
                             Outcome_Text(port.last->outcome),
                         port.last->Ok()            ? "programmato"
                         : port.last->Interrupted() ? "interrotto"
                                                    : "fallito"};
            }
            break;
    }
    if (port.ended && port.step != PortStep::Idle) {
        words = {port.openFailed ? "non aperta" : "terminata"};
        bar.clear();
        numbers.clear();
    }
    if (options_.loop) {
        // Short, so that the words still fit an 80-column line beside them; the summary spells
        // them out.
        const UnitCounts& c = port.counts;
        numbers += (numbers.empty() ? "" : "  ") + std::string("| progr. ") +
                   std::to_string(c.programmed) + ", fall. " + std::to_string(c.failed) +
                   ", interr. " + std::to_string(c.interrupted);
    }
    return Fit_Line(port.device, words, bar, numbers, width);
}

void TerminalView::On_Change() {
    if (tty_ && supervisor_.Started() && !redraw_.isActive()) {
        redraw_.start(kRedrawMs);
    }
}

// The ports' lines, redrawn in place under whatever was printed above them.
void TerminalView::Draw() {
    if (!tty_ || !supervisor_.Started()) {
        return;
    }
    winsize ws{};
    const int width =
        ::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : 80;
    std::string out;
    if (drawnLines_ > 0) {
        out += "\x1b[" + std::to_string(drawnLines_) + "F";
    }
    for (const auto& port : supervisor_.Ports()) {
        // One column short of the width: a line that fills the last column wraps on some
        // terminals, and the redraw counts one line per port.
        out += "\x1b[2K" + Line_Of(*port, width - 1) + "\n";
    }
    drawnLines_ = static_cast<int>(supervisor_.Ports().size());
    std::fputs(out.c_str(), stderr);
    std::fflush(stderr);
}

// A line that stays: on a terminal it goes above the ports' lines, which are drawn again below.
void TerminalView::Note(const std::string& text, bool always) {
    if (!tty_ && !plainLines_ && !always) {
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

void TerminalView::Plain_Tick() {
    const qint64 now = supervisor_.Elapsed_Ms();
    for (const auto& port : supervisor_.Ports()) {
        qint64& last = plain_[port->device].lastMs;
        if (port->step == PortStep::Writing && now - last >= kPlainEveryMs - 50) {
            last = now;
            Note(Line_Of(*port));
        }
    }
}

// "3 moduli programmati, 1 fallito, 1 interrotto": a stopped unit says nothing about its module,
// so it is neither programmed nor failed, as the station counts it.
std::string Counts_Text(const UnitCounts& c) {
    return std::to_string(c.programmed) +
           (c.programmed == 1 ? " modulo programmato, " : " moduli programmati, ") +
           std::to_string(c.failed) + (c.failed == 1 ? " fallito, " : " falliti, ") +
           std::to_string(c.interrupted) + (c.interrupted == 1 ? " interrotto" : " interrotti");
}

void TerminalView::Summary(bool interrupted) {
    redraw_.stop();
    plainTick_.stop();
    Draw();
    if (options_.quiet || options_.json || !supervisor_.Started()) {
        return;
    }
    UnitCounts all;
    for (const auto& port : supervisor_.Ports()) {
        all += port->counts;
    }
    std::string text = "Riepilogo: " + Counts_Text(all);
    if (options_.loop) {
        for (const auto& port : supervisor_.Ports()) {
            text += "\n  " + port->device + ": " + Counts_Text(port->counts);
        }
    }
    std::fprintf(stderr, "%s%s\n", text.c_str(), interrupted ? " (interrotto)" : "");
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : canonical.string();
}

// Two names for one device would have two processes fight over one line.
bool Check_Ports(const std::vector<std::string>& ports) {
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string canonical = Canonical(ports[i]);
        for (std::size_t j = 0; j < seen.size(); ++j) {
            if (seen[j] != canonical) {
                continue;
            }
            std::string text = "lcdprog-cli: la porta " + ports[i];
            text += ports[i] == ports[j] ? " è indicata due volte"
                                         : " è la stessa di " + ports[j] + " (" + canonical + ")";
            std::fprintf(stderr, "%s; nessun modulo è stato scritto.\n", text.c_str());
            return false;
        }
        seen.push_back(canonical);
    }
    return true;
}

// Ctrl-C (and the terminal closing, and a kill) arrive on a socket the event loop watches.
class Interrupts {
  public:
    bool Install(std::function<void()> onInterrupt) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gSignalPipe) !=
            0) {
            return false;
        }
        struct sigaction action {};
        action.sa_handler = On_Signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGHUP, &action, nullptr);
        notifier_ = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                         [onInterrupt = std::move(onInterrupt)] {
                             char buffer[16];
                             while (::read(gSignalPipe[0], buffer, sizeof buffer) > 0) {
                                 onInterrupt();
                             }
                         });
        return true;
    }

  private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

void Say(const QString& text) {
    std::fprintf(stderr, "lcdprog-cli: %s\n", text.toUtf8().constData());
}

using platform::Q;

// What the records of this write say and may go to, and what the work order allows; false when
// nothing may be written (said why).
struct RecordSetup {
    RecordContext context;
    std::optional<records::ConnectionTarget> database;
    int goodBefore = 0;
    UnitIdentity identity;

    bool Prepare(const Options& o) {
        context = {Q(o.station), QFileInfo(Q(o.input)).absoluteFilePath(), Q(o.operatorName),
                   Q(o.order)};
        identity.serial = Q(o.serial);
        const std::pair<const char*, const QString*> texts[] = {
            {"la stazione", &context.station},
            {"l'operatore", &context.operatorName},
            {"la commessa", &context.workOrder},
            {"la matricola", &identity.serial}};
        for (const auto& [what, text] : texts) {
            if (const platform::Result<> ok = records::Check_Storable(what, *text); !ok) {
                return Refuse(Q(ok.Text()));
            }
        }
        if (!o.db.empty()) {
            const platform::Result<records::ConnectionTarget> target =
                records::Parse_Conninfo(Q(o.db));
            if (!target) {
                return Refuse(Q(target.Text()));
            }
            database = *target;
        }
        if (o.quantity == 0 && o.serial.empty()) {
            return true;
        }
        const platform::Result<records::WorkOrderHistory> history =
            records::WorkOrderHistory::Load(Q(o.logFile), context.workOrder);
        if (!history) {
            return Refuse(Q(history.Text()));
        }
        goodBefore = history->Good();
        if (o.quantity > 0 && goodBefore >= o.quantity) {
            return Refuse(records::Complete_Text(context.workOrder, goodBefore, o.quantity));
        }
        if (const records::UnitRecord* good = history->Good_Record(identity.serial); good) {
            if (!o.reprogram) {
                return Refuse(records::Already_Good_Text(*good) +
                              QStringLiteral(": per programmarla di nuovo aggiungere --reprogram"));
            }
            identity.reprogrammed = true;
        }
        return true;
    }

    static bool Refuse(const QString& why) {
        Say(why + QStringLiteral("; nessun modulo è stato scritto."));
        return false;
    }
};

// Every record goes to the plant database as soon as it is in the file, from a thread of its
// own: programming never waits for the server.
class DatabaseFeed final : public PortObserver {
  public:
    DatabaseFeed(const QString& recordPath, const records::ConnectionTarget& target)
        : recordPath_(recordPath), target_(target), uploader_(std::in_place, recordPath, target) {}
    void On_Recorded(const records::UnitRecord&) override { uploader_->Send_Soon(); }

    // One last pass, in this thread, once the background one has finished: each wait bounded by
    // the connection's timeouts. What stays in the file is said, with how to send it later.
    void Finish(bool quiet) {
        uploader_.reset();
        const records::UploadStatus status = records::Uploader(recordPath_, target_).Send_Pending();
        for (const QString& notice : status.notices) {
            Say(QStringLiteral("database: ") + notice);
        }
        if (!status.connected || status.pending > 0) {
            Say(Status_Text(status) +
                QStringLiteral(": restano nel registro %1 (li invia lcdprog-cli db send)")
                    .arg(recordPath_));
        } else if (!quiet) {
            std::fprintf(stderr, "%s\n", Status_Text(status).toUtf8().constData());
        }
    }

  private:
    const QString recordPath_;
    const records::ConnectionTarget target_;
    std::optional<records::BackgroundUploader> uploader_;
};

}  // namespace

int Run_Write(const Options& options, const MemoryImageBytes& image) {
    if (!Check_Ports(options.ports)) {
        return kExitUsage;
    }
    RecordSetup records;
    if (!options.logFile.empty() && !records.Prepare(options)) {
        return kExitUsage;
    }
    // lcdprog-cli runs each port's process as itself, with the hidden sub-command.
    SupervisorSettings settings{QCoreApplication::applicationFilePath(), options.loop, true};
    settings.quantity = options.quantity;
    settings.goodBefore = records.goodBefore;
    settings.nextUnit = [&records](const PortState&) { return records.identity; };
    PortSupervisor supervisor(std::move(settings), image);
    TerminalView view(options, supervisor);
    supervisor.Add_Observer(view);
    std::optional<DatabaseFeed> database;
    if (!options.logFile.empty()) {
        if (const platform::Result<> opened =
                supervisor.Open_Record(Q(options.logFile), records.context);
            !opened) {
            std::fprintf(stderr, "lcdprog-cli: %s; nessun modulo è stato scritto.\n",
                         opened.Text().c_str());
            return kExitUsage;
        }
        if (records.database) {
            database.emplace(Q(options.logFile), *records.database);
            supervisor.Add_Observer(*database);
        }
    }
    // A closed standard output (--json into a pipe that went away) or a port's process that
    // ended is an error to write to, not a reason to die.
    ::signal(SIGPIPE, SIG_IGN);
    int interrupts = 0;
    Interrupts ctrlC;
    const bool installed = ctrlC.Install([&] {
        ++interrupts;
        if (interrupts == 1) {
            supervisor.Stop_All();
        } else {
            // A second Ctrl-C does not wait for a reset under way.
            supervisor.Terminate_All();
        }
        view.On_Interrupt(interrupts);
    });
    if (!installed) {
        std::fprintf(stderr, "lcdprog-cli: impossibile gestire Ctrl-C\n");
        return kExitUsage;
    }
    supervisor.Start(options.ports);
    QCoreApplication::exec();
    view.Summary(interrupts > 0);
    if (supervisor.Quantity_Reached() && !options.quiet) {
        Say(records::Complete_Text(records.context.workOrder, supervisor.Good(), options.quantity));
    }
    if (database) {
        database->Finish(options.quiet || options.json);
    }
    if (interrupts > 0) {
        return kExitInterrupted;
    }
    if (supervisor.Open_Failures()) {
        return kExitUsage;
    }
    return supervisor.Any_Failed() || supervisor.Log_Failed() ? kExitFailed : kExitOk;
}

}  // namespace lcdprog::cli
