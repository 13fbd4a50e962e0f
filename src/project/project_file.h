#pragma once

// Project files (.lcdprj): the sixteen picture choices and the two glyphs, kept between program
// starts. UTF-8 JSON that a person can read, diff and edit:
//
//   {
//       "format": "lcdprog-project",
//       "version": 1,
//       "pictures": {
//           "64128A": ["logo.bmp", "", "", ""],      one path per slot, slot 0 first;
//           "64128E": [...], "64240B": [...],         relative to the project's folder when the
//           "128240A": ["/srv/pictures/a.bmp", ...]   picture lies under it, "" = white picture
//       },
//       "glyphs": {
//           "5x8":   ["#....", ...],                  8 rows of 5, top row first
//           "10x16": ["##........", ...]              16 rows of 10; '#' set, '.' clear
//       },
//       "imports": [                                  version 2: how imported pictures were
//           {"picture": "immagini/logo_128x64.bmp",   made, the settings in the command line's
//            "source": "logo.png", "scale": "fit",    words ("scale", "rotate", "mirror",
//            "rotate": 0, ...}                        "dither", "threshold", "brightness",
//       ],                                            "contrast", "invert")
//       "reversedPalettesKept": ["neg.bmp"]           version 2: answered "Lascia così"
//   }
//
// A file is written as version 1 while it holds nothing of version 2, so that an older program
// at a station still opens it.
//
// Reading never changes the program state: it gives a Project or one message that says why the
// file is not one. Applying a project to the state is project_state.h.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/image_decoder.h"
#include "picture/picture.h"
#include "platform/file_service.h"
#include "platform/result.h"
#include "state/mod_variabili.h"

namespace lcdprog {

inline constexpr const char* kProjectFormat = "lcdprog-project";
inline constexpr int kProjectVersion = 2;
inline constexpr std::size_t kProjectMaxBytes = 1024 * 1024;
inline constexpr const char* kProjectExtension = ".lcdprj";
// The save form of the file dialog offers this filter for projects.
inline constexpr const char* kProjectFilter =
    "Tutti i file |*.*| Progetto lcdprog (*.lcdprj) | *.lcdprj";
// The panel types in slot-array order; projects and messages name them as kPanelLayouts does.
inline constexpr int kProjectPanels = static_cast<int>(kPanelLayouts.size());

// A project in memory. Picture paths are absolute ("" keeps the slot's white picture); the file
// holds them relative to its own folder where it can.
struct Project {
    std::array<std::array<std::string, kSlotsPerPanel>, kProjectPanels> pictures;
    std::array<std::uint8_t, 5> font5x8{};
    std::array<std::uint16_t, 10> font10x16{};
    // A picture "Importa immagine" wrote, the picture it was made from and the dialog's settings,
    // so that it can be made again ("Reimporta..."). Kept whether or not either file is there.
    struct Import {
        std::string picture;
        std::string source;
        picture::Settings settings;
        bool operator==(const Import&) const = default;
    };
    std::vector<Import> imports;
    // Pictures whose reversed palette the operator chose to keep ("Lascia così"): not asked about
    // again.
    std::vector<std::string> reversedPalettesKept;
    // Keys this version does not know (a newer version's, a person's notes), each as its name
    // and its JSON value in compact form, in file order: written back on save so that saving
    // drops nothing from the file. `extraPictures` and `extraGlyphs` are those inside
    // "pictures" and "glyphs".
    struct Extra {
        std::string key;
        std::string json;
        bool operator==(const Extra&) const = default;
    };
    std::vector<Extra> extraTop, extraPictures, extraGlyphs;
    // Written out: clang 14 crashes on a defaulted comparison of this struct.
    bool operator==(const Project& other) const {
        return pictures == other.pictures && font5x8 == other.font5x8 &&
               font10x16 == other.font10x16 && imports == other.imports &&
               reversedPalettesKept == other.reversedPalettesKept && extraTop == other.extraTop &&
               extraPictures == other.extraPictures && extraGlyphs == other.extraGlyphs;
    }
};

// Parses the bytes of a project file. `projectPath` names the file in messages, and its folder
// is what relative picture paths are taken from. A refusal's text is one Italian sentence for the
// operator, naming the file.
platform::Result<Project> Parse_Project(std::string_view bytes, const std::string& projectPath);

// Reads and parses a project file through the file service (a FIFO or device is never opened;
// a file over kProjectMaxBytes is refused unread).
platform::Result<Project> Read_Project(const platform::FileService& files,
                                       const std::string& projectPath);

// The file's text for a project saved at `projectPath` (pictures under its folder written
// relative to it, with '/' between components).
std::string Serialize_Project(const Project& project, const std::string& projectPath);

// Writes the project atomically: a temporary file beside it, synced, then renamed over it, so a
// full disk, a folder this user may not write or a crash leaves either the old file or the new
// one. Refused (Unwritable, with an Italian message) when it could not be written; the old file
// is then untouched.
platform::Result<> Write_Project(const Project& project, const std::string& projectPath);

// The settings of "Importa immagine" as the text of a JSON object in the project file's words,
// and back (a setting left out keeps its default); nothing when the text is not such an object
// or a setting is of the wrong kind or out of range.
std::string Settings_Json(const picture::Settings& settings);
std::optional<picture::Settings> Settings_From_Json(std::string_view text);

// The absolute, cleaned form of a path ("" stays "").
std::string Absolute_Path(const std::string& path);

}  // namespace lcdprog
