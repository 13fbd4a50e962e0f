#pragma once

// Between a project and the program state: opening a project fills the sixteen slots and both
// glyphs exactly as right-click choices and grid clicks would, and saving captures them. The
// window and the command line program both come through here, so they treat a project alike.

#include <functional>
#include <string>
#include <vector>

#include "platform/file_service.h"
#include "platform/result.h"
#include "project/project_file.h"

namespace lcdprog {

// Records a picture in a slot of panel type `panel` (index into kPanelLayouts) as a right-click
// choice, a start-up white picture and a project all record it: the panel's size.
void Fill_Slot(ImageSlot& slot, int panel, const std::string& fullPath,
               const std::string& fileName);

// A picture of a project that was not taken; its slot keeps the white picture.
struct RefusedPicture {
    int panel = 0;
    int slot = 0;
    std::string file;    // the path the project named
    std::string reason;  // Italian, e.g. "file non trovato"
    bool operator==(const RefusedPicture&) const = default;
};

// A further test a caller puts a picture through once the header test passed (the window: the
// picture must load, since its box shows it). A refusal's text is the reason listed.
using PictureCheck =
    std::function<platform::Result<>(int panel, int slot, const std::string& path)>;

// Puts every picture through the same header test a right-click choice uses and records it in
// its slot as that choice would (FullPath lower-cased, FileName its last component, the panel's
// size); an empty, missing or refused picture leaves the slot at its white picture.
// The glyphs replace Font_5x8 and Font_10x16. Returns the refused pictures, in slot order.
std::vector<RefusedPicture> Apply_Project(ProgramState& state, const Project& project,
                                          const platform::FileService& files,
                                          const PictureCheck& check = {});

// One refused picture, listed alike in the window's message and the command line's error.
std::string Refused_Picture_Line(const RefusedPicture& refused);

// The operator's message for refused pictures ("" when there are none). Shown with the title
// kRefusedPicturesTitle and the exclamation icon.
std::string Refused_Pictures_Message(const std::vector<RefusedPicture>& refused);
inline constexpr const char* kRefusedPicturesTitle = "WARNING";

// The paths a project named, by panel and slot ("" for none).
using PicturePaths = std::array<std::array<std::string, kSlotsPerPanel>, kProjectPanels>;

// The paths of the refused pictures, each in its slot: the window keeps them while the slot
// shows its white picture, so that the next save writes them back (a picture on a drive that is
// away today is still the project's picture tomorrow).
PicturePaths Kept_Paths(const std::vector<RefusedPicture>& refused);

// The current slots and glyphs as a project: a white picture as "" (or as its kept path, when
// `kept` names one for that slot), any other picture by the path it has on disk (the slots hold
// it lower-cased).
Project Capture_Project(const ProgramState& state, const platform::FileService& files,
                        const PicturePaths& kept = {});

}  // namespace lcdprog
