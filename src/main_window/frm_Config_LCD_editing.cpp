// The main window's editing: the history behind "Modifica" (every glyph edit and every slot
// change is one step), the glyph grids' tools, keys and clipboard, and the keyboard's way to the
// picture boxes.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QUndoStack>
#include <algorithm>

#include "main_window/frm_Config_LCD.h"
#include "main_window/frm_Da_Carattere.h"
#include "main_window/glyph_grid.h"
#include "platform/qt/accessibility.h"
#include "platform/qt/announcer.h"
#include "platform/qt/crisp_picture.h"
#include "platform/qt/focus_frame.h"
#include "platform/qt/history_step.h"

namespace lcdprog {
namespace {

constexpr GlyphSize kGlyphSizes[] = {kGlyph5x8, kGlyph10x16};

}  // namespace

void frm_Config_LCD::Build_Editing() {
    undoStack_ = new QUndoStack(this);
    const QString editing = QStringLiteral("&Modifica");
    mnu_Modifica = new QMenu(editing, this);
    platform::Name_Control(mnu_Modifica, QStringLiteral("mnu_Modifica"), editing, QString());
    // After "&Comunicazione", in front of the menus that came later.
    menuBar()->insertMenu(mnu_Visualizza->menuAction(), mnu_Modifica);
    announcer_ = new platform::Announcer(this);
    platform::Add_History_Actions(undoStack_, mnu_Modifica, announcer_);
    connect(undoStack_, &QUndoStack::indexChanged, this, [this] { Follow_History(); });
    // Saving moves the clean point without changing anything: only the title follows.
    connect(undoStack_, &QUndoStack::cleanChanged, this, [this](bool clean) {
        modified_ = !clean || picturesChanged_;
        if (!Run_In_Progress()) {
            setWindowTitle(Title());
        }
    });

    glyphGrids_[0] = new GlyphGrid(msh_Font_5x8, kGlyph5x8,
                                   [this](GlyphCommand command) { Glyph_Command(0, command); });
    glyphGrids_[1] = new GlyphGrid(msh_Font_10x16, kGlyph10x16,
                                   [this](GlyphCommand command) { Glyph_Command(1, command); });

    for (const Panel& panel : panels_) {
        for (QLabel* box : panel.pictures) {
            platform::Add_Focus_Frame(box);
        }
    }
    connect(this, &frm_Config_LCD::projectChanged, this, [this] { Name_Picture_Boxes(); });
}

void frm_Config_LCD::Fit_Glyph_Grids() {
    const GlyphGeometry& b = glyphBase_;
    if (b.cell == 0) {
        return;  // before start-up
    }
    // What the page has beyond the frames' first size (kept margins as at start-up), shared by
    // the 24 rows of the two grids one above the other and the 10 columns of the wider one.
    const QWidget* page = fra_Font_64128A_64128E->parentWidget();
    const int spareWidth = page->width() - b.font.right() - b.font.left();
    const int spareHeight = page->height() - b.font.bottom() - b.font.left();
    const int d = std::max(0, std::min(spareWidth / 10, spareHeight / 24));
    msh_Font_5x8->resize(b.grid5.size() + QSize(5 * d, 8 * d));
    fra_5x8->resize(b.frame5.size() + QSize(5 * d, 8 * d));
    fra_10x16->move(b.frame10.topLeft() + QPoint(0, 8 * d));
    msh_Font_10x16->resize(b.grid10.size() + QSize(10 * d, 16 * d));
    fra_10x16->resize(b.frame10.size() + QSize(10 * d, 16 * d));
    fra_Font_64128A_64128E->resize(b.font.size() + QSize(10 * d, 24 * d));
    for (QTableWidget* grid : {msh_Font_5x8, msh_Font_10x16}) {
        for (int c = 0; c < grid->columnCount(); ++c) {
            grid->setColumnWidth(c, b.cell + d);
        }
        for (int r = 0; r < grid->rowCount(); ++r) {
            grid->setRowHeight(r, b.cell + d);
        }
    }
}

frm_Config_LCD::~frm_Config_LCD() {
    // The history is cleared as it is destroyed, after this window has stopped being one.
    QObject::disconnect(undoStack_, nullptr, this, nullptr);
}

void frm_Config_LCD::Follow_History() {
    modified_ = !undoStack_->isClean() || picturesChanged_;
    if (!Run_In_Progress()) {
        setWindowTitle(Title());
    }
    emit projectChanged();
}

void frm_Config_LCD::Record_Glyph_Step(int glyph, const GlyphColumns& before, const QString& step) {
    const GlyphColumns after = Glyph_Of(glyph);
    // The step's own words, which the undo and redo items put after "Annulla" and "Ripeti".
    undoStack_->push(new platform::HistoryStep(
        step + QStringLiteral(" del glifo ") + QLatin1String(kGlyphSizes[glyph].name),
        [=, this] { Show_Glyph(glyph, before); }, [=, this] { Show_Glyph(glyph, after); }, true));
}

void frm_Config_LCD::Glyph_Command(int glyph, GlyphCommand command) {
    if (glyph < 0 || glyph > 1) {
        return;
    }
    const GlyphSize size = kGlyphSizes[glyph];
    const GlyphColumns before = Glyph_Of(glyph);
    QString step = Step_Name(command);
    std::optional<GlyphColumns> after;
    if (const std::optional<GlyphTool> tool = Tool_Of(command)) {
        after = Apply_Glyph_Tool(*tool, before, size.rows);
    } else if (command == GlyphCommand::Copy) {
        QGuiApplication::clipboard()->setText(
            QString::fromStdString(Glyph_Text(before, size.rows)));
        return;
    } else if (command == GlyphCommand::Paste) {
        const std::vector<std::string> rows =
            Rows_Of_Text(QGuiApplication::clipboard()->text().toStdString());
        after = Glyph_From_Rows(rows, size);
        const std::optional<GlyphColumns> small =
            glyph == 1 ? Glyph_From_Rows(rows, kGlyph5x8) : std::nullopt;
        if (!after && small) {
            // Twice as large, a 5x8 glyph fills the 10x16 cell and keeps its baseline.
            if (!services_.messages.AskTwo(
                    "Gli appunti contengono un glifo 5x8. Incollarlo nel glifo 10x16 ingrandito "
                    "2 volte, ogni punto come un quadrato di 2x2?",
                    "Incolla", "Ingrandisci", "Annulla")) {
                return;
            }
            after = Enlarge_Glyph(*small, kGlyph5x8.rows, 2);
            step = QStringLiteral("Incolla ingrandito");
        }
        if (!after) {
            services_.messages.Show("Gli appunti non contengono un glifo " +
                                        std::string(size.name) + ": servono " +
                                        std::to_string(size.rows) + " righe di " +
                                        std::to_string(size.columns) + " caratteri '#' o '.'.",
                                    "WARNING", platform::MessageIcon::Exclamation);
            return;
        }
    } else {
        frm_Da_Carattere dialog(size, this);
        if (dialog.exec() != QDialog::Accepted || !dialog.Glyph()) {
            return;
        }
        after = dialog.Glyph();
    }
    if (*after == before) {
        return;
    }
    Show_Glyph(glyph, *after);
    Record_Glyph_Step(glyph, before, step);
    // The grid's cells change under the focus without a word: the step itself is heard.
    announcer_->Say(undoStack_->undoText());
}

}  // namespace lcdprog
