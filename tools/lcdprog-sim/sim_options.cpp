#include "sim_options.h"

#include <QCommandLineParser>
#include <QStringList>
#include <charconv>

#include "platform/qt/command_line.h"

namespace lcdsim {

namespace {

using lcdprog::platform::Refusal;
using lcdprog::platform::RefusalKind;
using lcdprog::platform::Result;

Refusal Wrong(std::string text) {
    return {RefusalKind::Invalid, std::move(text)};
}

bool Parse_Number(const std::string& text, long lo, long hi, long& out) {
    long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < lo ||
        value > hi) {
        return false;
    }
    out = value;
    return true;
}

enum class Kind { Flag, Text, Number, Faults };

// One option: its name, what its value must be, where it goes and what --help says of it.
// Numbers lie in [lo, hi]. The rows are in the help's order; a row that opens a part of the
// help names it.
struct OptionRow {
    const char* section;
    const char* name;
    Kind kind;
    long lo;
    long hi;
    void (*apply)(Options&, const std::string& text, long number);
    const char* valueName;  // as the help writes the value: "PATH", "MS"
    const char* help;       // a line break continues in the help's text column
};

const OptionRow kRows[] = {
    {"Line:", "link", Kind::Text, 0, 0, [](Options& o, const std::string& v, long) { o.link = v; },
     "PATH",
     "also make PATH a symbolic link to the device (replaced atomically;\n"
     "removed at a hang-up and at exit, made again when the module comes back)"},
    {nullptr, "baud", Kind::Number, 50, 4000000,
     [](Options& o, const std::string&, long n) { o.baud = n; }, "N",
     "pace replies as at N baud, 10 bits per byte (default 115200: 86.8 us\n"
     "per byte). Replies leave whole when their last byte would have arrived."},
    {nullptr, "page-ms", Kind::Number, 0, 10000,
     [](Options& o, const std::string&, long n) { o.pageMs = static_cast<int>(n); }, "MS",
     "EEPROM page-write time added before a write's acknowledgement (default 5)"},
    {nullptr, "frame-gap-ms", Kind::Number, 0, 60000,
     [](Options& o, const std::string&, long n) { o.frameGapMs = static_cast<int>(n); }, "MS",
     "drop a half-received packet after MS ms without a byte (default 50;\n"
     "0 keeps it for ever)"},
    {"EEPROM and pictures:", "eeprom", Kind::Text, 0, 0,
     [](Options& o, const std::string& v, long) { o.eeprom = v; }, "FILE",
     "save the 65,536 EEPROM bytes to FILE at start, after every stored write\n"
     "and at exit (written to FILE.tmp, then renamed over FILE)"},
    {nullptr, "load", Kind::Flag, 0, 0, [](Options& o, const std::string&, long) { o.load = true; },
     "",
     "start from the content of the --eeprom FILE, if it exists (it must be\n"
     "exactly 65,536 bytes); without it the EEPROM starts blank"},
    {nullptr, "png", Kind::Text, 0, 0, [](Options& o, const std::string& v, long) { o.pngDir = v; },
     "DIR",
     "after every reset request and at exit, write what the panels will show:\n"
     "64128A_1.png .. 64128A_4.png, 64128E_1..4, 64240B_1..4, 128240A_1..4\n"
     "(slot 0 is picture 1; enlarged 2 times) and glyph_5x8.png,\n"
     "glyph_10x16.png (enlarged 8 times). A stored 1 bit is drawn black.\n"
     "DIR is created if missing."},
    {"Misbehaving on purpose:", "fault", Kind::Faults, 0, 0, nullptr, "KIND[:WHERE]",
     "repeatable; every fault whose WHERE selects a request acts on its\n"
     "reply, in the order given. What the module stores never changes: a valid\n"
     "write is stored even when its acknowledgement is lost."},
    {nullptr, "reopen-after", Kind::Number, 0, 600000,
     [](Options& o, const std::string&, long n) { o.reopenAfterMs = static_cast<int>(n); }, "MS",
     "after a hangup, open a new pseudo-terminal MS ms later, print its device\n"
     "as a new line on standard output and move the --link to it. Without this\n"
     "option the program ends after a hangup."},
    {"Running:", "exit-after-reset", Kind::Flag, 0, 0,
     [](Options& o, const std::string&, long) { o.exitAfterReset = true; }, "",
     "end once the first reset request has been answered and the reply read\n"
     "(at most 1 s wait for the reader), saving EEPROM and pictures"},
    {nullptr, "log", Kind::Flag, 0, 0, [](Options& o, const std::string&, long) { o.log = true; },
     "",
     "one line per packet received or sent, and per fault, on standard error,\n"
     "with the time in seconds since start"},
    {nullptr, "quiet", Kind::Flag, 0, 0,
     [](Options& o, const std::string&, long) { o.quiet = true; }, "",
     "no informational messages on standard error (errors still appear)"},
    {nullptr, "verbose", Kind::Flag, 0, 0,
     [](Options& o, const std::string&, long) { o.log = o.verbose = true; }, "",
     "--log, and the log of the programmer's own code (lcdprog.*), for a\n"
     "bug report"},
};

const QCommandLineOption kHelp(QStringList{"h", "help"});
const QCommandLineOption kVersion("version");

// One option's values, in the order given, checked and applied.
Result<> Apply(const OptionRow& row, const QStringList& values, Options& parsed) {
    const std::string name = std::string("--") + row.name;
    for (const QString& text : values) {
        const std::string value = text.toStdString();
        long n = 0;
        if (row.kind == Kind::Number && !Parse_Number(value, row.lo, row.hi, n)) {
            return Wrong(name + " needs a whole number from " + std::to_string(row.lo) + " to " +
                         std::to_string(row.hi) + ", not \"" + value + "\"");
        }
        if (row.kind == Kind::Text && value.empty()) {
            return Wrong(name + " needs a non-empty value");
        }
        if (row.kind == Kind::Faults) {
            auto fault = Parse_Fault(value);
            if (!fault) {
                return fault.Why();
            }
            parsed.faults.push_back(*fault);
            continue;
        }
        row.apply(parsed, value, n);
    }
    return lcdprog::platform::kDone;
}

}  // namespace

Result<Parse_Outcome> Parse_Command_Line(std::span<const std::string> args, Options& options) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QList<QCommandLineOption> known{kHelp, kVersion};
    for (const OptionRow& row : kRows) {
        QCommandLineOption option(QString::fromLatin1(row.name));
        if (row.kind != Kind::Flag) {
            option.setValueName(QStringLiteral("VALUE"));
        }
        known.append(option);
    }
    QStringList all{QStringLiteral("lcdprog-sim")};
    for (const std::string& arg : args) {
        all.append(QString::fromStdString(arg));
    }
    if (const Result<> parsed = lcdprog::platform::Parse_Options(parser, known, all); !parsed) {
        return Wrong(parsed.Text() + " (vedere --help)");
    }
    if (parser.isSet(kHelp)) {
        return Parse_Outcome::Help;
    }
    if (parser.isSet(kVersion)) {
        return Parse_Outcome::Version;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return Wrong("argomento in più: \"" + parser.positionalArguments().front().toStdString() +
                     "\" (vedere --help)");
    }
    Options parsed = options;
    for (const OptionRow& row : kRows) {
        const QString name = QString::fromLatin1(row.name);
        const QStringList values = row.kind == Kind::Flag ? QStringList() : parser.values(name);
        if (row.kind == Kind::Flag && parser.isSet(name)) {
            row.apply(parsed, {}, 0);
        } else if (Result<> applied = Apply(row, values, parsed); !applied) {
            return applied.Why();
        }
    }
    if (parsed.load && parsed.eeprom.empty()) {
        return Wrong("--load needs --eeprom FILE");
    }
    options = std::move(parsed);
    return Parse_Outcome::Run;
}

ModuleConfig Module_Config(const Options& options) {
    ModuleConfig config;
    config.baud = options.baud;
    config.pageTime = options.pageMs * kMillisecond;
    config.frameGap = options.frameGapMs * kMillisecond;
    config.faults = options.faults;
    return config;
}

std::string Help_Text() {
    std::string help = R"(Usage: lcdprog-sim [OPTION]...
A virtual graphic LCD module on a pseudo-terminal, for lcdprog to program without hardware.

It opens a pseudo-terminal and prints the device to open ("/dev/pts/N") as the first line on
standard output, once any --link is in place. It answers as the module does:
  detection    87 00 78                          -> 87 04 4C 53 49 4D 3F  ("LSIM")
  EEPROM write 04 84 A3 A2 A1 A0 D0..D127 ck     -> 04 00 FB  (D stored at address A3A2A1A0)
  reset        FE 00 01                          -> FE 00 01
It keeps a 64 KiB EEPROM that starts blank (all 0xFF) and paces its replies like a serial
line. It runs until SIGINT or SIGTERM (or see --exit-after-reset), saving its EEPROM and
pictures on the way out.
)";
    for (const OptionRow& row : kRows) {
        if (row.section != nullptr) {
            help += std::string("\n") + row.section + "\n";
        }
        const std::string usage = std::string("--") + row.name +
                                  (*row.valueName != '\0' ? std::string(" ") + row.valueName : "");
        Add_Help_Entry(help, "  ", usage, row.help);
        if (row.kind == Kind::Faults) {
            help += Fault_Help();
        }
    }
    Add_Help_Entry(help, "  ", "-h, --help", "this text");
    Add_Help_Entry(help, "  ", "--version", "the version number");
    help += R"(
What is not answered (and changes nothing): a packet whose checksum is wrong, an unknown
command, a length byte that does not fit its command, a write whose 128 bytes do not fit below
address 0x10000.

Exit status: 0 after SIGINT, SIGTERM, --exit-after-reset or a hangup without --reopen-after;
1 when the pseudo-terminal or a file fails; 2 for a bad command line.

Examples:
  lcdprog-sim --link /tmp/lcd --eeprom /tmp/lcd.bin --png /tmp/lcd-png
      LCDPROG_PORTS=/tmp/lcd lcdprog       (the module is COM 1)
  lcdprog-sim --fault noanswer:block=7,attempt=1     block 7's first acknowledgement is lost
  lcdprog-sim --fault badsum:detect=1 --fault split:detect=2
  lcdprog-sim --fault noanswer:block=100             block 100 fails three times
  lcdprog-sim --fault silent                         a module that never answers
  lcdprog-sim --fault late=3500:reset=1              the first reset answer comes too late
  lcdprog-sim --fault hangup:packet=101 --reopen-after 2000 --link /tmp/lcd
      the line drops at packet 101 (block 99's write) and is back 2 s later
)";
    return help;
}

}  // namespace lcdsim
