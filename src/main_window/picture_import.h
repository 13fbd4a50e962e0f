#pragma once

// Importing a picture into a slot, and the offer to fix a reversed palette: everything between
// the file the operator names and the path the slot then takes through the same steps as a
// right-click choice (frm_Config_LCD::Take_Picture).

#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// Decodes `source` (a message and nothing when it cannot), shows the dialog starting on
// `panel`/`slot`, and on "OK" writes the standard file: in the folder "immagini" beside the open
// project, or where the save form of the file dialog says when there is none. A different file
// of that name is replaced only when the operator agrees. The written file and the slot the
// operator chose; nothing when cancelled or refused (with its message), nothing written then.
std::optional<SlotPicture> Import_Picture(platform::Services& services, ProgramState& state,
                                          QWidget* parent, const std::string& source, int panel,
                                          int slot, const std::string& projectPath,
                                          const RunImportDialog& run = {});

// Where a picture made for a slot goes: `name` in the folder "immagini" beside the open project
// (made when missing), or, with no project, the path the save form of the file dialog gives,
// proposing `name`. Nothing when cancelled, or after a message when the folder cannot be made.
std::optional<std::string> Picture_Destination(platform::Services& services, ProgramState& state,
                                               const std::string& projectPath,
                                               const std::string& name);

// The pictures among `taken` whose palette is reversed.
std::vector<SlotPicture> Reversed_Palettes(const platform::FileService& files,
                                           const std::vector<SlotPicture>& taken);
// One question for all of them: "Correggi" writes each corrected copy beside its original
// (x_lcd.bmp) and returns those for their slots; "Lascia così" returns nothing.
std::vector<SlotPicture> Offer_Palette_Fix(platform::Services& services,
                                           const std::vector<SlotPicture>& reversed);

}  // namespace lcdprog
