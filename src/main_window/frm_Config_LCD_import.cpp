// The main window's side of importing pictures: the menu command, a picture dropped on a box
// that is not yet a panel picture, and the offer to fix a reversed palette. Every slot change
// goes through Take_Picture, the steps of a right-click choice.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>

#include "compiler/picture_check.h"
#include "main_window/frm_Config_LCD.h"
#include "main_window/mod_Funzioni_Varie.h"

namespace lcdprog {

void frm_Config_LCD::Build_Import_Menu() {
    // A group of its own after the project commands, before the recent projects.
    smnu_Importa_Immagine = new QAction(QStringLiteral("Importa immagine..."), mnu_File);
    smnu_Importa_Immagine->setObjectName(QStringLiteral("smnu_Importa_Immagine"));
    smnu_Importa_Immagine->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(smnu_Importa_Immagine, &QAction::triggered, this,
            [this] { smnu_Importa_Immagine_Click(); });
    mnu_File->insertAction(smnu_File_0, smnu_Importa_Immagine);
    mnu_File->insertSeparator(smnu_File_0);
}

void frm_Config_LCD::smnu_Importa_Immagine_Click() {
    const std::string filter = Import_Filter();
    const std::optional<std::string> source = Choose_File(
        state_, services_.dialog, "Scegli l'immagine da importare", filter.c_str(), false);
    if (!source) {
        return;
    }
    PanelIndex which = k64128A;
    int slot = 0;
    Current_Slot(which, slot);
    Import_Into(which, slot, *source);
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

void frm_Config_LCD::Import_Into(PanelIndex which, int index, const std::string& source) {
    const std::optional<SlotPicture> imported =
        Import_Picture(services_, state_, this, source, which, index, projectPath_, runImport_);
    if (imported) {
        Take_Picture(static_cast<PanelIndex>(imported->panel), imported->slot,
                     Check_Picture_Name(imported->path, services_.messages));
    }
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
    for (const SlotPicture& fixed :
         Offer_Palette_Fix(services_, Reversed_Palettes(services_.files, taken))) {
        Take_Picture(static_cast<PanelIndex>(fixed.panel), fixed.slot,
                     Check_Picture_Name(fixed.path, services_.messages));
    }
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
