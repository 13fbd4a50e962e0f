// The main window with projects, on real files in a folder that is also the program folder.

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

// A drop is tested as a right-click choice or an opened project; the preview shows exactly what
// it was given, follows each change, leaves MemoryImage alone and says why not; closing with
// unsaved changes asks once (Salva saves, Non salvare discards, Annulla keeps the window).
TEST(ProjectWindow, DropsPreviewAndTheUnsavedChangesPrompt) {
    const QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    platform::PosixFileService files{dir.path().toStdString()};
    MainWindowHarness h{files};
    FakeMessageBox& messages = h.messages;
    const auto Put = [&](const std::string& name, const std::string& bytes) {
        const std::string path = dir.path().toStdString() + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    // As a real drag: the drop goes to the widget that accepted the drag's entry.
    const auto Drop = [](QWidget* target, const std::string& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    };
    for (int w = 0; w < 3; ++w) {
        Put(kWhites[w], White_File(w));
    }
    ASSERT_TRUE(h.window->Form_Load());
    h.state.MemoryImage.fill(0x77);
    h.window->smnu_Anteprima_Click(0);
    frm_Anteprima* preview = h.window->Preview();
    ASSERT_NE(preview, nullptr);
    const auto before = h.Take();
    Drop(h.Box(1, 2), Put("wide.bmp", Make_Picture({240, 64})));
    Drop(h.window.get(), Put("bad.lcdprj", "{\"format\": \"lcdprog-project\""));
    ASSERT_EQ(messages.shown.size(), 2u);  // the picture refused, then the bad project
    EXPECT_NE(messages.shown[1].text.find("bad.lcdprj"), std::string::npos);
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
            ASSERT_EQ(shown.pixel(x, y), dark ? frm_Anteprima::kDark : frm_Anteprima::kLit);
        }
    }
    const QImage glyph = preview->Glyph(1);  // only cell (row 15, column 9) is on
    EXPECT_EQ(glyph.pixel(9, 15) + glyph.pixel(8, 15) + glyph.pixel(9, 14) + glyph.pixel(0, 0),
              frm_Anteprima::kDark + 3 * frm_Anteprima::kLit);

    std::remove(path.c_str());
    h.window->msh_Font_10x16_Click();
    EXPECT_FALSE(preview->Current() || !messages.shown.empty());
    EXPECT_EQ(preview->findChild<QLabel*>("lbl_Stato")->text(),
              "Anteprima non aggiornata: File p.bmp non trovato. Impossibile continuare!!");
    EXPECT_TRUE(h.state.MemoryImage[0] == 0x77 && h.state.MemoryImage[0x8000] == 0x77);

    const std::string project = dir.path().toStdString() + "/job.lcdprj";
    h.dialog.answer = project;
    ASSERT_TRUE(h.window->Save_Project_As());
    EXPECT_TRUE(h.dialog.requests.back().saveForm && !h.state.SaveDialogMode);
    using platform::SaveChoice;
    h.Find<QTableWidget>("msh_Font_5x8")->setCurrentCell(0, 0);
    for (const SaveChoice answer : {SaveChoice::Cancel, SaveChoice::Discard, SaveChoice::Save}) {
        h.window->show();
        h.window->msh_Font_5x8_Click();
        EXPECT_EQ(h.window->windowTitle(), "Programmatore LCD grafici - job.lcdprj *");
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

}  // namespace
}  // namespace lcdprog::test
