#pragma once

// Importing a picture into a slot, and the offer to fix a reversed palette: everything between
// the file the operator names and the path the slot then takes through the same steps as a
// right-click choice (frm_Config_LCD::Take_Picture).

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "picture/picture.h"
#include "platform/services.h"
#include "state/mod_variabili.h"

class QWidget;

namespace lcdprog {

class frm_Importa_Immagine;

// The filter of "Importa immagine...": every format the reader knows, chosen first.
std::string Import_Filter();

// A picture file for a slot: panel in slot-array order, slot 0..3.
struct SlotPicture {
    int panel = 0;
    int slot = 0;
    std::string path;
    bool operator==(const SlotPicture&) const = default;
};

// Shows the dialog; true when the operator pressed "OK". Tests replace it.
using RunImportDialog = std::function<bool(frm_Importa_Immagine&)>;

// A picture the import wrote for a slot, and how it was made.
struct ImportedPicture {
    SlotPicture target;  // the slot the operator chose, and the file written for it
    std::string source;
    picture::Settings settings;
};

// Decodes `source` (a message and nothing when it cannot), shows the dialog starting on
// `panel`/`slot` with `settings` (or those last taken for that panel), and on "OK" writes the
// standard file: in the folder "immagini" beside the open project, or where the save form of the
// file dialog says when there is none. An existing file is never replaced (picture_names.h): a
// different picture takes the next free name, asked first only when the operator named the file.
// Nothing when cancelled or refused (with its message), nothing written then.
std::optional<ImportedPicture> Import_Picture(
    platform::Services& services, QWidget* parent, const std::string& source, int panel, int slot,
    const std::string& projectPath, const RunImportDialog& run = {},
    const std::optional<picture::Settings>& settings = std::nullopt);

// The settings the dialog last took for a panel (kept in the user's settings), else the
// defaults.
picture::Settings Remembered_Import_Settings(int panel);

// Where a picture made for a slot goes: `name` in the folder "immagini" beside the open project
// (made when missing), or, with no project, the path the save form of the file dialog gives,
// proposing `name`. Nothing when cancelled, or after a message when the folder cannot be made.
std::optional<std::string> Picture_Destination(platform::Services& services,
                                               const std::string& projectPath,
                                               const std::string& name);

// Writes `bytes`, a picture made for a slot (imported or edited), where Picture_Destination says
// and never over a file that holds another picture (picture_names.h): beside a project a
// different picture takes the next free name; a name the operator chose is asked about first,
// in a question titled `title`. The path written; nothing when cancelled or refused, with its
// message.
std::optional<std::string> Save_Slot_Picture(platform::Services& services,
                                             const std::string& projectPath,
                                             const std::string& name, const std::string& bytes,
                                             const std::string& title);

// The pictures among `taken` whose palette is reversed.
std::vector<SlotPicture> Reversed_Palettes(const platform::FileService& files,
                                           const std::vector<SlotPicture>& taken);
// The operator's answer to the question about reversed palettes.
struct PaletteAnswer {
    bool fix = false;                // "Correggi"; else "Lascia così"
    std::vector<SlotPicture> fixed;  // the corrected copies written, for their slots
};
// One question for all of them: "Correggi" writes each corrected copy beside its original
// (x_lcd.bmp, or the next free name) for its slot; "Lascia così" writes nothing.
PaletteAnswer Offer_Palette_Fix(platform::Services& services,
                                const std::vector<SlotPicture>& reversed);

}  // namespace lcdprog
