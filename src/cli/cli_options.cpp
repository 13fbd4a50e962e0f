#include "cli/cli_options.h"

#include <algorithm>
#include <cctype>

#ifndef LCDPROG_VERSION
#define LCDPROG_VERSION "0"
#endif

namespace lcdprog::cli {
namespace {

struct OptionSpec {
    const char* longName;
    char shortName;  // 0: none
    bool takesValue;
};

// Which options each command takes (--help and --version are taken everywhere).
std::vector<OptionSpec> Options_Of(Command command) {
    switch (command) {
        case Command::Image:
            return {{"--output", 'o', true}, {"--png", 0, true}};
        case Command::Write:
            return {{"--port", 'p', true},
                    {"--loop", 0, false},
                    {"--log", 0, true},
                    {"--quiet", 'q', false},
                    {"--json", 0, false}};
        case Command::Worker:
            return {{"--loop", 0, false}};
        default:
            return {};
    }
}

Command Command_Of(const std::string& word) {
    if (word == "ports") {
        return Command::Ports;
    }
    if (word == "image") {
        return Command::Image;
    }
    if (word == "write") {
        return Command::Write;
    }
    if (word == kWorkerCommand) {
        return Command::Worker;
    }
    return Command::None;
}

void Apply(Options& o, const std::string& name, const std::string& value) {
    if (name == "--output") {
        o.output = value;
    } else if (name == "--png") {
        o.pngDir = value;
    } else if (name == "--port") {
        o.ports.push_back(value);
    } else if (name == "--loop") {
        o.loop = true;
    } else if (name == "--log") {
        o.logFile = value;
    } else if (name == "--quiet") {
        o.quiet = true;
    } else if (name == "--json") {
        o.json = true;
    }
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

}  // namespace

std::string Command_Name(Command command) {
    switch (command) {
        case Command::Ports:
            return "ports";
        case Command::Image:
            return "image";
        case Command::Write:
            return "write";
        case Command::Worker:
            return kWorkerCommand;
        case Command::None:
            break;
    }
    return {};
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

bool Parse_Arguments(const std::vector<std::string>& args, Options& options, std::string& error) {
    Options o;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (o.command == Command::None && !o.help) {
                o.command = Command_Of(arg);
                if (o.command == Command::None) {
                    error = "comando sconosciuto: " + Quoted(arg) +
                            " (i comandi sono ports, image e write)";
                    return false;
                }
            } else {
                positional.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        if (arg == "--version" || arg == "-V") {
            o.version = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                hasValue = true;
            }
        }
        const OptionSpec* spec = nullptr;
        const auto specs = Options_Of(o.command);
        for (const auto& s : specs) {
            if (name == s.longName ||
                (s.shortName != 0 && arg.size() == 2 && arg[1] == s.shortName)) {
                spec = &s;
                break;
            }
        }
        if (spec == nullptr) {
            error = "opzione sconosciuta: " + Quoted(name);
            if (o.command != Command::None) {
                error += " per il comando " + Command_Name(o.command);
            }
            return false;
        }
        if (spec->takesValue && !hasValue) {
            if (i + 1 >= args.size()) {
                error = "l'opzione " + std::string(spec->longName) + " richiede un valore";
                return false;
            }
            value = args[++i];
        } else if (!spec->takesValue && hasValue) {
            error = "l'opzione " + std::string(spec->longName) + " non prende valori";
            return false;
        }
        if (spec->takesValue && value.empty()) {
            error = "l'opzione " + std::string(spec->longName) + " richiede un valore non vuoto";
            return false;
        }
        Apply(o, spec->longName, value);
    }
    if (o.help || o.version) {
        options = o;
        return true;
    }
    const std::size_t wanted =
        o.command == Command::Image || o.command == Command::Write || o.command == Command::Worker
            ? 1
            : 0;
    if (o.command == Command::None) {
        error = "manca il comando (ports, image o write)";
        return false;
    }
    if (positional.size() > wanted) {
        error = "argomento in più: " + Quoted(positional[wanted]);
        return false;
    }
    if (positional.size() < wanted) {
        error = o.command == Command::Image   ? "manca il progetto da compilare"
                : o.command == Command::Write ? "manca il progetto o il file .bin da scrivere"
                                              : "manca la porta";
        return false;
    }
    if (o.command == Command::Worker) {
        o.ports = positional;
    } else if (wanted == 1) {
        o.input = positional[0];
    }
    if (o.command == Command::Image && o.output.empty()) {
        error = "manca il file da scrivere: indicarlo con -o FILE.bin";
        return false;
    }
    if (o.command == Command::Image && Is_Image_File(o.input)) {
        error = "il comando image compila un progetto, non un file .bin: " + Quoted(o.input);
        return false;
    }
    if (o.command == Command::Write && o.ports.empty()) {
        error = "manca la porta: indicarla con --port DISPOSITIVO (anche più volte)";
        return false;
    }
    options = o;
    return true;
}

std::string Version_Text() {
    return "lcdprog-cli " LCDPROG_VERSION "\n";
}

std::string Help_Text(Command command) {
    switch (command) {
        case Command::Ports:
            return R"(Uso: lcdprog-cli ports
Elenca le porte seriali del sistema: per ognuna il dispositivo, il nome stabile in
/dev/serial/by-id, produttore, prodotto e numero di serie dell'adattatore USB, e se
questo utente può aprirla; se non può, che cosa fare.
)";
        case Command::Image:
            return R"(Uso: lcdprog-cli image PROGETTO -o FILE.bin [--png CARTELLA]
Compila il progetto (.lcdprj) nell'immagine di 65536 byte della EEPROM del modulo, con lo
stesso compilatore della finestra.

  -o, --output FILE.bin  il file dell'immagine (sostituito se esiste)
  --png CARTELLA         scrive anche ciò che ogni pannello mostrerà: 64128A_1.png ..
                         128240A_4.png, glyph_5x8.png, glyph_10x16.png

Uscita: 0 fatto, 2 uso errato o progetto non valido.
)";
        case Command::Write:
            return R"(Uso: lcdprog-cli write (PROGETTO | FILE.bin) --port DISPOSITIVO [--port ...]
                         [--loop] [--log FILE.jsonl] [--quiet | --json]
Programma uno o più moduli LCD, come "Scrivi modulo LCD" nella finestra: ricerca del
modulo, scrittura dei 512 blocchi della EEPROM, reset del PIC. Con più porte ogni porta
è programmata da un proprio processo, tutte insieme; il guasto di una non ferma le altre.

  -p, --port DISPOSITIVO  la porta seriale (/dev/ttyUSB0, /dev/serial/by-id/...); ripetibile
  --loop                  produzione: dopo ogni modulo attende che sia scollegato e che ne
                          risponda uno nuovo, poi lo programma; Ctrl-C termina con il riepilogo
  --log FILE.jsonl        aggiunge una riga JSON per modulo e tentativo (ora UTC, porta,
                          nome by-id, SHA-256 dell'immagine, esito, blocchi, ripetizioni,
                          secondi, testo dell'errore)
  -q, --quiet             nessun avanzamento (gli errori restano su standard error)
  --json                  un evento JSON per riga su standard output (start, block, retry,
                          done, failed) al posto dell'avanzamento

Ctrl-C agisce come Stop su ogni porta: nessun reset segue e le porte sono chiuse.
Uscita: 0 tutti programmati, 1 almeno un modulo fallito, 2 uso errato, progetto o
immagine non validi o porta non apribile (nessun modulo scritto), 130 interrotto.
)";
        default:
            break;
    }
    return R"(Uso: lcdprog-cli COMANDO [OPZIONI]
Il programmatore dei moduli LCD grafici senza finestra: stesso compilatore, stesso
protocollo e stessi progetti del programma lcdprog.

Comandi:
  ports                         elenca le porte seriali
  image PROGETTO -o FILE.bin    compila il progetto nell'immagine di 65536 byte
  write (PROGETTO | FILE.bin) --port DISPOSITIVO [--port ...]
                                programma i moduli, più porte insieme
  convert IMMAGINE... --panel TIPO -o USCITA
                                converte immagini qualsiasi nel BMP a 1 bit di un display

  -h, --help      questo aiuto (con un comando: l'aiuto del comando)
  -V, --version   la versione

Uscita: 0 riuscito, 1 almeno un modulo fallito, 2 uso errato, 130 interrotto.
)";
}

}  // namespace lcdprog::cli
