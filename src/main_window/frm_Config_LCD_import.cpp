// The main window's side of importing pictures: the menu command, a picture dropped on a box
// that is not yet a panel picture, and the offer to fix a reversed palette. Every slot change
// goes through Take_Picture, the steps of a right-click choice.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QUndoStack>
#include <algorithm>

#include "compiler/picture_check.h"
#include "main_window/frm_Config_LCD.h"
#include "main_window/mod_Funzioni_Varie.h"
#include "platform/choose_file.h"
#include "platform/lower_case_path.h"
#include "platform/qt/crisp_picture.h"
#include "platform/qt/history_step.h"

namespace lcdprog {

void frm_Config_LCD::Build_Import_Menu() {
    // A group of its own after the project commands, before the recent projects.
    smnu_Importa_Immagine = new QAction(QStringLiteral("Importa immagine..."), mnu_File);
    smnu_Importa_Immagine->setObjectName(QStringLiteral("smnu_Importa_Immagine"));
    smnu_Importa_Immagine->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(smnu_Importa_Immagine, &QAction::triggered, this,
            [this] { smnu_Importa_Immagine_Click(); });
    mnu_File->insertAction(smnu_File_0, smnu_Importa_Immagine);
    smnu_Reimporta = new QAction(QStringLiteral("Reimporta..."), mnu_File);
    smnu_Reimporta->setObjectName(QStringLiteral("smnu_Reimporta"));
    smnu_Reimporta->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
    smnu_Reimporta->setStatusTip(
        QStringLiteral("Importa di nuovo l'immagine del riquadro scelto, con le sue impostazioni"));
    connect(smnu_Reimporta, &QAction::triggered, this, [this] { smnu_Reimporta_Click(); });
    mnu_File->insertAction(smnu_File_0, smnu_Reimporta);
    mnu_File->insertSeparator(smnu_File_0);
}

void frm_Config_LCD::Current_Slot(PanelIndex& which, int& slot) const {
    // The tab on show names the panel (the glyph tab: the first panel); the focused box the slot.
    const int tab = SST_Select_Image->currentIndex();
    which = static_cast<PanelIndex>(tab >= 0 && tab < kPanelCount ? tab : 0);
    slot = 0;
    for (int i = 0; i < kSlotsPerPanel; ++i) {
        if (panels_[which].pictures[i]->hasFocus()) {
            slot = i;
        }
    }
}

void frm_Config_LCD::smnu_Importa_Immagine_Click() {
    const std::string filter = Import_Filter();
    const std::optional<std::string> source = platform::Choose_File(
        services_.dialog, "Scegli l'immagine da importare", filter.c_str(), false);
    if (!source) {
        return;
    }
    PanelIndex which = k64128A;
    int slot = 0;
    Current_Slot(which, slot);
    Import_Into(which, slot, *source);
}

void frm_Config_LCD::smnu_Reimporta_Click() {
    PanelIndex which = k64128A;
    int slot = 0;
    Current_Slot(which, slot);
    const Project::Import* import = Import_Of(which, slot);
    if (import == nullptr) {
        services_.messages.Show("L'immagine numero " + std::to_string(slot + 1) + " del " +
                                    kPanelLayouts[which].name +
                                    " non è stata importata: non c'è un'immagine di partenza "
                                    "da cui rifarla.",
                                "WARNING", platform::MessageIcon::Exclamation);
        return;
    }
    // A copy: the import about to be recorded may move the one found.
    const Project::Import again = *import;
    Import_Into(which, slot, again.source, again.settings, QStringLiteral("Reimporta "));
}

void frm_Config_LCD::Import_Into(PanelIndex which, int index, const std::string& source,
                                 const std::optional<picture::Settings>& settings,
                                 const QString& step) {
    const std::optional<ImportedPicture> imported =
        Import_Picture(services_, this, source, which, index, projectPath_, runImport_, settings);
    if (!imported) {
        return;
    }
    const SlotPicture& target = imported->target;
    if (Take_Picture(static_cast<PanelIndex>(target.panel), target.slot,
                     Check_Picture_Name(target.path, services_.messages), step)) {
        imports_.push_back(
            {Absolute_Path(target.path), Absolute_Path(imported->source), imported->settings});
    }
}

const Project::Import* frm_Config_LCD::Import_Of(int p, int s) const {
    const std::string& kept = keptPaths_[p][s];
    const std::string shown =
        platform::Lower_Case_Path(kept.empty() ? (*panels_[p].images)[s].FullPath : kept);
    // The newest import of that file: it is the one that wrote what is there now.
    for (auto it = imports_.rbegin(); it != imports_.rend(); ++it) {
        if (platform::Lower_Case_Path(it->picture) == shown) {
            return &*it;
        }
    }
    return nullptr;
}

bool frm_Config_LCD::Reversed_Kept(const std::string& path) const {
    return std::any_of(reversedKept_.begin(), reversedKept_.end(), [&](const std::string& kept) {
        return platform::Lower_Case_Path(kept) == platform::Lower_Case_Path(path);
    });
}

void frm_Config_LCD::Drop_Picture(PanelIndex which, int index, const std::string& file) {
    const Panel& panel = panels_[which];
    if (!Check_Bitmap_Header(services_.files, file, panel.width, panel.height)) {
        Import_Into(which, index, file);
        return;
    }
    const std::string path = Check_Picture_Name(file, services_.messages);
    if (Take_Picture(which, index, path)) {
        Check_Palettes({{which, index, path}});
    }
}

void frm_Config_LCD::Check_Palettes(const std::vector<SlotPicture>& taken) {
    // A picture the operator already chose to keep as it is is not asked about again.
    std::vector<SlotPicture> reversed;
    for (const SlotPicture& p : Reversed_Palettes(services_.files, taken)) {
        if (!Reversed_Kept(p.path)) {
            reversed.push_back(p);
        }
    }
    const PaletteAnswer answer = Offer_Palette_Fix(services_, reversed);
    for (const SlotPicture& fixed : answer.fixed) {
        Take_Picture(static_cast<PanelIndex>(fixed.panel), fixed.slot,
                     Check_Picture_Name(fixed.path, services_.messages),
                     QStringLiteral("Correggi tavolozza dell'"));
    }
    if (reversed.empty() || answer.fix) {
        return;
    }
    // "Lascia così" is an answer the project keeps, so it is a change to save, and undone it is
    // asked again.
    std::vector<std::string> paths;
    for (const SlotPicture& p : reversed) {
        const std::string onDisk = services_.files.PathOnDisk(p.path);
        paths.push_back(Absolute_Path(onDisk.empty() ? p.path : onDisk));
    }
    const std::vector<std::string> before = reversedKept_;
    std::vector<std::string> after = before;
    after.insert(after.end(), paths.begin(), paths.end());
    undoStack_->push(new platform::HistoryStep(
        QStringLiteral("Lascia così la tavolozza invertita"), [=, this] { reversedKept_ = before; },
        [=, this] { reversedKept_ = after; }, false));
}

void frm_Config_LCD::Check_All_Palettes() {
    std::vector<SlotPicture> taken;
    for (int p = 0; p < kPanelCount; ++p) {
        for (int s = 0; s < kSlotsPerPanel; ++s) {
            taken.push_back({p, s, (*panels_[p].images)[s].FullPath});
        }
    }
    Check_Palettes(taken);
}

}  // namespace lcdprog
