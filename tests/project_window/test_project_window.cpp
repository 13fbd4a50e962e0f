// The main window with projects, on real files in a folder that is also the program folder.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "main_window/import_dialog.h"
#include "main_window/main_window_harness.h"
#include "picture/picture.h"
#include "picture_editor/frm_Modifica_Immagine.h"
#include "picture_editor/picture_canvas.h"
#include "platform/posix_file_service.h"
#include "platform/qt/application_identity.h"
#include "platform/qt/crisp_picture.h"
#include "preview_window/frm_Anteprima.h"
#include "project/project_file.h"
#include "support/processes.h"

namespace lcdprog::test {
namespace {

// One window through one session: each stage starts where the one before left it.
struct ProjectSession : ::testing::Test {
    const QTemporaryDir dir;
    // The recent projects go to the folder, and the window reads them when it is made.
    const bool settingsInDir =
        (QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path()), true);
    platform::PosixFileService files{dir.path().toStdString()};
    MainWindowHarness h{files};
    FakeMessageBox& messages = h.messages;
    frm_Anteprima* preview = nullptr;

    std::string Put(const std::string& name, const std::string& bytes) const {
        const std::string path = dir.path().toStdString() + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // As a real drag: the drop goes to the widget that accepted the drag's entry.
    static void Drop(QWidget* target, const std::string& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }
    void Drops_And_The_Preview();
    void Unsaved_Changes();
    void Kept_Pictures();
    void Pictures_As_Png();
    void Recent_Projects();
};

// A drop is tested as a right-click choice or an opened project; the preview shows exactly what
// it was given, follows each change, leaves MemoryImage alone and says why not.
void ProjectSession::Drops_And_The_Preview() {
    for (int w = 0; w < 3; ++w) {
        Put(kWhites[w], White_File(w));
    }
    ASSERT_TRUE(h.window->Form_Load());
    h.state.MemoryImage.fill(0x77);
    h.window->smnu_Anteprima_Click(0);
    preview = h.window->Preview();
    ASSERT_NE(preview, nullptr);
    // Inside a 1366 x 768 laptop's work area at 100 % and a 1600 x 1000 screen's at 150 % (in
    // the window's own pixels), its button in view.
    for (const QRect area : {QRect(0, 0, 1366, 728), QRect(0, 0, 1066, 636)}) {
        preview->Fit_To(area);
        const QWidget* button = preview->findChild<QWidget*>("cmd_Salva_Bin");
        EXPECT_TRUE(area.contains(QRect(preview->pos(), preview->size() + QSize(16, 40))) &&
                    preview->rect().contains(button->geometry().translated(
                        button->parentWidget()->mapTo(preview, QPoint()))));
    }
    const auto before = h.Take();
    // A picture of another size opens the import dialog for that slot; "Annulla" there.
    std::vector<int> asked;
    h.window->Set_Import_Dialog_Runner([&](frm_Importa_Immagine& d) {
        asked = {d.Panel(), d.Slot()};
        return false;
    });
    Drop(h.Box(1, 2), Put("wide.bmp", Make_Picture({240, 64})));
    EXPECT_EQ(asked, (std::vector<int>{1, 2}));
    Drop(h.window.get(), Put("bad.lcdprj", "{\"format\": \"lcdprog-project\""));
    ASSERT_EQ(messages.shown.size(), 1u);  // only the bad project
    EXPECT_NE(messages.shown[0].text.find("bad.lcdprj"), std::string::npos);
    EXPECT_TRUE(h.Take() == before);
    EXPECT_FALSE(h.window->Modified());

    messages.shown.clear();
    const std::string given = Make_Picture({128, 64, 1, false, "BM", 0x3C});
    const std::string path = Put("P.BMP", given);
    Drop(h.Box(1, 2), path);
    EXPECT_EQ(std::tie(h.state.Images_64128E[2].FullPath, h.state.Images_64128E[2].FileName),
              std::tuple(platform::Lower_Case_Path(path), "p.bmp"));
    EXPECT_TRUE(h.window->Modified() && messages.shown.empty());
    h.Find<QTableWidget>("msh_Font_10x16")->setCurrentCell(15, 9);
    h.window->msh_Font_10x16_Click();
    ASSERT_TRUE(preview->Current());
    const QImage shown = preview->Picture(1, 2), file = Decode(given);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 128; ++x) {  // black, palette index 0, is a pixel that is on
            const bool dark = qGray(file.pixel(x, y)) < 128;
            ASSERT_EQ(shown.pixel(x, y), dark ? platform::kLcdDark : platform::kLcdLit);
        }
    }
    const QImage glyph = preview->Glyph(1);  // only cell (row 15, column 9) is on
    EXPECT_EQ(glyph.pixel(9, 15) + glyph.pixel(8, 15) + glyph.pixel(9, 14) + glyph.pixel(0, 0),
              platform::kLcdDark + 3 * platform::kLcdLit);

    std::remove(path.c_str());
    h.window->msh_Font_10x16_Click();
    EXPECT_FALSE(preview->Current() || !messages.shown.empty());
    EXPECT_EQ(preview->findChild<QLabel*>("lbl_Stato")->text(),
              "Anteprima non aggiornata: File p.bmp non trovato. Impossibile continuare!!");
    EXPECT_TRUE(h.state.MemoryImage[0] == 0x77 && h.state.MemoryImage[0x8000] == 0x77);
}

// Closing with unsaved changes asks once: Salva saves, Non salvare discards, Annulla keeps the
// window.
void ProjectSession::Unsaved_Changes() {
    const std::string project = dir.path().toStdString() + "/job.lcdprj";
    h.dialog.answer = project;
    ASSERT_TRUE(h.window->Save_Project_As());
    EXPECT_TRUE(h.dialog.requests.back().saveForm);
    EXPECT_EQ(h.dialog.requests.back().purpose, "Salva progetto con nome");
    using platform::SaveChoice;
    h.Find<QTableWidget>("msh_Font_5x8")->setCurrentCell(0, 0);
    for (const SaveChoice answer : {SaveChoice::Cancel, SaveChoice::Discard, SaveChoice::Save}) {
        h.window->show();
        h.window->msh_Font_5x8_Click();
        EXPECT_EQ(h.window->windowTitle(), "job.lcdprj* — Programmatore LCD grafici");
        messages.answer = answer;
        messages.asked.clear();
        h.window->close();
        EXPECT_EQ(messages.asked,
                  "Le modifiche al progetto job.lcdprj non sono salvate. Salvarle "
                  "ora? | Programmatore LCD grafici");
        EXPECT_EQ(h.window->isVisible(), answer == SaveChoice::Cancel);
        EXPECT_EQ(Read_Project(files, project)->font5x8[0], answer == SaveChoice::Save);
        EXPECT_EQ(h.window->Modified(), answer != SaveChoice::Save);
        h.window->msh_Font_5x8_Click();  // back to the glyph as it was
    }
}

// A project's picture that is away (moved, deleted, or replaced by a wrong file) keeps its slot's
// path: marked in the box, saved back with the keys this version does not know, and taken again
// once the file is back. Changed on disk by someone else since it was opened, the project is not
// overwritten and nothing is lost here.
void ProjectSession::Kept_Pictures() {
    messages.answer = platform::SaveChoice::Discard;
    const std::string good = Make_Picture({128, 64, 1, false, "BM", 0x5A});
    const std::string picture = Put("a.bmp", good);
    const std::string away = dir.path().toStdString() + "/away.lcdprj";
    Project kept;
    kept.pictures[1][1] = picture;
    kept.extraTop = {{"note", "\"banco 3\""}};
    kept.extraPictures = {{"comment", "[1,2]"}};
    const platform::Result<> written = Write_Project(kept, away);
    ASSERT_TRUE(written) << written.Text();
    const struct {
        const char* name;
        void (*putAway)(const std::string& path);
    } rows[] = {
        {"moved", [](auto& p) { std::rename(p.c_str(), (p + ".x").c_str()); }},
        {"deleted", [](auto& p) { std::remove(p.c_str()); }},
        {"refused", [](auto& p) { std::ofstream(p) << std::string(70, 'x'); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.putAway(picture);
        messages.shown.clear();
        ASSERT_TRUE(h.window->Open_Project(away));
        EXPECT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(h.state.Images_64128E[1].FileName, kWhites[0]);
        EXPECT_NE(h.Box(1, 1)->toolTip().toStdString().find(picture), std::string::npos);
        ASSERT_TRUE(h.window->Save_Project());
        EXPECT_EQ(*Read_Project(files, away), kept);

        std::ofstream(picture, std::ios::binary) << good;
        messages.shown.clear();
        ASSERT_TRUE(h.window->Open_Project(away));
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_EQ(h.state.Images_64128E[1].FullPath, platform::Lower_Case_Path(picture));
        EXPECT_TRUE(h.Box(1, 1)->toolTip().isEmpty());
    }

    std::ofstream(away, std::ios::app) << " ";
    h.Find<QTableWidget>("msh_Font_5x8")->setCurrentCell(0, 0);
    h.window->msh_Font_5x8_Click();
    messages.shown.clear();
    EXPECT_FALSE(h.window->Save_Project());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Il progetto " + away +
                  " è stato modificato da un altro programma dopo l'apertura: non è stato "
                  "sovrascritto, per non perdere quelle modifiche. Per salvare questo progetto "
                  "usare \"Salva progetto con nome...\".");
    EXPECT_TRUE(h.window->Modified() && h.state.Font_5x8[0] == 1);
    EXPECT_EQ(*Read_Project(files, away), kept);
}

// "Salva immagine PNG..." writes the very files `lcdprog-cli image --png` writes for the project.
void ProjectSession::Pictures_As_Png() {
    // Pictures of the project's own in every slot: the command line has its own white ones.
    for (int k = 0; k < 16; ++k) {
        const int width = k < 8 ? 128 : 240, height = k < 12 ? 64 : 128;
        const auto pattern = static_cast<std::uint8_t>(0x10 + k * 9);
        Drop(h.Box(k / 4, k % 4), Put("slot" + std::to_string(k) + ".bmp",
                                      Make_Picture({width, height, 1, false, "BM", pattern})));
    }
    h.dialog.answer = dir.path().toStdString() + "/png.lcdprj";
    ASSERT_TRUE(h.window->Save_Project_As());
    messages.shown.clear();
    const std::string shown = dir.path().toStdString() + "/anteprima";
    const std::string cli = dir.path().toStdString() + "/cli";
    ASSERT_TRUE(QDir(dir.path()).mkdir("anteprima"));
    h.dialog.answer = shown;
    preview->cmd_Salva_Png_Click();
    EXPECT_TRUE(h.dialog.requests.back().folder && messages.shown.empty());
    ChildProcess image({Bin_Folder() + "/lcdprog-cli", "image", h.window->Project_Path(), "-o",
                        cli + ".bin", "--png", cli});
    ASSERT_EQ(image.Wait_Exit(30000), 0);
    const QStringList names = QDir(QString::fromStdString(cli)).entryList(QDir::Files);
    EXPECT_EQ(names.size(), 18);
    EXPECT_EQ(QDir(QString::fromStdString(shown)).entryList(QDir::Files), names);
    for (const QString& name : names) {
        EXPECT_EQ(Read_Whole_File(shown + "/" + name.toStdString()),
                  Read_Whole_File(cli + "/" + name.toStdString()))
            << name.toStdString();
    }
}

// Recent projects of the same name show their folder; one that is gone is named in full and
// leaves the list.
void ProjectSession::Recent_Projects() {
    const auto Recent = [&] {
        QStringList captions;
        for (const QAction* a : h.Find<QMenu>("mnu_File")->actions()) {
            if (a->objectName().startsWith("smnu_Progetto_Recente_")) {
                captions << a->text();
            }
        }
        return captions;
    };
    const std::string other = dir.path().toStdString() + "/b/job.lcdprj";
    ASSERT_TRUE(QDir(dir.path()).mkpath("b"));
    h.dialog.answer = other;
    ASSERT_TRUE(h.window->Save_Project_As());
    EXPECT_EQ(Recent(), (QStringList{"&1 job.lcdprj (" + dir.path() + "/b)", "&2 away.lcdprj",
                                     "&3 job.lcdprj (" + dir.path() + ")"}));
    std::remove(other.c_str());
    messages.shown.clear();
    EXPECT_FALSE(h.window->Open_Project(other));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Il progetto " + other + " non esiste.");
    EXPECT_EQ(Recent(), (QStringList{"&1 away.lcdprj", "&2 job.lcdprj"}));
    // Qt's platform windows append a display name, once set, to every title; the display name
    // then no longer follows the application name.
    platform::Set_Application_Identity();
    QCoreApplication::setApplicationName("x");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "x");
}

TEST_F(ProjectSession, DropsPreviewUnsavedChangesKeptPicturesRecentProjectsAndPng) {
    ASSERT_NO_FATAL_FAILURE(Drops_And_The_Preview());
    ASSERT_NO_FATAL_FAILURE(Unsaved_Changes());
    ASSERT_NO_FATAL_FAILURE(Kept_Pictures());
    ASSERT_NO_FATAL_FAILURE(Recent_Projects());
    Pictures_As_Png();
}

// A save that cannot be done leaves the old file as it was and no temporary file, tried as a
// user who is not root: a folder it may not write, a disk that takes no more bytes.
TEST(ProjectWindow, ASaveThatFailsLeavesTheOldFileAndTheWindowAsTheyWere) {
    const QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/jobs", job = folder + "/job.lcdprj";
    ASSERT_TRUE(QDir(dir.path()).mkpath("jobs"));
    std::ofstream(job) << "old";
    ::chmod(dir.path().toUtf8().constData(), 0755);
    const struct {
        const char* name;
        const char* how;
        std::string says;
    } rows[] = {
        {"a folder this user may not write", "nobody",
         "Impossibile salvare il progetto " + job +
             ": Accesso negato. Il file precedente non è stato modificato."},
        {"a disk that takes no more", "full-disk",
         "Impossibile salvare il progetto " + job +
             ": File troppo grande per il disco. Il file precedente non è stato modificato."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ChildProcess save(
            {QCoreApplication::applicationDirPath().toStdString() + "/lcdprog-test-write-project",
             row.how, job});
        const std::string said = save.Next_Line(60000).value_or("(nothing)");
        EXPECT_EQ(save.Wait_Exit(60000), 0);
        EXPECT_EQ(said, row.says);
        EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"job.lcdprj"});
        std::ifstream kept(job);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "old");
    }
}

// A fresh folder that is also the program folder, the window started on it.
struct ProgramFolder : ::testing::Test {
    const QTemporaryDir dir;
    // The recent projects go to the folder, and the window reads them when it is made.
    const bool settingsInDir =
        (QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path()), true);
    const std::string root = dir.path().toStdString() + "/";
    platform::PosixFileService files{dir.path().toStdString()};
    MainWindowHarness h{files};
    // What the picture editor drew last: a rectangle from (0, 0) to `corner`, with the mouse.
    picture::Bits drawn;
    picture::Point corner{239, 63};

    void SetUp() override {
        for (int w = 0; w < 3; ++w) {
            std::ofstream(root + kWhites[w], std::ios::binary) << White_File(w);
        }
        ASSERT_TRUE(h.window->Form_Load());
        h.window->Set_Picture_Editor_Runner([this](frm_Modifica_Immagine& editor) {
            editor.Set_Tool(DrawingTool::Rectangle);
            PictureCanvas* canvas = editor.Canvas();
            const int s = canvas->Device_Scale();
            QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(1, 1));
            QTest::mouseRelease(canvas, Qt::LeftButton, {},
                                QPoint(corner.x * s + 1, corner.y * s + 1));
            drawn = editor.Result();
            return true;
        });
        h.Find<QTabWidget>("SST_Select_Image")->setCurrentIndex(2);
    }
};

// The same with a project saved there.
struct SavedProject : ProgramFolder {
    void SetUp() override {
        ProgramFolder::SetUp();
        h.dialog.answer = root + "job.lcdprj";
        ASSERT_TRUE(h.window->Save_Project_As());
    }
};

// The same, with a picture to import.
struct ImportSession : ProgramFolder {
    void SetUp() override {
        ProgramFolder::SetUp();
        QImage logo(50, 20, QImage::Format_ARGB32);
        logo.fill(Qt::transparent);
        for (int x = 0; x < 50; ++x) {
            logo.setPixel(x, x % 20, qRgba(x * 5, 0, 0, 255));
        }
        ASSERT_TRUE(logo.save(QString::fromStdString(root + "Logo.png")));
        h.window->Set_Import_Dialog_Runner([this](frm_Importa_Immagine& d) {
            opened = {d.Panel(), d.Slot()};
            openedWith = d.Settings();
            d.findChild<QComboBox*>("cmb_Display")->setCurrentIndex(panel);
            d.findChild<QComboBox*>("cmb_Immagine")->setCurrentIndex(slot);
            d.findChild<QComboBox*>("cmb_Conversione")->setCurrentIndex(1);
            d.findChild<QCheckBox*>("chk_Inverti")->setChecked(invert);
            shown = d.Result();
            return true;
        });
    }
    // Every box shows what the module will show.
    void Expect_Boxes_As_The_Module() const {
        for (int k = 0; k < 16; ++k) {
            EXPECT_EQ(h.Take()[k].second, h.Module_View(k)) << k;
        }
    }
    std::string Bytes(const std::string& path) const { return files.Read(path, 1 << 16).bytes; }

    int panel = 0, slot = 0;
    bool invert = false;
    picture::Bits shown;
    std::vector<int> opened;
    picture::Settings openedWith;
};

// The same source imported into two slots with other settings: the second picture takes a name
// of its own without a question, the first file and its box stay as they were, and every box is
// what the module gets, undone and redone too. Changed on disk by another program, a picture
// reaches its box, the preview and the title at once. "Reimporta..." opens the dialog with the
// source and the settings the slot's picture was made with, also after the project was saved
// and opened again; each panel's import starts with the settings last taken for it.
TEST_F(ImportSession, AnImportReplacesNoPictureAndCanBeRedone) {
    // With no project the operator names the file; one that holds another picture is kept.
    const std::string taken = Make_Picture({128, 64});
    std::ofstream(root + "taken.bmp", std::ios::binary) << taken;
    h.dialog.queued = {root + "Logo.png", root + "taken.bmp"};
    h.messages.takeFirst = true;
    h.window->smnu_Importa_Immagine_Click();
    EXPECT_FALSE(h.dialog.requests.back().confirmOverwrite);
    EXPECT_EQ(h.messages.asked.substr(h.messages.asked.find(" | ")),
              " | Importa immagine | Nuovo nome / Annulla");
    EXPECT_EQ(h.state.Images_64128A[0].FullPath, platform::Lower_Case_Path(root + "taken_2.bmp"));
    EXPECT_EQ(Bytes(root + "taken.bmp"), taken);
    h.messages.takeFirst = false;
    h.dialog.answer = root + "job.lcdprj";
    ASSERT_TRUE(h.window->Save_Project_As());

    panel = 1, slot = 0;
    h.dialog.answer = root + "Logo.png";
    h.window->smnu_Importa_Immagine_Click();
    const std::string first = root + "immagini/Logo_128x64.bmp";
    ASSERT_EQ(h.state.Images_64128E[0].FullPath, platform::Lower_Case_Path(first));
    EXPECT_EQ(Bytes(first), picture::Bmp_File(shown));
    const std::string firstBytes = Bytes(first);
    picture::Settings floyd;
    floyd.conversion = picture::Conversion::FloydSteinberg;

    panel = 0, slot = 1, invert = true;
    h.messages.asked.clear();
    h.window->smnu_Importa_Immagine_Click();
    EXPECT_EQ(h.messages.asked, "");
    const std::string second = root + "immagini/Logo_128x64_2.bmp";
    EXPECT_EQ(h.state.Images_64128A[1].FullPath, platform::Lower_Case_Path(second));
    EXPECT_EQ(Bytes(second), picture::Bmp_File(shown));
    EXPECT_EQ(Bytes(first), firstBytes);
    Expect_Boxes_As_The_Module();
    EXPECT_EQ(h.Find<QAction>("smnu_Annulla")->text(), "&Annulla Importa immagine 2 del 64128A");
    h.window->History()->undo();
    EXPECT_EQ(h.state.Images_64128A[1].FileName, kWhites[0]);
    Expect_Boxes_As_The_Module();
    h.window->History()->redo();
    Expect_Boxes_As_The_Module();
    ASSERT_TRUE(h.window->Save_Project());

    // Another program writes the first picture again, as editors do: a new file renamed over it.
    h.window->smnu_Anteprima_Click(0);
    const std::string edited = Make_Picture({128, 64, 1, false, "BM", 0x0F});
    std::ofstream(first + ".tmp", std::ios::binary) << edited;
    QSignalSpy followed(h.window.get(), &frm_Config_LCD::projectChanged);
    std::rename((first + ".tmp").c_str(), first.c_str());
    ASSERT_TRUE(followed.wait(5000));
    EXPECT_EQ(h.Take()[4].second, Decode(edited));
    EXPECT_EQ(h.window->Preview()->Picture(1, 0).pixel(0, 63) == platform::kLcdDark,
              qGray(Decode(edited).pixel(0, 63)) < 128);
    EXPECT_TRUE(h.window->Modified());
    Expect_Boxes_As_The_Module();

    // "Reimporta..." on the first slot: its source and its settings, after a reopening too.
    ASSERT_TRUE(h.window->Save_Project());
    h.messages.answer = platform::SaveChoice::Discard;
    ASSERT_TRUE(h.window->Open_Project(root + "job.lcdprj"));
    h.window->Preview()->close();
    h.window->show();
    h.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.window.get()));
    h.Find<QTabWidget>("SST_Select_Image")->setCurrentIndex(1);
    h.Box(1, 0)->setFocus();
    ASSERT_TRUE(h.Box(1, 0)->hasFocus());
    opened.clear();
    panel = 1, slot = 0, invert = false;
    h.window->smnu_Reimporta_Click();
    EXPECT_EQ(opened, (std::vector<int>{1, 0}));
    EXPECT_EQ(openedWith, floyd);
    EXPECT_EQ(h.Find<QAction>("smnu_Annulla")->text(), "&Annulla Reimporta immagine 1 del 64128E");
    h.Box(1, 1)->setFocus();
    ASSERT_TRUE(h.Box(1, 1)->hasFocus());
    h.messages.shown.clear();
    h.window->smnu_Reimporta_Click();
    EXPECT_EQ(h.messages.shown,
              (std::vector<ShownMessage>{
                  {"L'immagine numero 2 del 64128E non è stata importata: non c'è un'immagine di "
                   "partenza da cui rifarla.",
                   "WARNING", platform::MessageIcon::Exclamation}}));
    // The last settings taken for the 64128A panel were the inverted ones.
    h.Find<QTabWidget>("SST_Select_Image")->setCurrentIndex(0);
    h.window->smnu_Importa_Immagine_Click();
    floyd.invert = true;
    EXPECT_EQ(openedWith, floyd);
}

// A reversed palette: "Correggi" puts a corrected copy in the slot; "Lascia così" shows the box as
// the module will (the negative) with a mark that says so, and is asked once: the project keeps
// the answer.
TEST_F(ImportSession, AReversedPaletteShowsAsTheModuleShowsItAndIsAskedOnce) {
    h.dialog.answer = root + "job.lcdprj";
    ASSERT_TRUE(h.window->Save_Project_As());
    std::string reversed = Make_Picture({128, 64});
    reversed.replace(54, 8, std::string("\xFF\xFF\xFF\0\0\0\0\0", 8));
    std::ofstream(root + "Neg.bmp", std::ios::binary) << reversed;
    h.messages.takeFirst = true;
    h.dialog.answer = root + "Neg.bmp";
    h.window->pct_Image_64128A_MouseDown(1, Qt::RightButton);
    EXPECT_EQ(h.messages.asked,
              "L'immagine neg.bmp ha la tavolozza invertita (il colore 0 è più chiaro del colore "
              "1): il modulo la mostrerà in negativo.\r\n\r\nCorreggi scrive accanto "
              "all'originale una copia con i bit invertiti e la tavolozza normale "
              "(Neg_lcd.bmp) e la usa al suo posto; Lascia così la programma com'è. | "
              "Tavolozza invertita | Correggi / Lascia così");
    EXPECT_EQ(h.state.Images_64128A[1].FullPath, platform::Lower_Case_Path(root + "Neg_lcd.bmp"));
    EXPECT_EQ(Bytes(root + "Neg_lcd.bmp"), picture::Fix_Reversed_Palette(reversed, 128, 64));

    h.messages.takeFirst = false;
    h.messages.asked.clear();
    h.window->pct_Image_64128A_MouseDown(2, Qt::RightButton);
    EXPECT_NE(h.messages.asked.find("neg.bmp ha la tavolozza"), std::string::npos);
    auto* box = static_cast<platform::CrispPicture*>(h.Box(0, 2));
    const auto Marked = [&] {
        return box->Corner_Mark().isValid() &&
               box->toolTip() ==
                   "Tavolozza invertita: il modulo mostra questa immagine in negativo, come qui.";
    };
    EXPECT_TRUE(Marked());
    Expect_Boxes_As_The_Module();
    EXPECT_NE(h.Take()[2].second, Decode(reversed));  // the file's own colours would lie
    ASSERT_TRUE(h.window->Save_Project());
    h.messages.asked.clear();
    ASSERT_TRUE(h.window->Open_Project(root + "job.lcdprj"));
    EXPECT_EQ(h.messages.asked, "");
    EXPECT_TRUE(Marked() && !h.window->Modified());
    Expect_Boxes_As_The_Module();
}

// "Modifica immagine": what is drawn is saved in "immagini" under a name no other slot's picture
// has, taken by the slot as one step, and the box, the preview (the compiled image) and the file
// agree pixel for pixel.
TEST_F(SavedProject, AnEditedPictureTakesItsSlot) {
    const auto before = h.Take();
    QTest::mouseDClick(h.Box(2, 1), Qt::LeftButton);
    const std::string first = root + "immagini/Sfondo_Bianco_240x64_mod.bmp";
    EXPECT_EQ(h.state.Images_64240B[1].FullPath, platform::Lower_Case_Path(first));
    EXPECT_EQ(files.Read(first, 1 << 16).bytes, picture::Bmp_File(drawn));
    EXPECT_EQ(h.window->History()->undoText(), "Modifica dell'immagine 2 del 64240B");
    h.window->smnu_Anteprima_Click(0);
    QImage module(240, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 240; ++x) {
            module.setPixel(x, y, drawn.Black(x, y) ? platform::kLcdDark : platform::kLcdLit);
        }
    }
    EXPECT_EQ(h.window->Preview()->Picture(2, 1), module);
    EXPECT_EQ(h.Box(2, 1)->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
              Decode(picture::Bmp_File(drawn)));

    // Another slot's picture of the same origin gets a name of its own; the first file stays.
    corner = {10, 10};
    h.Box(2, 2)->setFocus();
    QTest::keyClick(h.Box(2, 2), Qt::Key_Return);
    EXPECT_EQ(h.state.Images_64240B[2].FullPath,
              platform::Lower_Case_Path(root + "immagini/Sfondo_Bianco_240x64_mod_2.bmp"));
    EXPECT_NE(files.Read(first, 1 << 16).bytes, picture::Bmp_File(drawn));
    h.window->History()->undo();
    h.window->History()->undo();
    EXPECT_TRUE(h.Take() == before);
    EXPECT_TRUE(h.messages.shown.empty());
    // A picture gone from its folder opens no editor, and says so.
    h.window->History()->redo();
    std::filesystem::remove(first);
    h.window->Set_Picture_Editor_Runner([](frm_Modifica_Immagine&) -> bool { throw 0; });
    QTest::mouseDClick(h.Box(2, 1), Qt::LeftButton);
    EXPECT_EQ(h.messages.shown,
              (std::vector<ShownMessage>{{"Impossibile modificare l'immagine "
                                          "sfondo_bianco_240x64_mod.bmp",
                                          "ERROR", platform::MessageIcon::Critical,
                                          "file non trovato"}}));
}

// With no project the save form says where; a file there is not replaced but, once the operator
// agrees, kept beside the new name.
TEST_F(ProgramFolder, AnEditedPictureWithoutAProjectKeepsTheFileChosen) {
    const std::string other = Make_Picture({240, 64, 1, false, "BM", 0x42});
    std::ofstream(root + "x.bmp", std::ios::binary) << other;
    h.dialog.answer = root + "x.bmp";
    h.messages.takeFirst = true;
    h.window->smnu_Modifica_Immagine_Click();
    EXPECT_EQ(h.messages.asked,
              "Il file x.bmp esiste già ed è diverso, e può essere l'immagine di un altro spazio o "
              "di un altro progetto: scrivere questa immagine come x_2.bmp? | Modifica immagine | "
              "Nuovo nome / Annulla");
    EXPECT_EQ(files.Read(root + "x.bmp", 1 << 16).bytes, other);
    EXPECT_EQ(files.Read(root + "x_2.bmp", 1 << 16).bytes, picture::Bmp_File(drawn));
    EXPECT_EQ(h.state.Images_64240B[0].FullPath, platform::Lower_Case_Path(root + "x_2.bmp"));
}

}  // namespace
}  // namespace lcdprog::test
