// Project files: every kind of bad file refused with its one message, and a save / move / open
// round trip through real files.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>

#include "platform/posix_file_service.h"
#include "project/picture_names.h"
#include "project/project_file.h"
#include "project/project_state.h"
#include "support/fakes.h"
#include "support/picture_files.h"

namespace lcdprog {
namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

// A file of version 2 with `key` added at the top.
std::string Version_2(const std::string& text, const std::string& key) {
    return Replace(Replace(text, "\"version\": 1", "\"version\": 2"), "\n}\n",
                   ",\n" + key + "\n}\n");
}

TEST(ProjectFile, EachKindOfBadFileGetsOneClearMessage) {
    const std::string good = Serialize_Project({}, "/w/p.lcdprj");
    const std::string bad = "Il file p.lcdprj non è un progetto valido: ";
    const struct {
        std::string text, message;
    } cases[] = {
        {"{\"format\": ", bad + "il testo JSON non è corretto (carattere 11)."},
        {"[1, 2]", bad + "il testo JSON non è un oggetto."},
        {Replace(good, "lcdprog-project", "other"), bad + "manca il formato \"lcdprog-project\"."},
        {Replace(good, "\"version\": 1", "\"version\": 3"),
         "Il progetto p.lcdprj è stato salvato da una versione più recente del programma "
         "(formato 3); questa versione legge fino al formato 2."},
        {Replace(good, "\"version\": 1", "\"version\": 1.5"),
         bad + "la versione manca o non è un numero intero positivo."},
        {Replace(good, "\"64240B\": [\n            \"\",", "\"64240B\": ["),
         bad + "il display 64240B deve avere un elenco di 4 immagini."},
        {Replace(good, "\"\"\n        ]\n    },", "7 ]},"),
         bad + "l'immagine numero 4 del display 128240A non è un testo."},
        {Replace(good, "\".....\"", "\"......\""),
         bad + "il font 5x8 deve avere 8 righe di 5 caratteri '#' o '.'."},
        {Replace(good, "\"..........\"", "\".........X\""),
         bad + "il font 10x16 deve avere 16 righe di 10 caratteri '#' o '.'."},
        {good + std::string(kProjectMaxBytes, ' '), bad + "supera 1 MiB."},
        {Version_2(good, "\"imports\": {}"), bad + "le importazioni devono essere un elenco."},
        {Version_2(good, "\"imports\": [{\"picture\": \"a.bmp\"}]"),
         bad + "l'importazione numero 1 non è corretta."},
        {Version_2(good,
                   "\"imports\": [{\"picture\": \"a.bmp\", \"source\": \"a.png\", "
                   "\"dither\": \"sfumato\"}]"),
         bad + "l'importazione numero 1 non è corretta."},
        {Version_2(good, "\"reversedPalettesKept\": \"a.bmp\""),
         bad + "le tavolozze invertite lasciate così devono essere un elenco."},
        {Version_2(good, "\"reversedPalettesKept\": [7]"),
         bad + "una tavolozza invertita lasciata così non è un percorso."},
    };
    test::FakeFileService files;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        files.Put("/w/p.lcdprj", c.text);
        EXPECT_EQ(Read_Project(files, "/w/p.lcdprj").Text(), c.message);
    }
    files.PutSpecial("/w/folder.lcdprj", platform::FileStatus::NotRegular);
    EXPECT_EQ(Read_Project(files, "/w/none.lcdprj").Text(),
              "Il progetto /w/none.lcdprj non esiste.");
    EXPECT_EQ(Read_Project(files, "/w/folder.lcdprj").Text(),
              "Il file folder.lcdprj non è un file regolare: non è un progetto.");
}

// A picture under the project's folder is written relative (its on-disk case kept), one outside
// absolute; moved one level deeper (where a relative outside path would be lost) and opened, the
// slots hold what a right-click choice would, and a missing and a wrong-sized picture are
// refused and keep the white picture.
TEST(ProjectFile, SavedMovedAndOpenedAgain) {
    QTemporaryDir root, outside;
    ASSERT_TRUE(QDir(root.path()).mkpath("job/pics") && QDir(root.path()).mkpath("deeper"));
    const std::string job = root.path().toStdString() + "/job", out = outside.path().toStdString();
    for (const auto& [path, width, height] : {std::tuple{job + "/pics/Logo.BMP", 128, 64},
                                              {out + "/wide.bmp", 240, 128},
                                              {job + "/small.bmp", 128, 64}}) {
        std::ofstream(path, std::ios::binary) << test::Make_Picture({width, height});
    }
    ProgramState state;
    state.Images_64128E[2].FullPath = platform::Lower_Case_Path(job + "/pics/Logo.BMP");
    state.Images_128240A[1].FullPath = out + "/wide.bmp";
    state.Images_64240B[0].FullPath = "/opt/lcdprog/Sfondo_Bianco_240x64.bmp";
    state.Font_10x16 = {0xFFFF, 0, 0x8001, 0, 0, 0, 0, 0, 0, 0x1234};
    platform::PosixFileService files("/opt/lcdprog");
    Project saved = Capture_Project(state, files);
    const platform::Result<> written = Write_Project(saved, job + "/p.lcdprj");
    ASSERT_TRUE(written) << written.Text();

    ASSERT_TRUE(QDir(root.path()).rename("job", "deeper/moved"));
    const std::string moved = root.path().toStdString() + "/deeper/moved";
    platform::Result<Project> opened = Read_Project(files, moved + "/p.lcdprj");
    ASSERT_TRUE(opened) << opened.Text();
    saved.pictures[1][2] = moved + "/pics/Logo.BMP";
    EXPECT_EQ(opened.Value(), saved);

    opened.Value().pictures[0][3] = moved + "/gone.bmp";
    opened.Value().pictures[2][1] = moved + "/small.bmp";
    state = ProgramState{};
    EXPECT_EQ(Refused_Pictures_Message(Apply_Project(state, opened.Value(), files)),
              "Queste immagini del progetto non sono state caricate e al loro posto resta "
              "l'immagine bianca:\r\n64128A, immagine numero 4: " +
                  moved + "/gone.bmp (file non trovato)\r\n64240B, immagine numero 2: " + moved +
                  "/small.bmp (non è un'immagine bitmap di 240 x 64 pixel a 1 bit)");
    EXPECT_EQ(std::tie(state.Images_64128E[2].FullPath, state.Images_64128E[2].FileName),
              std::tuple(platform::Lower_Case_Path(moved + "/pics/Logo.BMP"), "logo.bmp"));
    EXPECT_EQ(state.Images_64128A[3].FullPath, "/opt/lcdprog/Sfondo_Bianco_128x64.bmp");
    EXPECT_EQ(state.Images_64240B[1].FileName, "Sfondo_Bianco_240x64.bmp");
    EXPECT_EQ(state.Font_10x16, saved.font10x16);
}

// How pictures were imported and which reversed palettes stay as they are travel with the project
// (paths relative to it) and need version 2; a file of version 1 is read as it always was, a key
// of those names being only a key it does not know.
TEST(ProjectFile, ImportsAndKeptPalettesNeedVersion2AndMoveWithTheProject) {
    Project project;
    project.pictures[0][1] = "/job/immagini/logo_128x64.bmp";
    picture::Settings settings;
    settings.scaling = picture::Scaling::Fill;
    settings.rotation = 270;
    settings.mirror = true;
    settings.conversion = picture::Conversion::Atkinson;
    settings.threshold = 90;
    settings.brightness = -20;
    settings.contrast = 35;
    settings.invert = true;
    project.imports = {{"/job/immagini/logo_128x64.bmp", "/foto/logo.jpg", settings}};
    project.reversedPalettesKept = {"/job/neg.bmp"};
    const std::string text = Serialize_Project(project, "/job/p.lcdprj");
    EXPECT_NE(text.find("\"version\": 2,"), std::string::npos);
    EXPECT_NE(text.find("{\"picture\": \"immagini/logo_128x64.bmp\", \"source\": "
                        "\"/foto/logo.jpg\", \"scale\": \"fill\", \"rotate\": 270, \"mirror\": "
                        "true, \"dither\": \"atkinson\", \"threshold\": 90, \"brightness\": -20, "
                        "\"contrast\": 35, \"invert\": true}"),
              std::string::npos);
    Project moved = *Parse_Project(text, "/elsewhere/p.lcdprj");
    EXPECT_EQ(moved.imports[0].picture, "/elsewhere/immagini/logo_128x64.bmp");
    EXPECT_EQ(moved.reversedPalettesKept, std::vector<std::string>{"/elsewhere/neg.bmp"});
    moved.pictures = project.pictures;
    moved.imports[0].picture = project.imports[0].picture;
    moved.reversedPalettesKept = project.reversedPalettesKept;
    EXPECT_EQ(moved, project);

    const std::string first =
        Replace(Serialize_Project({}, "/job/p.lcdprj"), "\n}\n", ",\n\"imports\": \"nota\"\n}\n");
    const Project old = *Parse_Project(first, "/job/p.lcdprj");
    EXPECT_TRUE(old.imports.empty());
    EXPECT_EQ(old.extraTop, (std::vector<Project::Extra>{{"imports", "\"nota\""}}));
    EXPECT_EQ(Settings_From_Json(Settings_Json(settings)), settings);
    EXPECT_EQ(Settings_From_Json("{\"threshold\": 300}"), std::nullopt);
}

// A new picture never replaces a file that holds other bytes: it takes the first free name, or
// the one that already holds exactly its bytes.
TEST(PictureNames, ANewPictureReplacesNoOtherPicture) {
    test::FakeFileService files;
    files.Put("/p/a.b/logo.bmp", "old");
    files.Put("/p/a.b/logo_2.bmp", "new");
    files.Put("/p/a.b/logo_3.bmp", "other");
    files.Put("/p/pic", "old");
    const struct {
        std::string wanted, bytes, name;
    } rows[] = {
        {"/p/free.bmp", "new", "/p/free.bmp"},
        {"/p/a.b/logo.bmp", "old", "/p/a.b/logo.bmp"},
        {"/p/a.b/logo.bmp", "new", "/p/a.b/logo_2.bmp"},
        {"/p/a.b/logo.bmp", "newer", "/p/a.b/logo_4.bmp"},
        {"/p/pic", "new", "/p/pic_2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.wanted + " " + row.bytes);
        EXPECT_EQ(Unused_Picture_Name(files, row.wanted, row.bytes), row.name);
    }

    const QTemporaryDir dir;
    const std::string logo = dir.path().toStdString() + "/logo.bmp";
    const platform::PosixFileService disk;
    ASSERT_EQ(*Write_New_Picture(disk, logo, "first"), logo);
    EXPECT_EQ(*Write_New_Picture(disk, logo, "second"), dir.path().toStdString() + "/logo_2.bmp");
    EXPECT_EQ(disk.Read(logo, 100).bytes, "first");
    EXPECT_EQ(Write_New_Picture(disk, "/nessuna/cartella/x.bmp", "x").Text(),
              "Impossibile scrivere il file /nessuna/cartella/x.bmp:\r\nIl file o la cartella "
              "non esiste.");
}

}  // namespace
}  // namespace lcdprog
