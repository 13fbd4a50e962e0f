// Project files: every kind of bad file refused with its one message, and a save / move / open
// round trip through real files.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fstream>

#include "main_window/picture_files.h"
#include "platform/posix_file_service.h"
#include "project/project_file.h"
#include "project/project_state.h"
#include "support/fakes.h"

namespace lcdprog {
namespace {

const std::string kGood = R"({"format": "lcdprog-project", "version": 1,
 "pictures": {"64128A": ["", "", "", ""], "64128E": ["", "", "", ""],
              "64240B": ["", "", "", ""], "128240A": ["", "", "", ""]},
 "glyphs": {"5x8": ["#....", ".....", ".....", ".....", ".....", ".....", ".....", "....#"],
            "10x16": ["#.........", "..........", "..........", "..........", "..........",
                      "..........", "..........", "..........", "..........", "..........",
                      "..........", "..........", "..........", "..........", "..........",
                      ".........#"]}})";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(ProjectFile, EachKindOfBadFileGetsOneClearMessage) {
    const std::string bad = "Il file p.lcdprj non è un progetto valido: ";
    test::FakeFileService files;
    files.PutSpecial("/w/folder.lcdprj", platform::FileStatus::NotRegular);
    const struct {
        const char* name;
        std::string text;
        std::string message;
    } cases[] = {
        {"bad JSON", "{\"format\": ", bad + "il testo JSON non è corretto (carattere 11)."},
        {"not an object", "[1, 2]", bad + "il testo JSON non è un oggetto."},
        {"wrong format name", Replace(kGood, "lcdprog-project", "other"),
         bad + "manca il formato \"lcdprog-project\"."},
        {"newer version", Replace(kGood, "\"version\": 1", "\"version\": 2"),
         "Il progetto p.lcdprj è stato salvato da una versione più recente del programma "
         "(formato 2); questa versione legge fino al formato 1."},
        {"version not whole", Replace(kGood, "\"version\": 1", "\"version\": 1.5"),
         bad + "la versione manca o non è un numero intero positivo."},
        {"three slots", Replace(kGood, "\"64240B\": [\"\", ", "\"64240B\": ["),
         bad + "il display 64240B deve avere un elenco di 4 immagini."},
        {"path not a string", Replace(kGood, "\"128240A\": [\"\", \"\"", "\"128240A\": [\"\", 7"),
         bad + "l'immagine numero 2 del display 128240A non è un testo."},
        {"5x8 row too long", Replace(kGood, "\"#....\"", "\"#.....\""),
         bad + "il font 5x8 deve avere 8 righe di 5 caratteri '#' o '.'."},
        {"10x16 foreign cell", Replace(kGood, "\".........#\"", "\".........X\""),
         bad + "il font 10x16 deve avere 16 righe di 10 caratteri '#' o '.'."},
        {"over 1 MiB", kGood + std::string(kProjectMaxBytes, ' '), bad + "supera 1 MiB."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        files.Put("/w/p.lcdprj", c.text);
        const ProjectReadResult result = Read_Project(files, "/w/p.lcdprj");
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, c.message);
    }
    EXPECT_EQ(Read_Project(files, "/w/none.lcdprj").error, "Il progetto none.lcdprj non esiste.");
    EXPECT_EQ(Read_Project(files, "/w/folder.lcdprj").error,
              "Il file folder.lcdprj non è un file regolare: non è un progetto.");
    files.Put("/w/p.lcdprj", kGood);
    const ProjectReadResult good = Read_Project(files, "/w/p.lcdprj");
    ASSERT_TRUE(good.ok) << good.error;
    EXPECT_EQ(good.project.font5x8, (std::array<std::uint8_t, 5>{1, 0, 0, 0, 0x80}));
    EXPECT_EQ(good.project.font10x16[9], 0x8000);
}

void Write(const QString& path, const std::string& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

// Saved with one picture under the project's folder (written relative, its on-disk case kept)
// and one outside it (written absolute), the folder moved, then opened: the pictures are found
// in their new place, the outside one where it was, and the slots hold what a right-click
// choice would; a missing and a wrong-sized picture are refused and keep the white picture.
TEST(ProjectFile, SavedMovedAndOpenedAgain) {
    QTemporaryDir root;
    QTemporaryDir outside;
    ASSERT_TRUE(QDir(root.path()).mkpath("job/pics"));
    const QString job = root.path() + "/job";
    Write(job + "/pics/Logo.BMP", test::Make_Picture({128, 64}));
    Write(outside.path() + "/wide.bmp", test::Make_Picture({240, 128}));
    Write(job + "/small.bmp", test::Make_Picture({128, 64}));

    Reset_Program_State();
    Images_64128E[2].FullPath = platform::Lower_Case_Path((job + "/pics/Logo.BMP").toStdString());
    Images_128240A[1].FullPath = (outside.path() + "/wide.bmp").toStdString();
    Images_64240B[0].FullPath = "/opt/lcdprog/Sfondo_Bianco_240x64.bmp";
    Font_5x8 = {1, 2, 3, 4, 0xFF};
    Font_10x16 = {0xFFFF, 0, 0x8001, 0, 0, 0, 0, 0, 0, 0x1234};
    platform::PosixFileService files("/opt/lcdprog");
    Project saved = Capture_Project(files);
    std::string error;
    ASSERT_TRUE(Write_Project(saved, (job + "/p.lcdprj").toStdString(), error)) << error;
    QFile file(job + "/p.lcdprj");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("\"pics/Logo.BMP\"")) << text.toStdString();
    EXPECT_TRUE(text.contains("\"" + outside.path() + "/wide.bmp\""));
    EXPECT_TRUE(text.contains("\"#.#.#\",\n            \".##.#\""));
    EXPECT_EQ(QDir(job).entryList(QDir::Files), (QStringList{"p.lcdprj", "small.bmp"}));

    ASSERT_TRUE(QDir(root.path()).rename("job", "moved"));
    const QString moved = root.path() + "/moved";
    ProjectReadResult opened = Read_Project(files, (moved + "/p.lcdprj").toStdString());
    ASSERT_TRUE(opened.ok) << opened.error;
    saved.pictures[1][2] = (moved + "/pics/Logo.BMP").toStdString();
    EXPECT_EQ(opened.project, saved);

    opened.project.pictures[0][3] = (moved + "/gone.bmp").toStdString();
    opened.project.pictures[2][1] = (moved + "/small.bmp").toStdString();
    Reset_Program_State();
    const std::vector<RefusedPicture> refused = Apply_Project(opened.project, files);
    EXPECT_EQ(refused, (std::vector<RefusedPicture>{
                           {0, 3, (moved + "/gone.bmp").toStdString(), "file non trovato"},
                           {2, 1, (moved + "/small.bmp").toStdString(),
                            "non è un'immagine bitmap di 240 x 64 pixel a 1 bit"}}));
    const std::string logo = platform::Lower_Case_Path((moved + "/pics/Logo.BMP").toStdString());
    const ImageSlot& slot = Images_64128E[2];
    EXPECT_EQ(std::make_tuple(slot.FullPath, slot.FileName, slot.Width, slot.Height, slot.BitDepth),
              std::make_tuple(logo, std::string("logo.bmp"), 128, 64, 1));
    EXPECT_EQ(Images_64128A[3].FullPath, "/opt/lcdprog/Sfondo_Bianco_128x64.bmp");
    EXPECT_EQ(Images_64240B[1].FileName, "Sfondo_Bianco_240x64.bmp");
    EXPECT_EQ(Font_10x16, saved.font10x16);
    EXPECT_EQ(Refused_Pictures_Message(refused),
              "Queste immagini del progetto non sono state caricate e al loro posto resta "
              "l'immagine bianca:\r\n64128A, immagine numero 4: " +
                  (moved + "/gone.bmp").toStdString() +
                  " (file non trovato)\r\n64240B, immagine numero 2: " +
                  (moved + "/small.bmp").toStdString() +
                  " (non è un'immagine bitmap di 240 x 64 pixel a 1 bit)");
}

}  // namespace
}  // namespace lcdprog
