// The main window with projects: the unsaved-changes prompt, drops, and the preview against the
// pictures and glyphs it was given. Real files in a temporary folder that is also the program
// folder, so projects are written and read as in use.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <fstream>

#include "main_window/main_window_harness.h"
#include "platform/posix_file_service.h"
#include "preview_window/frm_Anteprima.h"
#include "project/project_file.h"

namespace lcdprog::test {
namespace {

const std::vector<ShownMessage> kRefused{
    {"Selezionata immagine non valida", "ERROR", platform::MessageIcon::Critical}};

class AskingMessageBox : public FakeMessageBox {
  public:
    platform::SaveChoice AskSave(const std::string& text, const std::string& title) override {
        asked.push_back(text + " | " + title);
        return answer;
    }
    platform::SaveChoice answer = platform::SaveChoice::Cancel;
    std::vector<std::string> asked;
};

// The harness's window on real files, with a message box that can be asked.
struct Fixture {
    Fixture(platform::FileService& files, FakeMessageBox& messages)
        : services{files, messages, clock, pump, serial, dialog, program},
          window(std::make_unique<frm_Config_LCD>(services, [] {})) {}
    VirtualClock clock;
    CountingPump pump;
    FakeSerialControl serial;
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services;
    std::unique_ptr<frm_Config_LCD> window;
};

class ProjectWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        Reset_Program_State();
        for (const std::string& white : {kWhite128x64, kWhite240x64, kWhite240x128}) {
            Put(white, White_File(white));
        }
        ASSERT_TRUE(h.window->Form_Load());
    }
    std::string Put(const std::string& name, const std::string& bytes) {
        const std::string path = dir.path().toStdString() + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    void Drop(QWidget* target, const std::string& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        // As a real drag: the drop goes to the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }
    QLabel* Box(int panel, int index) const {
        return h.window->findChild<QLabel*>(
            QStringLiteral("pct_Image_%1_%2").arg(kPanelTypes[panel]).arg(index));
    }
    template <typename T>
    T* Find(const QString& name) const {
        return h.window->findChild<T*>(name);
    }

    QTemporaryDir dir;
    platform::PosixFileService files{dir.path().toStdString()};
    AskingMessageBox messages;
    Fixture h{files, messages};
};

// Closing with unsaved changes asks once; Salva writes the project and closes, Non salvare
// closes and leaves the file as it was, Annulla keeps the window and the mark.
TEST_F(ProjectWindow, UnsavedChangesPrompt) {
    const std::string project = dir.path().toStdString() + "/job.lcdprj";
    h.dialog.answer = project;
    ASSERT_TRUE(h.window->Save_Project_As());
    EXPECT_TRUE(h.dialog.requests.back().saveForm);
    EXPECT_EQ(h.dialog.requests.back().filter, kProjectFilter);
    EXPECT_FALSE(SaveDialogMode);
    EXPECT_EQ(frm_Config_LCD::Recent_Projects(), std::vector<std::string>{project});
    const struct {
        platform::SaveChoice answer;
        bool closed;
        std::uint8_t savedColumn0;
    } cases[] = {{platform::SaveChoice::Cancel, false, 0},
                 {platform::SaveChoice::Discard, true, 0},
                 {platform::SaveChoice::Save, true, 1}};
    for (const auto& c : cases) {
        h.window->show();
        auto* grid = Find<QTableWidget>(QStringLiteral("msh_Font_5x8"));
        grid->setCurrentCell(0, 0);
        h.window->msh_Font_5x8_Click();
        EXPECT_EQ(h.window->windowTitle(),
                  QStringLiteral("Programmatore LCD grafici - job.lcdprj *"));
        messages.answer = c.answer;
        messages.asked.clear();
        h.window->close();
        EXPECT_EQ(messages.asked,
                  std::vector<std::string>{"Le modifiche al progetto job.lcdprj non sono salvate. "
                                           "Salvarle ora? | Programmatore LCD grafici"});
        EXPECT_EQ(h.window->isVisible(), !c.closed);
        EXPECT_EQ(Read_Project(files, project).project.font5x8[0], c.savedColumn0);
        EXPECT_EQ(h.window->Modified(), c.answer != platform::SaveChoice::Save);
        h.window->msh_Font_5x8_Click();  // back to the glyph as it was
    }
}

// A picture dropped on a box passes the name and header tests of a right-click choice; a project
// dropped on the window opens it, and one that is not a project changes nothing.
TEST_F(ProjectWindow, GoodAndBadDrops) {
    const std::string wide = Put("Wide.BMP", Make_Picture({240, 64, 1, false, "BM", 0x3C}));
    const std::string small = Put("small.bmp", Make_Picture({128, 64}));
    const std::string notes = Put("notes.txt", Make_Picture({240, 64}));
    const std::string bad = Put("bad.lcdprj", "{\"format\": \"lcdprog-project\"");
    QLabel* box = Box(2, 1);
    const auto take = [&] {
        std::vector<std::pair<std::string, QImage>> all;
        for (int k = 0; k < 16; ++k) {
            const ImageSlots* arrays[] = {&Images_64128A, &Images_64128E, &Images_64240B,
                                          &Images_128240A};
            all.emplace_back((*arrays[k / 4])[k % 4].FullPath, Shown(Box(k / 4, k % 4)));
        }
        return all;
    };
    const auto before = take();

    Drop(box, small);
    EXPECT_EQ(messages.shown, kRefused);
    Drop(box, notes);
    EXPECT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[1].text, "Estensione file non valida!");
    Drop(h.window.get(), bad);
    EXPECT_EQ(messages.shown.back().text,
              "Il file bad.lcdprj non è un progetto valido: il testo JSON non è corretto "
              "(carattere 28).");
    EXPECT_TRUE(take() == before);
    EXPECT_FALSE(h.window->Modified());

    messages.shown.clear();
    Drop(box, wide);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Images_64240B[1].FullPath, platform::Lower_Case_Path(wide));
    EXPECT_EQ(Images_64240B[1].FileName, "wide.bmp");
    EXPECT_EQ(Shown(box), Decode(Make_Picture({240, 64, 1, false, "BM", 0x3C})));
    EXPECT_TRUE(h.window->Modified());
}

// The preview shows exactly the pixels of the pictures and glyph cells it was given, follows each
// change, never leaves its compile in MemoryImage, and says why when a picture cannot be read.
TEST_F(ProjectWindow, PreviewDecodedAgainstWhatWasGiven) {
    const std::string pattern = Put("p.bmp", Make_Picture({128, 64, 1, false, "BM", 0x5A}));
    MemoryImage.fill(0x77);
    h.window->smnu_Anteprima_Click(0);
    frm_Anteprima* preview = h.window->Preview();
    ASSERT_NE(preview, nullptr);
    Drop(Box(1, 2), pattern);
    auto* grid = Find<QTableWidget>(QStringLiteral("msh_Font_10x16"));
    grid->setCurrentCell(15, 9);
    h.window->msh_Font_10x16_Click();

    ASSERT_TRUE(preview->Current());
    const QImage given = Decode(Make_Picture({128, 64, 1, false, "BM", 0x5A}));
    const QImage white = Decode(White_File(kWhite128x64));
    const QImage shown = preview->Picture(1, 2);
    const QImage other = preview->Picture(0, 0);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 128; ++x) {
            // Palette index 0 (black) is a pixel that is on.
            const auto lcd = [](const QImage& file, int x, int y) {
                return qGray(file.pixel(x, y)) < 128 ? frm_Anteprima::kDark : frm_Anteprima::kLit;
            };
            ASSERT_EQ(shown.pixel(x, y), lcd(given, x, y)) << x << "," << y;
            ASSERT_EQ(other.pixel(x, y), lcd(white, x, y)) << x << "," << y;
        }
    }
    const QImage glyph = preview->Glyph(1);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 10; ++x) {
            EXPECT_EQ(glyph.pixel(x, y) == frm_Anteprima::kDark, x == 9 && y == 15);
        }
    }
    EXPECT_EQ(MemoryImage[0], 0x77);

    std::remove(pattern.c_str());
    h.window->msh_Font_10x16_Click();
    EXPECT_FALSE(preview->Current());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(preview->findChild<QLabel*>(QStringLiteral("lbl_Stato"))->text(),
              QStringLiteral("Anteprima non aggiornata: File p.bmp non trovato. "
                             "Impossibile continuare!!"));
    EXPECT_EQ(MemoryImage[0x8000], 0x77);
}

}  // namespace
}  // namespace lcdprog::test
