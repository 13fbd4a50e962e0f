#include "cli/cli_options.h"

#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/qt/command_line.h"
#include "platform/qt/qt_text.h"
#include "platform/result.h"
#include "records/work_order.h"

#ifndef LCDPROG_VERSION
#define LCDPROG_VERSION "0"
#endif

namespace lcdprog::cli {
namespace {

using platform::Refusal;
using platform::RefusalKind;
using platform::Result;

Refusal Wrong(std::string text) {
    return {RefusalKind::Invalid, std::move(text)};
}

// One option of a command: its names as QCommandLineParser takes them ("o,output"), and what it
// sets. A flag's `apply` gets an empty value.
struct OptionRow {
    const char* names;
    bool takesValue;
    void (*apply)(Options&, const std::string& value);
};

// One command: a new one is a row here (its options, its argument, its rules and its help), a
// value of Command and a case in Cli_Main.
struct CommandRow {
    Command command;
    const char* name;  // what the operator types
    bool listed;       // named in the messages (the port process's command is not)
    std::vector<OptionRow> options;
    // The one argument it takes and the message when it is missing; none when null.
    const char* missingArgument;
    void (*takeArgument)(Options&, const std::string& argument);
    // The rules across its options, once they are all known.
    Result<> (*check)(const Options&);
    // Takes every word after its name as it stands, for its own parser.
    bool ownParser;
    const char* help;
};

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

Result<> No_Rules(const Options&) {
    return platform::kDone;
}

Result<> Check_Image(const Options& o) {
    if (o.output.empty()) {
        return Wrong("manca il file da scrivere: indicarlo con -o FILE.bin");
    }
    if (Is_Image_File(o.input)) {
        return Wrong("il comando image compila un progetto, non un file .bin: " + Quoted(o.input));
    }
    return platform::kDone;
}

int Quantity_Of(const std::string& text) {
    int n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    return error == std::errc() && end == text.data() + text.size() && n >= 1 &&
                   n <= records::kMaxQuantity
               ? n
               : -1;
}

Result<> Check_Write(const Options& o) {
    if (o.ports.empty()) {
        return Wrong("manca la porta: indicarla con --port DISPOSITIVO (anche più volte)");
    }
    if (o.quiet && o.json) {
        return Wrong("--quiet e --json non vanno insieme: indicarne uno solo");
    }
    // What only the record file can hold, or only its history can check: without it they
    // would be dropped in silence.
    const std::pair<const char*, bool> recorded[] = {
        {"--station", !o.station.empty()}, {"--operator", !o.operatorName.empty()},
        {"--order", !o.order.empty()},     {"--quantity", o.quantity != 0},
        {"--serial", !o.serial.empty()},   {"--db", !o.db.empty()}};
    for (const auto& [name, given] : recorded) {
        if (given && o.logFile.empty()) {
            return Wrong(std::string("l'opzione ") + name +
                         " richiede il registro delle unità: indicarlo con --log FILE.jsonl");
        }
    }
    if (o.quantity < 0) {
        return Wrong("--quantity vuole il numero di unità della commessa, da 1 a " +
                     std::to_string(records::kMaxQuantity));
    }
    if (o.quantity > 0 && o.order.empty()) {
        return Wrong("--quantity è la quantità di una commessa: indicarla con --order COMMESSA");
    }
    if (!o.serial.empty() && (o.ports.size() > 1 || o.loop)) {
        return Wrong("--serial è la matricola di un solo modulo: una sola --port, senza --loop");
    }
    if (o.reprogram && o.serial.empty()) {
        return Wrong("--reprogram vale per la matricola indicata con --serial");
    }
    return platform::kDone;
}

void Take_Input(Options& o, const std::string& argument) {
    o.input = argument;
}

const OptionRow kLoop = {"loop", false, [](Options& o, const std::string&) { o.loop = true; }};

const std::vector<CommandRow>& Commands() {
    static const std::vector<CommandRow> rows = {
        {Command::Ports,
         "ports",
         true,
         {},
         nullptr,
         nullptr,
         No_Rules,
         false,
         R"(Uso: lcdprog-cli ports
Elenca le porte seriali del sistema: per ognuna il dispositivo, il nome stabile in
/dev/serial/by-id, produttore, prodotto e numero di serie dell'adattatore USB, e se
questo utente può aprirla; se non può, che cosa fare.
)"},
        {Command::Image,
         "image",
         true,
         {{"o,output", true, [](Options& o, const std::string& v) { o.output = v; }},
          {"png", true, [](Options& o, const std::string& v) { o.pngDir = v; }}},
         "manca il progetto da compilare",
         Take_Input,
         Check_Image,
         false,
         R"(Uso: lcdprog-cli image PROGETTO -o FILE.bin [--png CARTELLA]
Compila il progetto (.lcdprj) nell'immagine di 65536 byte della EEPROM del modulo, con lo
stesso compilatore della finestra.

  -o, --output FILE.bin  il file dell'immagine (sostituito se esiste)
  --png CARTELLA         scrive anche ciò che ogni pannello mostrerà: 64128A_1.png ..
                         128240A_4.png, glyph_5x8.png, glyph_10x16.png

Uscita: 0 fatto, 2 uso errato o progetto non valido.
)"},
        {Command::Write,
         "write",
         true,
         {{"p,port", true, [](Options& o, const std::string& v) { o.ports.push_back(v); }},
          kLoop,
          {"log", true, [](Options& o, const std::string& v) { o.logFile = v; }},
          {"station", true, [](Options& o, const std::string& v) { o.station = v; }},
          {"operator", true, [](Options& o, const std::string& v) { o.operatorName = v; }},
          {"order", true, [](Options& o, const std::string& v) { o.order = v; }},
          {"quantity", true, [](Options& o, const std::string& v) { o.quantity = Quantity_Of(v); }},
          {"serial", true, [](Options& o, const std::string& v) { o.serial = v; }},
          {"reprogram", false, [](Options& o, const std::string&) { o.reprogram = true; }},
          {"db", true, [](Options& o, const std::string& v) { o.db = v; }},
          {"q,quiet", false, [](Options& o, const std::string&) { o.quiet = true; }},
          {"json", false, [](Options& o, const std::string&) { o.json = true; }}},
         "manca il progetto o il file .bin da scrivere",
         Take_Input,
         Check_Write,
         false,
         R"(Uso: lcdprog-cli write (PROGETTO | FILE.bin) --port DISPOSITIVO [--port ...]
                         [--loop] [--log FILE.jsonl [--station NOME] [--operator NOME]
                         [--order COMMESSA [--quantity N]] [--serial MATRICOLA [--reprogram]]
                         [--db CONNESSIONE]] [--quiet | --json]
Programma uno o più moduli LCD, come "Scrivi modulo LCD" nella finestra: ricerca del
modulo, scrittura dei 512 blocchi della EEPROM, reset del PIC. Con più porte ogni porta
è programmata da un proprio processo, tutte insieme; il guasto di una non ferma le altre.

  -p, --port DISPOSITIVO  la porta seriale (/dev/ttyUSB0, /dev/serial/by-id/...); ripetibile
  --loop                  produzione: dopo ogni modulo attende che sia scollegato e che ne
                          risponda uno nuovo, poi lo programma; Ctrl-C termina con il riepilogo
  --log FILE.jsonl        aggiunge una riga JSON per modulo e tentativo (identificativo, ora
                          UTC, stazione, numero progressivo dell'unità, porta, progetto,
                          SHA-256 dell'immagine, esito, tipo di guasto, blocco, ripetizioni,
                          secondi, operatore, commessa, matricola, versione, testo)
  --station NOME          il nome della stazione nel registro (predefinito: il nome del PC)
  --operator NOME         chi programma
  --order COMMESSA        la commessa (ordine di lavoro)
  --quantity N            le unità buone della commessa: raggiunte, nessun modulo è più
                          avviato; una commessa già completa non è programmata
  --serial MATRICOLA      la matricola del modulo (una sola porta, senza --loop); se è già
                          stata programmata con successo nella commessa è rifiutata
  --reprogram             programma di nuovo quella matricola; il registro lo segna
  --db CONNESSIONE        manda ogni record al database dell'impianto (stringa libpq; la
                          password da ~/.pgpass o da PGPASSWORD); il registro locale resta la
                          coda: ciò che non arriva è detto alla fine e parte con db send
  -q, --quiet             nessun avanzamento (gli errori restano su standard error)
  --json                  un evento JSON per riga su standard output (start, block, retry,
                          done, failed) al posto dell'avanzamento

Ctrl-C agisce come Stop su ogni porta: nessun reset segue e le porte sono chiuse.
Uscita: 0 tutti programmati, 1 almeno un modulo fallito, 2 uso errato, progetto o
immagine non validi o porta non apribile (nessun modulo scritto), 130 interrotto.
)"},
        // convert has many options of its own and its own help; what follows its name is its.
        {Command::Convert, "convert", true, {}, nullptr, nullptr, No_Rules, true, ""},
        {Command::Report, "report", true, {}, nullptr, nullptr, No_Rules, true, ""},
        {Command::Db, "db", true, {}, nullptr, nullptr, No_Rules, true, ""},
        {Command::Worker,
         kWorkerCommand,
         false,
         {kLoop},
         "manca la porta",
         [](Options& o, const std::string& argument) { o.ports = {argument}; },
         No_Rules,
         false,
         ""},
    };
    return rows;
}

const char kGeneralHelp[] = R"(Uso: lcdprog-cli COMANDO [OPZIONI]
Il programmatore dei moduli LCD grafici senza finestra: stesso compilatore, stesso
protocollo e stessi progetti del programma lcdprog.

Comandi:
  ports                         elenca le porte seriali
  image PROGETTO -o FILE.bin    compila il progetto nell'immagine di 65536 byte
  write (PROGETTO | FILE.bin) --port DISPOSITIVO [--port ...]
                                programma i moduli, più porte insieme
  convert IMMAGINE... --panel TIPO -o USCITA
                                converte immagini qualsiasi nel BMP a 1 bit di un display
  report (REGISTRO.jsonl... | --db CONNESSIONE) [--by GRUPPO]
                                unità, guasti e resa per giorno, turno, stazione, ...
  db (init | send) CONNESSIONE  crea lo schema del database dell'impianto, invia i record

  -h, --help      questo aiuto (con un comando: l'aiuto del comando)
  -V, --version   la versione
      --verbose   scrive su standard error il registro di quello che fa, anche dopo il
                  comando (per segnalare un problema)

Uscita: 0 riuscito, 1 almeno un modulo fallito, 2 uso errato, 130 interrotto.
)";

const CommandRow* Row_Of(Command command) {
    for (const CommandRow& row : Commands()) {
        if (row.command == command) {
            return &row;
        }
    }
    return nullptr;
}

// "ports, image e write" (joined with "e") or "ports, image o write".
std::string Command_List(const char* lastJoin) {
    std::vector<std::string> names;
    for (const CommandRow& row : Commands()) {
        if (row.listed) {
            names.push_back(row.name);
        }
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? std::string(" ") + lastJoin + " " : ", ");
        text += names[i];
    }
    return text;
}

const QCommandLineOption kHelp(QStringList{"h", "help"});
const QCommandLineOption kVersion(QStringList{"V", "version"});

using platform::Q;

// Parses `args` (the program name first) with the rows' options besides --help, --version and
// --verbose.
Result<> Parse_With(QCommandLineParser& parser, const std::vector<OptionRow>& rows,
                    const QStringList& args, const std::string& forCommand) {
    QList<QCommandLineOption> options{kHelp, kVersion, platform::Verbose_Option()};
    for (const OptionRow& row : rows) {
        QCommandLineOption option(QString(row.names).split(','));
        if (row.takesValue) {
            option.setValueName(QStringLiteral("VALORE"));
        }
        options.append(option);
    }
    Result<> parsed = platform::Parse_Options(parser, options, args);
    if (!parsed && !parser.unknownOptionNames().isEmpty() && !forCommand.empty()) {
        return Wrong(parsed.Text() + " per il comando " + forCommand);
    }
    return parsed;
}

// The command's own options and argument, once its name has been read.
Result<> Parse_Command(const CommandRow& row, const QStringList& args, Options& o) {
    QCommandLineParser parser;
    if (Result<> parsed = Parse_With(parser, row.options, args, row.name); !parsed) {
        return parsed;
    }
    o.help = parser.isSet(kHelp);
    o.version = parser.isSet(kVersion);
    o.verbose = o.verbose || parser.isSet(platform::Verbose_Option());
    if (o.help || o.version) {
        return platform::kDone;
    }
    for (const OptionRow& option : row.options) {
        const QString name = QString(option.names).section(',', -1);
        if (!option.takesValue && parser.isSet(name)) {
            option.apply(o, {});
        }
        for (const QString& value : option.takesValue ? parser.values(name) : QStringList()) {
            if (value.isEmpty()) {
                return Wrong("l'opzione --" + name.toStdString() + " richiede un valore non vuoto");
            }
            option.apply(o, value.toStdString());
        }
    }
    const QStringList positional = parser.positionalArguments();
    const qsizetype wanted = row.missingArgument != nullptr ? 1 : 0;
    if (positional.size() > wanted) {
        return Wrong("argomento in più: " + Quoted(positional[wanted].toStdString()));
    }
    if (positional.size() < wanted) {
        return Wrong(row.missingArgument);
    }
    if (wanted == 1) {
        row.takeArgument(o, positional.front().toStdString());
    }
    return row.check(o);
}

}  // namespace

std::string Command_Name(Command command) {
    const CommandRow* row = Row_Of(command);
    return row == nullptr ? std::string() : row->name;
}

Command Command_Named(const std::string& word) {
    for (const CommandRow& row : Commands()) {
        if (row.listed && word == row.name) {
            return row.command;
        }
    }
    return Command::None;
}

bool Is_Image_File(const std::string& input) {
    if (input.size() < 4) {
        return false;
    }
    std::string tail = input.substr(input.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".bin";
}

// First the options before the command and the command's name, then the rest by the command's
// own parser, so that each command knows only its own options.
Result<Options> Parse_Arguments(const std::vector<std::string>& args) {
    QStringList all{QStringLiteral("lcdprog-cli")};
    for (const std::string& arg : args) {
        all.append(Q(arg));
    }
    QCommandLineParser top;
    top.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    Options o;
    if (Result<> parsed = Parse_With(top, {}, all, ""); !parsed) {
        return parsed.Why();
    }
    o.help = top.isSet(kHelp);
    o.version = top.isSet(kVersion);
    o.verbose = top.isSet(platform::Verbose_Option());
    const QStringList positional = top.positionalArguments();
    if (!o.help && !o.version) {
        if (positional.isEmpty()) {
            return Wrong("manca il comando (" + Command_List("o") + ")");
        }
        const std::string word = positional.front().toStdString();
        const CommandRow* row = nullptr;
        for (const CommandRow& r : Commands()) {
            row = word == r.name ? &r : row;
        }
        if (row == nullptr) {
            return Wrong("comando sconosciuto: " + Quoted(word) + " (i comandi sono " +
                         Command_List("e") + ")");
        }
        o.command = row->command;
        if (row->ownParser) {
            for (const QString& word : positional.mid(1)) {
                o.commandArguments.push_back(word.toStdString());
            }
            return o;
        }
        // What follows the name is the command's; after a "--" before the name, all of it is
        // arguments still.
        QStringList rest = positional.mid(1);
        if (all.indexOf(QStringLiteral("--")) >= 1 &&
            all.indexOf(QStringLiteral("--")) < all.indexOf(positional.front())) {
            rest.prepend(QStringLiteral("--"));
        }
        rest.prepend(all.front());
        if (Result<> parsed = Parse_Command(*row, rest, o); !parsed) {
            return parsed.Why();
        }
    }
    return o;
}

std::string Version_Text() {
    return "lcdprog-cli " LCDPROG_VERSION "\n";
}

std::string Help_Text(Command command) {
    const CommandRow* row = Row_Of(command);
    return row != nullptr && *row->help != '\0' ? row->help : kGeneralHelp;
}

}  // namespace lcdprog::cli
