#include "project/project_state.h"

#include "compiler/image_decoder.h"
#include "compiler/picture_check.h"
#include "platform/lower_case_path.h"

namespace lcdprog {
namespace {

const std::string kCrLf = "\r\n";

// Each panel type's white background, in the program folder, in slot-array order; the panels'
// names and sizes are kPanelLayouts'.
constexpr std::array<const char*, kProjectPanels> kWhiteFiles = {
    "Sfondo_Bianco_128x64.bmp",
    "Sfondo_Bianco_128x64.bmp",
    "Sfondo_Bianco_240x64.bmp",
    "Sfondo_Bianco_240x128.bmp",
};

std::string White_Picture_Path(const platform::FileService& files, int panel) {
    // Where the start-up found it: beside the program, or in an installed tree's share/lcdprog.
    return files.ProgramDataFile(kWhiteFiles[panel]);
}

}  // namespace

PicturePaths Kept_Paths(const std::vector<RefusedPicture>& refused) {
    PicturePaths kept;
    for (const RefusedPicture& r : refused) {
        kept[r.panel][r.slot] = r.file;
    }
    return kept;
}

void Fill_Slot(ImageSlot& slot, int panel, const std::string& fullPath,
               const std::string& fileName) {
    slot.FullPath = fullPath;
    slot.FileName = fileName;
    slot.Height = kPanelLayouts[panel].height;
    slot.Width = kPanelLayouts[panel].width;
}

std::vector<RefusedPicture> Apply_Project(ProgramState& state, const Project& project,
                                          const platform::FileService& files,
                                          const PictureCheck& check) {
    std::vector<RefusedPicture> refused;
    for (int p = 0; p < kProjectPanels; ++p) {
        const std::string white = White_Picture_Path(files, p);
        for (int s = 0; s < kSlotsPerPanel; ++s) {
            ImageSlot& slot = state.Panel_Slots(p)[s];
            const std::string& path = project.pictures[p][s];
            if (!path.empty()) {
                platform::Result<> taken = Check_Picture_File(files, path, kPanelLayouts[p].width,
                                                              kPanelLayouts[p].height);
                if (taken && check) {
                    taken = check(p, s, path);
                }
                if (taken) {
                    // Recorded as the picture selection records a choice: lower-cased.
                    const std::string fullPath = platform::Lower_Case_Path(path);
                    Fill_Slot(slot, p, fullPath, files.GetFileName(fullPath));
                    continue;
                }
                refused.push_back({p, s, path, taken.Text()});
            }
            Fill_Slot(slot, p, white, kWhiteFiles[p]);
        }
    }
    state.Font_5x8 = project.font5x8;
    state.Font_10x16 = project.font10x16;
    return refused;
}

std::string Refused_Picture_Line(const RefusedPicture& refused) {
    return std::string(kPanelLayouts[refused.panel].name) + ", immagine numero " +
           std::to_string(refused.slot + 1) + ": " + refused.file + " (" + refused.reason + ")";
}

std::string Refused_Pictures_Message(const std::vector<RefusedPicture>& refused) {
    if (refused.empty()) {
        return {};
    }
    std::string text =
        "Queste immagini del progetto non sono state caricate e al loro posto "
        "resta l'immagine bianca:";
    for (const RefusedPicture& r : refused) {
        text += kCrLf + Refused_Picture_Line(r);
    }
    return text;
}

Project Capture_Project(const ProgramState& state, const platform::FileService& files,
                        const PicturePaths& kept) {
    Project project;
    for (int p = 0; p < kProjectPanels; ++p) {
        const std::string white = platform::Lower_Case_Path(White_Picture_Path(files, p));
        for (int s = 0; s < kSlotsPerPanel; ++s) {
            const std::string& fullPath = state.Panel_Slots(p)[s].FullPath;
            if (fullPath.empty() || platform::Lower_Case_Path(fullPath) == white) {
                project.pictures[p][s] = kept[p][s];
                continue;
            }
            // The slot holds the lower-cased path; the file keeps the name as it is on disk, so
            // the project still finds it on another machine or a case-sensitive copy.
            const std::string onDisk = files.PathOnDisk(fullPath);
            project.pictures[p][s] = Absolute_Path(onDisk.empty() ? fullPath : onDisk);
        }
    }
    project.font5x8 = state.Font_5x8;
    project.font10x16 = state.Font_10x16;
    return project;
}

}  // namespace lcdprog
