#include "main_window/mod_Funzioni_Varie.h"

#include <optional>

#include "platform/lower_case_path.h"

namespace lcdprog {
namespace {

constexpr int kBitmapFilterIndex = 2;
constexpr int kReadOnlyTicked = 1;

}  // namespace

std::string Select_Picture_File(bool SaveDialogMode, platform::FileDialog& dialog,
                                platform::MessageBox& messages, platform::EventPump* pump,
                                const std::string& purpose) {
    platform::FileDialogRequest request;
    request.cancelError = true;
    request.filter = kPictureFilter;
    request.filterIndex = kBitmapFilterIndex;
    request.flags = kReadOnlyTicked;
    request.saveForm = SaveDialogMode;
    // The title is the platform's, as the picture selection has always had it.
    request.purpose = purpose;
    request.keepTitle = true;
    const std::optional<std::string> chosen = dialog.Show(request);
    if (pump != nullptr) {
        pump->Yield(0);
    }
    if (!chosen) {
        // A cancel is an error of the dialog: no message here, the caller reports it.
        return {};
    }
    return Check_Picture_Name(*chosen, messages);
}

std::string Check_Picture_Name(const std::string& chosen, platform::MessageBox& messages) {
    // The same lower-casing the file service applies when it looks the stored path up again.
    const std::string name = platform::Lower_Case_Path(chosen);
    if (name.find("bmp") == std::string::npos) {
        messages.Show("Estensione file non valida!", "WARNING", platform::MessageIcon::Exclamation);
        return {};
    }
    return name;
}

}  // namespace lcdprog
