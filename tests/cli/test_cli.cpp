// lcdprog-cli from the outside: its command line, two modules programmed at once (one failing),
// Ctrl-C during a run, and the image it makes against the window's compile of the same project.

#include <signal.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "cli_harness.h"
#include "compiler/mod_Compilatore.h"
#include "main_window/picture_files.h"
#include "platform/posix_file_service.h"
#include "project/project_file.h"
#include "project/project_state.h"
#include "support/fakes.h"

namespace lcdprog::test {
namespace {

constexpr int kBlock = 128;

// A project with a picture in one slot of each panel type, and a copy naming a picture of the
// wrong size.
struct Projects {
    explicit Projects(const TempDir& dir) : good(dir / "good.lcdprj"), bad(dir / "bad.lcdprj") {
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
Image Window_Compile(const std::string& project) {
    Reset_Program_State();
    platform::PosixFileService files(Bin_Folder());
    const ProjectReadResult read = Read_Project(files, project);
    EXPECT_TRUE(read.ok) << read.error;
    EXPECT_TRUE(Apply_Project(read.project, files).empty());
    FakeMessageBox messages;
    EXPECT_TRUE(Compile_Image(CompilerIo{files, messages}));
    Image image{};
    std::copy(MemoryImage.begin(), MemoryImage.end(), image.begin());
    return image;
}

// Blocks [0, written) hold the image, the rest is blank.
bool Holds_First_Blocks(const Image& eeprom, const Image& image, int written) {
    const auto cut = static_cast<std::ptrdiff_t>(written) * kBlock;
    return std::equal(eeprom.begin(), eeprom.begin() + cut, image.begin()) &&
           std::all_of(eeprom.begin() + cut, eeprom.end(),
                       [](std::uint8_t b) { return b == 0xFF; });
}

std::vector<QJsonObject> Json_Lines(const std::string& text) {
    std::vector<QJsonObject> objects;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        objects.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    }
    return objects;
}

// ---------------------------------------------------------------------------------------------
// Bad input: a clear message, status 2, and the module untouched.

struct UsageRow {
    std::vector<std::string> args;  // {sim} is the module's port, {dir} the test folder
    int status;
    std::string line;  // one line standard error (or, for status 0, standard output) holds
};
void PrintTo(const UsageRow& row, std::ostream* os) {
    for (const auto& a : row.args) {
        *os << a << ' ';
    }
}

class CliUsage : public testing::TestWithParam<UsageRow> {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        projects_ = new Projects(*dir_);
        sim_ = new Sim(*dir_, "lcd");
        Write_File(*dir_ / "short.bin", std::string(100, '\0'));
        Write_File(*dir_ / "image.bin", std::string(65536, '\x5A'));
    }
    static void TearDownTestSuite() {
        delete sim_;
        delete projects_;
        delete dir_;
    }
    static TempDir* dir_;
    static Projects* projects_;
    static Sim* sim_;
};
TempDir* CliUsage::dir_ = nullptr;
Projects* CliUsage::projects_ = nullptr;
Sim* CliUsage::sim_ = nullptr;

TEST_P(CliUsage, StatusAndMessage) {
    std::vector<std::string> args;
    for (std::string a : GetParam().args) {
        a = std::regex_replace(a, std::regex("\\{sim\\}"), sim_->Link());
        a = std::regex_replace(a, std::regex("\\{dir\\}"), *dir_ / "");
        args.push_back(a);
    }
    const CliResult r = Run_Cli(*dir_, args);
    EXPECT_EQ(r.status, GetParam().status) << r.err;
    std::string text = r.err;
    for (const auto& line : r.out) {
        text += line + "\n";
    }
    // The expected line may name the test folder and the module's port too.
    std::string line = std::regex_replace(GetParam().line, std::regex("\\{sim\\}"), sim_->Link());
    line = std::regex_replace(line, std::regex("\\{dir\\}"), *dir_ / "");
    EXPECT_NE(("\n" + text).find("\n" + line + "\n"), std::string::npos) << text;
    const Image eeprom = sim_->Eeprom();
    EXPECT_TRUE(
        std::all_of(eeprom.begin(), eeprom.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

const std::string kNothing = "Nessun modulo è stato scritto.";

INSTANTIATE_TEST_SUITE_P(
    Table, CliUsage,
    testing::Values(
        UsageRow{{"--version"}, 0, "lcdprog-cli 0.1.0"},
        UsageRow{{}, 2, "lcdprog-cli: manca il comando (ports, image o write)"},
        UsageRow{{"flash"},
                 2,
                 "lcdprog-cli: comando sconosciuto: \"flash\" (i comandi sono ports, image e "
                 "write)"},
        UsageRow{{"write", "{dir}image.bin", "--port", "{sim}", "--speed", "9600"},
                 2,
                 "lcdprog-cli: opzione sconosciuta: \"--speed\" per il comando write"},
        UsageRow{{"write", "{dir}image.bin", "--port"},
                 2,
                 "lcdprog-cli: l'opzione --port richiede un valore"},
        UsageRow{{"write", "{dir}image.bin"},
                 2,
                 "lcdprog-cli: manca la porta: indicarla con --port DISPOSITIVO (anche più "
                 "volte)"},
        UsageRow{{"image", "{dir}good.lcdprj"},
                 2,
                 "lcdprog-cli: manca il file da scrivere: indicarlo con -o FILE.bin"},
        UsageRow{{"write", "{dir}none.lcdprj", "--port", "{sim}"}, 2, kNothing},
        UsageRow{{"write", "{dir}bad.lcdprj", "--port", "{sim}"},
                 2,
                 "  64128A, immagine numero 2: {dir}b.bmp (non è un'immagine bitmap di 128 x 64 "
                 "pixel a 1 bit)"},
        UsageRow{{"write", "{dir}short.bin", "--port", "{sim}"},
                 2,
                 "lcdprog-cli: il file {dir}short.bin non è un'immagine della EEPROM: 100 byte "
                 "invece di 65536"},
        UsageRow{{"write", "{dir}image.bin", "--port", "{sim}", "--port", "{sim}"},
                 2,
                 "lcdprog-cli: la porta {sim} è indicata due volte; nessun modulo è stato "
                 "scritto."},
        UsageRow{{"write", "{dir}image.bin", "--port", "{sim}", "--port", "{dir}absent"},
                 2,
                 "lcdprog-cli: nessun modulo è stato scritto."}));

// ---------------------------------------------------------------------------------------------
// Two modules at once, one of them failing at block 100; the record of both.

TEST(CliWrite, TwoModulesOneFailingAndTheirRecord) {
    TempDir dir;
    const Projects projects(dir);
    const Image image = Window_Compile(projects.good);
    Sim good(dir, "good");
    Sim failing(dir, "failing", {"--fault", "noanswer:block=100"});
    const std::string log = dir / "units.jsonl";
    Write_File(log, "{\"earlier\":true}\n");

    const CliResult r = Run_Cli(dir, {"write", projects.good, "--port", good.Link(), "--port",
                                      failing.Link(), "--log", log, "--quiet"});

    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(good.Stop_And_Read_Eeprom(), image);
    // A write the module stored but whose acknowledgement was lost is still in its EEPROM.
    EXPECT_TRUE(Holds_First_Blocks(failing.Stop_And_Read_Eeprom(), image, 101));
    const std::string sha =
        QCryptographicHash::hash(QByteArray(reinterpret_cast<const char*>(image.data()),
                                            static_cast<qsizetype>(image.size())),
                                 QCryptographicHash::Sha256)
            .toHex()
            .toStdString();
    auto records = Json_Lines(Read_File(log));
    ASSERT_EQ(records.size(), 3u) << Read_File(log);
    EXPECT_TRUE(records[0].value("earlier").toBool());
    records.erase(records.begin());
    std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return a.value("result").toString() > b.value("result").toString();
    });
    const std::string ports[] = {good.Link(), failing.Link()};
    const char* results[] = {"ok", "failed"};
    const int blocks[] = {512, 100};
    const int retries[] = {0, 2};
    const char* errors[] = {"",
                            "Comunicazione seriale interrotta.\r\nScrittura EEPROM I2C fallita!"};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject& rec = records[static_cast<std::size_t>(i)];
        EXPECT_EQ(rec.value("port").toString().toStdString(), ports[i]);
        EXPECT_EQ(rec.value("result").toString().toStdString(), results[i]);
        EXPECT_EQ(rec.value("blocks").toInt(), blocks[i]);
        EXPECT_EQ(rec.value("retries").toInt(), retries[i]);
        EXPECT_EQ(rec.value("error").toString().toStdString(), errors[i]);
        EXPECT_EQ(rec.value("image_sha256").toString().toStdString(), sha);
        EXPECT_TRUE(std::regex_match(rec.value("time").toString().toStdString(),
                                     std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
    }
}

// ---------------------------------------------------------------------------------------------
// Ctrl-C at the terminal (the whole process group) acts as Stop: no reset follows.

TEST(CliWrite, CtrlCStopsTheRunWithoutReset) {
    TempDir dir;
    Sim sim(dir, "lcd");
    Image image{};
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 128);
    }
    Write_File(dir / "image.bin", std::string(image.begin(), image.end()));
    const std::string log = dir / "units.jsonl";
    Process cli({Bin_Folder() + "/lcdprog-cli", "write", dir / "image.bin", "--port", sim.Link(),
                 "--json", "--log", log},
                dir / "cli.err", /*ownGroup=*/true);
    while (const auto line = cli.Line()) {
        const auto event = Json_Lines(*line).front();
        if (event.value("event") == "block" && event.value("block").toInt() == 64) {
            cli.Signal(SIGINT, /*group=*/true);
            break;
        }
    }
    while (cli.Line()) {
    }
    EXPECT_EQ(cli.Wait(), 130) << cli.Err();

    const auto records = Json_Lines(Read_File(log));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].value("result").toString(), "interrupted");
    const int stoppedAt = records[0].value("blocks").toInt();
    EXPECT_GE(stoppedAt, 64);
    const Image eeprom = sim.Stop_And_Read_Eeprom();
    // The block under way when the stop came may or may not have been stored.
    EXPECT_TRUE(Holds_First_Blocks(eeprom, image, stoppedAt) ||
                Holds_First_Blocks(eeprom, image, stoppedAt + 1));
    EXPECT_EQ(sim.Log().find("reset"), std::string::npos) << sim.Log();
}

// ---------------------------------------------------------------------------------------------
// image PROJECT -o FILE.bin gives exactly the window's compile of that project.

TEST(CliImage, BinIsTheWindowsCompile) {
    TempDir dir;
    const Projects projects(dir);
    const CliResult r = Run_Cli(dir, {"image", projects.good, "-o", dir / "out.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Image image = Window_Compile(projects.good);
    EXPECT_EQ(Read_File(dir / "out.bin"), std::string(image.begin(), image.end()));
}

}  // namespace
}  // namespace lcdprog::test
