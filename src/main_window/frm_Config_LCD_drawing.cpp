// The main window's side of the picture editor: which slot it opens, the picture it hands over
// (read as the compiler reads it, so what is drawn on is what the module shows), and the edited
// picture saved and taken by the slot through Take_Picture, like every other choice.
#include <QAction>
#include <QMenu>
#include <QUndoStack>

#include "compiler/image_decoder.h"
#include "compiler/mod_Compilatore.h"
#include "compiler/picture_check.h"
#include "main_window/frm_Config_LCD.h"
#include "main_window/mod_Funzioni_Varie.h"
#include "main_window/picture_import.h"
#include "picture/picture.h"
#include "picture_editor/frm_Modifica_Immagine.h"

namespace lcdprog {
namespace {

// The compiler's rows, a set bit palette index 1 (white), into a picture of palette indexes.
picture::Bits Raster_Bits(const BitmapRasterArray& raster, int width, int height) {
    picture::Bits bits{width, height, std::vector<std::uint8_t>(std::size_t(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t byte = raster.bytes[std::size_t(y)][std::size_t(x / 8)];
            bits.index[std::size_t(y) * width + x] = (byte >> (7 - x % 8)) & 1u;
        }
    }
    return bits;
}

// The edited copy's name: the slot's file with "_mod" added ("logo.bmp": "logo_mod.bmp").
std::string Edited_Name(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    const std::string stem =
        dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
    return (stem.empty() ? std::string("immagine") : stem) + "_mod.bmp";
}

}  // namespace

void frm_Config_LCD::Build_Picture_Editing() {
    mnu_Modifica->addSeparator();
    smnu_Modifica_Immagine = mnu_Modifica->addAction(QStringLiteral("Modifica &immagine..."));
    smnu_Modifica_Immagine->setObjectName(QStringLiteral("smnu_Modifica_Immagine"));
    smnu_Modifica_Immagine->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(smnu_Modifica_Immagine, &QAction::triggered, this,
            [this] { smnu_Modifica_Immagine_Click(); });
}

void frm_Config_LCD::smnu_Modifica_Immagine_Click() {
    PanelIndex which = k64128A;
    int slot = 0;
    Current_Slot(which, slot);
    Edit_Picture(which, slot);
}

void frm_Config_LCD::Edit_Picture(PanelIndex which, int index) {
    const Panel& panel = panels_[which];
    const ImageSlot slot = (*panel.images)[index];
    // Read as the compiler reads it, but told in the words of a picture choice (the compile's
    // message would end "Impossibile continuare!!"): what could not be opened, and why, and
    // nothing changes.
    const platform::Result<> usable =
        Check_Picture_File(services_.files, slot.FullPath, panel.width, panel.height);
    platform::KeptMessages silent;
    BitmapRasterArray raster;
    if (!usable || !Load_Bitmap_Raster({services_.files, silent}, raster, slot.FullPath,
                                       slot.FileName, panel.width, panel.height)) {
        services_.messages.ShowDetailed("Impossibile modificare l'immagine " + slot.FileName,
                                        "ERROR", platform::MessageIcon::Critical,
                                        usable ? silent.Joined(" ") : usable.Text());
        return;
    }
    const QString step = QStringLiteral("Modifica dell'");
    frm_Modifica_Immagine editor(
        Raster_Bits(raster, panel.width, panel.height),
        step + QStringLiteral("immagine %1 del %2")
                   .arg(index + 1)
                   .arg(QLatin1String(kPanelLayouts[std::size_t(which)].name)),
        services_.messages, this);
    if (!(runEditor_ ? runEditor_(editor) : editor.exec() == QDialog::Accepted) ||
        !editor.Changed()) {
        return;
    }
    // Always a file of its own: the one the slot had may be another slot's too, and the
    // history's undo must find it as it was.
    const std::optional<std::string> written =
        Save_Slot_Picture(services_, projectPath_, Edited_Name(slot.FileName),
                          picture::Bmp_File(editor.Result()), "Modifica immagine");
    if (written) {
        Take_Picture(which, index, Check_Picture_Name(*written, services_.messages), step);
    }
}

}  // namespace lcdprog
