// lcdprog-cli from the outside: its command line, Ctrl-C during a run, the image it makes, two
// modules programmed at once (one failing).

#include <signal.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <span>
#include <sstream>

#include <gtest/gtest.h>

#include "compiler/mod_Compilatore.h"
#include "link/run_outcome.h"
#include "picture/picture.h"
#include "platform/posix_file_service.h"
#include "project/project_file.h"
#include "project/project_state.h"
#include "support/fakes.h"
#include "support/picture_files.h"
#include "support/processes.h"

namespace lcdprog::test {
namespace {

void Write_File(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A project with a picture in one slot of each panel type, and a copy naming a picture of the
// wrong size.
struct Projects {
    explicit Projects(const TempFolder& dir) : good(dir / "good.lcdprj"), bad(dir / "bad.lcdprj") {
        Write_File(dir / "a.bmp", Make_Picture({.width = 128, .height = 64, .pattern = 0x3C}));
        Write_File(dir / "b.bmp", Make_Picture({.width = 240, .height = 64, .pattern = 0x71}));
        Write_File(dir / "c.bmp", Make_Picture({.width = 240, .height = 128, .pattern = 0x0F}));
        Project p;
        p.pictures[0][0] = dir / "a.bmp";
        p.pictures[1][3] = dir / "a.bmp";
        p.pictures[2][1] = dir / "b.bmp";
        p.pictures[3][2] = dir / "c.bmp";
        p.font5x8 = {0x11, 0x0A, 0x04, 0x0A, 0x11};
        p.font10x16[3] = 0x8001;
        Write_File(good, Serialize_Project(p, good));
        p.pictures[0][1] = dir / "b.bmp";
        Write_File(bad, Serialize_Project(p, bad));
    }
    std::string good;
    std::string bad;
};

// What "Scrivi modulo LCD" compiles once the window has opened the project.
MemoryImageBytes Window_Compile(const std::string& project) {
    const auto state = std::make_unique<ProgramState>();
    platform::PosixFileService files(Bin_Folder());
    const platform::Result<Project> read = Read_Project(files, project);
    EXPECT_TRUE(read) << read.Text();
    EXPECT_TRUE(read && Apply_Project(*state, *read, files).empty());
    FakeMessageBox messages;
    const platform::Result<MemoryImageBytes> compiled =
        Compile_Image(CompilerIo{files, messages}, *state);
    EXPECT_TRUE(compiled);
    MemoryImageBytes image{};
    if (compiled) {
        std::copy(compiled->begin(), compiled->end(), image.begin());
    }
    return image;
}

// Blocks [0, written) hold the image, the rest is blank.
bool Holds_First_Blocks(const std::optional<MemoryImageBytes>& eeprom,
                        const MemoryImageBytes& image, int written) {
    const auto cut = static_cast<std::ptrdiff_t>(written) * 128;
    return eeprom && std::equal(eeprom->begin(), eeprom->begin() + cut, image.begin()) &&
           std::all_of(eeprom->begin() + cut, eeprom->end(), [](auto b) { return b == 0xFF; });
}

std::vector<QJsonObject> Json_Lines(const std::string& text) {
    std::vector<QJsonObject> objects;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        objects.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    }
    return objects;
}

// The exit status; `text` gets standard error then standard output, each line after a '\n'.
int Run_Cli(const TempFolder& dir, std::vector<std::string> args, std::string& text,
            const std::string& program = "lcdprog-cli") {
    args.insert(args.begin(), Bin_Folder() + "/" + program);
    ChildProcess cli(args, dir / "cli.err");
    std::string out;
    while (const auto line = cli.Next_Line(60000)) {
        out += *line + "\n";
    }
    const int status = cli.Wait_Exit(60000).value_or(-1);
    text = "\n";
    text += Read_Whole_File(dir / "cli.err") + out;
    return status;
}

// Bad input: a clear message and status 2; a failing command leaves none of its outputs, nor half
// of one. {sim} is the module's port, {dir} the test folder; `line` is one line of standard error
// (for status 0, of standard output). The window's program refuses what it once ignored.
void Expect_Bad_Input_Refused(const TempFolder& dir, const std::string& sim) {
    const auto expand = [&](const std::string& text) {
        return std::regex_replace(std::regex_replace(text, std::regex("\\{sim\\}"), sim),
                                  std::regex("\\{dir\\}"), dir / "");
    };
    const struct {
        const char *args, *line;
        int status = 2;
        const char* program = "lcdprog-cli";
    } rows[] = {
        {"--bogus", "lcdprog: opzione sconosciuta: \"--bogus\"", 2, "lcdprog"},
        {"a.lcdprj b.lcdprj",
         "lcdprog: argomento in più: \"b.lcdprj\" (si apre un progetto alla volta)", 2, "lcdprog"},
        {"--version", "lcdprog-cli 0.1.0", 0},
        {"", "lcdprog-cli: manca il comando (ports, image, write, convert, report o db)"},
        {"flash",
         "lcdprog-cli: comando sconosciuto: \"flash\" (i comandi sono ports, image, write, "
         "convert, report e db)"},
        {"write {dir}image.bin --port {sim} --speed 9600",
         "lcdprog-cli: opzione sconosciuta: \"--speed\" per il comando write"},
        {"write {dir}image.bin --port", "lcdprog-cli: l'opzione --port richiede un valore"},
        // The same words from the virtual module, whose own parser is the same.
        {"--baud", "lcdprog-sim: l'opzione --baud richiede un valore (vedere --help)", 2,
         "lcdprog-sim"},
        {"--quiet=1", "lcdprog-sim: l'opzione --quiet non prende valori (vedere --help)", 2,
         "lcdprog-sim"},
        {"write {dir}image.bin --port {sim} --quiet --json",
         "lcdprog-cli: --quiet e --json non vanno insieme: indicarne uno solo"},
        {"write {dir}image.bin",
         "lcdprog-cli: manca la porta: indicarla con --port DISPOSITIVO (anche più volte)"},
        {"write {dir}image.bin --port {sim} --db host=db",
         "lcdprog-cli: l'opzione --db richiede il registro delle unità: indicarlo con --log "
         "FILE.jsonl"},
        {"write {dir}image.bin --port {sim} --port {dir}b --log {dir}u.jsonl --serial S1",
         "lcdprog-cli: --serial è la matricola di un solo modulo: una sola --port, senza --loop"},
        {"write {dir}image.bin --port {sim} --log {dir}u.jsonl --db password=x",
         "lcdprog-cli: la password non va nella stringa di connessione: metterla in ~/.pgpass o "
         "nella variabile PGPASSWORD; nessun modulo è stato scritto."},
        {"image {dir}good.lcdprj",
         "lcdprog-cli: manca il file da scrivere: indicarlo con -o FILE.bin"},
        {"write {dir}none.lcdprj --port {sim}", "Nessun modulo è stato scritto."},
        {"write {dir}bad.lcdprj --port {sim}",
         "  64128A, immagine numero 2: {dir}b.bmp (non è un'immagine bitmap di 128 x 64 pixel a "
         "1 bit)"},
        {"write {dir}short.bin --port {sim}",
         "lcdprog-cli: il file {dir}short.bin non è un'immagine della EEPROM: 100 byte invece di "
         "65536"},
        {"write {dir}image.bin --port {sim} --port {sim}",
         "lcdprog-cli: la porta {sim} è indicata due volte; nessun modulo è stato scritto."},
        {"write {dir}image.bin --port {sim} --port {dir}absent",
         "lcdprog-cli: nessun modulo è stato scritto."},
        {"image {dir}good.lcdprj -o {dir}out1.bin --png {dir}short.bin",
         "lcdprog-cli: impossibile creare la cartella {dir}short.bin: esiste già un file con "
         "questo nome."},
        {"image {dir}bad.lcdprj -o {dir}out2.bin --png {dir}png2",
         "lcdprog-cli: il progetto {dir}bad.lcdprj ha immagini non utilizzabili:"},
        {"image {dir}good.lcdprj -o {dir}none/out3.bin --png {dir}png3",
         "lcdprog-cli: impossibile scrivere {dir}none/out3.bin: Il file o la cartella non esiste."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        std::vector<std::string> args;
        std::istringstream words(row.args);
        for (std::string word; words >> word;) {
            args.push_back(expand(word));
        }
        std::string text;
        EXPECT_EQ(Run_Cli(dir, args, text, row.program), row.status) << text;
        EXPECT_NE(text.find(expand(std::string("\n") + row.line + "\n")), std::string::npos)
            << text;
    }

    for (const char* output : {"out1.bin", "out2.bin", "png2", "png3"}) {
        EXPECT_FALSE(std::filesystem::exists(dir / output)) << output;
    }
}

// Bad input leaves the modules untouched. Then two modules at once, one of them gone silent
// at block 10: once the other is programmed, Ctrl-C at the terminal (the whole process group)
// stops the silent one as Stop does, with no reset after it, and the summary counts it as
// neither programmed nor failed.
TEST(CliWrite, BadInputChangesNothingAndCtrlCStopsWithoutReset) {
    TempFolder dir;
    const Projects projects(dir);
    SimProcess good(dir, Unpaced(), "good");
    SimProcess silent(dir, Unpaced({"--fault", "silent:block=10"}), "silent");
    ASSERT_TRUE(good.Next_Device() && silent.Next_Device()) << good.Log() << silent.Log();
    Write_File(dir / "short.bin", std::string(100, '\0'));
    MemoryImageBytes image{};
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 128);
    }
    Write_File(dir / "image.bin", std::string(image.begin(), image.end()));
    Expect_Bad_Input_Refused(dir, good.Link());

    // Standard error is where the operator reads the progress; it is read here line by line.
    const std::string log = dir / "units.jsonl";
    ChildProcess cli({"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", Bin_Folder() + "/lcdprog-cli",
                      "write", dir / "image.bin", "--port", good.Link(), "--port", silent.Link(),
                      "--log", log});
    std::string text;
    while (const auto line = cli.Next_Line(60000)) {
        text += *line + "\n";
        if (line->starts_with(good.Link() + ": modulo ") &&
            line->find(": Programmazione completata") != std::string::npos) {
            break;
        }
    }
    EXPECT_EQ(cli.Stop(SIGINT), 130) << text;
    while (const auto line = cli.Next_Line(1000)) {
        text += *line + "\n";
    }
    EXPECT_NE(
        text.find("\nRiepilogo: 1 modulo programmato, 0 falliti, 1 interrotto (interrotto)\n"),
        std::string::npos)
        << text;
    const auto records = Json_Lines(Read_Whole_File(log));
    ASSERT_EQ(records.size(), 2u);
    const QJsonObject& stopped = records[1];
    EXPECT_EQ(stopped.value("device").toString().toStdString(), silent.Link());
    EXPECT_EQ(stopped.value("result").toString(), "interrupted");
    EXPECT_EQ(stopped.value("failure").toString(), "stopped");
    const int stoppedAt = stopped.value("block").toInt();
    EXPECT_LE(stoppedAt, 10);
    silent.Stop();
    // The block under way when the stop came may or may not have been stored; beyond it the
    // EEPROM is blank, so no bad input above wrote anything either.
    EXPECT_TRUE(Holds_First_Blocks(silent.Saved_Eeprom(), image, stoppedAt) ||
                Holds_First_Blocks(silent.Saved_Eeprom(), image, stoppedAt + 1));
    EXPECT_EQ(silent.Log().find("reset"), std::string::npos) << silent.Log();
}

// The image made from a project is the window's compile of it; four modules at once get it, and
// each end is told as it happened: one programmed, one failing at block 100, one whose reset goes
// unanswered, one whose line drops at block 200 (told at once, naming the device, not after the
// window's retries). The record of each, by its failure kind.
TEST(CliWrite, ImageAndFourModulesAndTheirRecord) {
    TempFolder dir;
    const Projects projects(dir);
    const MemoryImageBytes image = Window_Compile(projects.good);
    std::string text;
    ASSERT_EQ(Run_Cli(dir, {"image", projects.good, "-o", dir / "out.bin"}, text), 0) << text;
    EXPECT_EQ(Read_Whole_File(dir / "out.bin"), std::string(image.begin(), image.end()));
    const struct {
        const char* fault;
        const char* result;
        const char* failure;
        RunOutcome outcome;
        int stored;  // leading blocks of the EEPROM that hold the image
    } rows[] = {
        {"none", "ok", "", {RunFailure::None, 512}, 512},
        // A write the module stored but whose acknowledgement was spoiled is in its EEPROM.
        {"badsum:block=100", "failed", "block-failed", {RunFailure::BlockFailed, 100, 100}, 101},
        {"badsum:reset", "failed", "reset-failed", {RunFailure::ResetFailed, 512}, 512},
        // Hung up as block 200 arrived: the module stored it, nobody heard.
        {"hangup:block=200", "failed", "port-lost", {RunFailure::PortLost, 200, 200}, 201},
    };
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::string> args = {"write", projects.good, "--log", dir / "units.jsonl",
                                     "--quiet"};
    for (const auto& row : rows) {
        sims.push_back(std::make_unique<SimProcess>(dir, Unpaced({"--fault", row.fault}),
                                                    "lcd" + std::to_string(sims.size())));
        ASSERT_TRUE(sims.back()->Next_Device());
        args.insert(args.end(), {"--port", sims.back()->Link()});
    }
    Write_File(dir / "units.jsonl", "{\"earlier\":true}\n");
    EXPECT_EQ(Run_Cli(dir, args, text), 1) << text;
    EXPECT_EQ(text.find(" lcdprog."), std::string::npos) << text;  // the log is off by default

    const QByteArray bytes(reinterpret_cast<const char*>(image.data()), std::ssize(image));
    const QString sha = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    const auto records = Json_Lines(Read_Whole_File(dir / "units.jsonl"));
    ASSERT_EQ(records.size(), 5u) << Read_Whole_File(dir / "units.jsonl");
    EXPECT_TRUE(records[0].value("earlier").toBool());
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].fault);
        SimProcess& sim = *sims[i];
        const auto record = std::find_if(records.begin(), records.end(), [&](const auto& r) {
            return r.value("device").toString().toStdString() == sim.Link();
        });
        ASSERT_NE(record, records.end());
        EXPECT_EQ(record->value("image_sha256").toString(), sha);
        EXPECT_EQ(record->value("project").toString().toStdString(), projects.good);
        EXPECT_TRUE(std::regex_match(record->value("time").toString().toStdString(),
                                     std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
        EXPECT_EQ(
            (QStringList{record->value("result").toString(), record->value("failure").toString(),
                         QString::number(record->value("block").toInt(-1))}),
            (QStringList{rows[i].result, rows[i].failure,
                         QString::number(rows[i].outcome.block.value_or(-1))}));
        RunOutcome told = rows[i].outcome;
        told.seconds = record->value("seconds").toDouble();
        const std::string said = record->value("text").toString().toStdString();
        if (told.failure == RunFailure::PortLost) {
            // The serial control's own words, which name the device; no retry on a dead line.
            const std::string before = Outcome_Text(told) + ". ";
            ASSERT_TRUE(said.starts_with(before + "Il dispositivo " + sim.Link() + " ")) << said;
            told.why = said.substr(before.size());
            EXPECT_EQ(record->value("retries").toInt(), 0);
        }
        EXPECT_EQ(said, Outcome_Text(told));
        // A failure is told even with --quiet, in the words every view uses.
        if (told.failure != RunFailure::None) {
            EXPECT_NE(text.find("\n" + sim.Link() + ": modulo " +
                                std::to_string(record->value("unit").toInt()) + ": " +
                                Outcome_Text(told)),
                      std::string::npos)
                << text;
        }
        sim.Stop();
        EXPECT_TRUE(Holds_First_Blocks(sim.Saved_Eeprom(), image, rows[i].stored));
    }
}

// --verbose: every step of a run on standard error, the port's process's lines included, and the
// failure by its kind; a connection string's password is never written, not even in the log.
// Without it the same run logs nothing (the four modules above).
TEST(CliWrite, VerboseLogsTheRunAndNeverAPassword) {
    TempFolder dir;
    Write_File(dir / "image.bin", std::string(65536, '\x5A'));
    SimProcess sim(dir, {"--page-ms", "0", "--fault", "badsum:block=130"});
    ASSERT_TRUE(sim.Next_Device());
    std::string text;
    EXPECT_EQ(Run_Cli(dir,
                      {"write", dir / "image.bin", "--port", sim.Link(), "--quiet", "--verbose",
                       "--log", dir / "units.jsonl"},
                      text),
              1);
    const std::string link = " lcdprog.link info: " + sim.Link() + ": ";
    for (const std::string& line : {
             link + "port opened",
             link + "looking for the module",
             link + "module found, writing 512 blocks",
             link + "128 of 512 blocks written",
             link + "resetting the module",
             " lcdprog.link warning: " + sim.Link() +
                 ": run failed: block-failed, block 130 (from 0), reset acknowledged: ",
             " lcdprog.cli warning: " + sim.Link() + ": unit 1 failed: block-failed, 130 blocks",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    EXPECT_EQ(text.find("256 of 512"), std::string::npos) << text;

    const std::string conninfo = "host=" + dir / "" + " dbname=x user=linea1 password='p w1'";
    EXPECT_EQ(Run_Cli(dir, {"db", "send", conninfo, dir / "units.jsonl", "--verbose"}, text), 2);
    EXPECT_NE(text.find(" lcdprog.records info: connection string: \"host=" + dir / "" +
                        " dbname=x user=linea1 password=(removed)\""),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("p w1"), std::string::npos) << text;
}

// A port process's failed unit names the step it failed at, for its parent to act on without
// reading the message.
TEST(CliPortProcess, AFailedUnitNamesWhereItFailed) {
    TempFolder dir;
    Write_File(dir / "image.bin", std::string(65536, '\x5A'));
    SimProcess sim(dir, Unpaced({"--fault", "badsum:block=3"}));
    ASSERT_TRUE(sim.Next_Device());
    // The parent's side of the pipes: the image, "go", then standard input kept open.
    ChildProcess worker(
        {"/bin/sh", "-c",
         "(cat \"$1\"; echo go; exec tail -f /dev/null) | \"$2\" _port-worker \"$3\"", "sh",
         dir / "image.bin", Bin_Folder() + "/lcdprog-cli", sim.Link()},
        dir / "worker.err");
    QJsonObject result;
    while (const auto line = worker.Next_Line(60000)) {
        result = Json_Lines(*line).front();
        if (result.value("event") == "failed" || result.value("event") == "done") {
            break;
        }
    }
    EXPECT_EQ((QStringList{result.value("event").toString(), result.value("failure").toString(),
                           QString::number(result.value("blocks").toInt()),
                           QString::number(result.value("block").toInt(-1))}),
              (QStringList{"failed", "block-failed", "3", "3"}))
        << Read_Whole_File(dir / "worker.err");
}

// convert writes the bytes the conversion makes of the decoded picture, with every option
// passed through; several pictures go into a folder; any bad argument or picture writes nothing.
// image and write warn about a picture the module would show as its negative, and carry on.
TEST(CliConvert, SameBytesAsTheConversionNothingWrittenOnBadInputPaletteWarning) {
    TempFolder dir;
    Write_File(dir / "grey.pgm",
               "P2\n5 3\n255\n0 30 60 90 120\n150 180 210 240 255\n9 99 199 33 3\n");
    picture::Rgba grey{5, 3, {}};
    for (int v : {0, 30, 60, 90, 120, 150, 180, 210, 240, 255, 9, 99, 199, 33, 3}) {
        grey.pixels.insert(grey.pixels.end(),
                           {std::uint8_t(v), std::uint8_t(v), std::uint8_t(v), 255});
    }
    picture::Settings s;
    s.scaling = picture::Scaling::Fill;
    s.rotation = 90;
    s.mirror = s.invert = true;
    s.conversion = picture::Conversion::Bayer;
    s.threshold = 100;
    s.brightness = -10;
    s.contrast = 20;
    std::string text;
    ASSERT_EQ(Run_Cli(dir,
                      {"convert", dir / "grey.pgm", "--panel", "64240B", "-o", dir / "a.bmp",
                       "--fill", "--rotate", "90", "--mirror", "--invert", "--dither=bayer",
                       "--threshold", "100", "--brightness", "-10", "--contrast", "20"},
                      text),
              0)
        << text;
    EXPECT_EQ(Read_Whole_File(dir / "a.bmp"),
              picture::Bmp_File(picture::Convert(grey, 240, 64, s)));
    Write_File(dir / "b.ppm", "P3\n1 1\n255\n0 0 0\n");
    ASSERT_EQ(Run_Cli(dir,
                      {"convert", dir / "grey.pgm", dir / "b.ppm", "--panel", "64128E", "-o",
                       dir / "out", "--stretch"},
                      text),
              0)
        << text;
    EXPECT_EQ(Read_Whole_File(dir / "out/b_128x64.bmp"),
              picture::Bmp_File({128, 64, std::vector<std::uint8_t>(128 * 64, 0)}));
    EXPECT_EQ(Read_Whole_File(dir / "out/grey_128x64.bmp").size(), 1086u);

    const std::string grey_ = dir / "grey.pgm";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{grey_, "-o", dir / "x"}, "manca il tipo di display: indicarlo con --panel TIPO"},
        {{grey_, "--panel", "64128", "-o", dir / "x"},
         "tipo di display sconosciuto: \"64128\" (64128A, 64128E, 64240B o 128240A)"},
        {{grey_, "--panel", "64128A"}, "manca il file da scrivere: indicarlo con -o USCITA"},
        {{"--panel", "64128A", "-o", dir / "x"}, "manca l'immagine da convertire"},
        {{grey_, "--panel", "64128A", "-o", dir / "x", "--fit", "--fill"},
         "indicare una sola scala tra --fit, --fill, --stretch e --original"},
        {{grey_, "--panel", "64128A", "-o", dir / "x", "--rotate", "45"},
         "rotazione non valida: 45 (ammesse 0, 90, 180, 270)"},
        {{grey_, "--panel", "64128A", "-o", dir / "x", "--contrast", "molto"},
         "--contrast vuole un numero intero, non \"molto\""},
        {{grey_, "--panel", "64128A", "-o", dir / "x", "--dither", "floyd"},
         "--dither non valido: \"floyd\" (threshold, floyd-steinberg, atkinson o bayer)"},
        {{grey_, "--panel", "64128A", "-o", dir / "x", "--size"},
         "opzione sconosciuta: \"--size\""},
        {{grey_, "--panel", "64128A", "-o", dir / "x", "--brightness"},
         "l'opzione --brightness richiede un valore"},
        {{grey_, dir / "no.png", "--panel", "64128A", "-o", dir / "x"}, "File no.png non trovato."},
        {{grey_, grey_, "--panel", "64128A", "-o", dir / "x"},
         grey_ + " e " + grey_ + " darebbero lo stesso file " + dir / "x/grey_128x64.bmp"},
    };
    for (const auto& [args, message] : rows) {
        SCOPED_TRACE(message);
        std::vector<std::string> line{"convert"};
        line.insert(line.end(), args.begin(), args.end());
        EXPECT_EQ(Run_Cli(dir, line, text), 2);
        EXPECT_EQ(text, "\nlcdprog-cli: " + message + "\nNessun file è stato scritto.\n");
        EXPECT_FALSE(platform::PosixFileService().FileExists(dir / "x") ||
                     std::filesystem::exists(dir / "x"));
    }

    std::string reversed = Make_Picture({.width = 240, .height = 64});
    reversed.replace(54, 8, std::string("\xFF\xFF\xFF\0\0\0\0\0", 8));
    Write_File(dir / "Neg.bmp", reversed);
    Project p;
    p.pictures[2][0] = dir / "Neg.bmp";
    Write_File(dir / "neg.lcdprj", Serialize_Project(p, dir / "neg.lcdprj"));
    EXPECT_EQ(Run_Cli(dir, {"image", dir / "neg.lcdprj", "-o", dir / "neg.bin"}, text), 0);
    EXPECT_EQ(text,
              "\nlcdprog-cli: attenzione: L'immagine Neg.bmp ha la tavolozza invertita (il "
              "colore 0 è più chiaro del colore 1): il modulo la mostrerà in negativo.\n");
}

}  // namespace
}  // namespace lcdprog::test
