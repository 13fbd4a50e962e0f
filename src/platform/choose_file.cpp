#include "platform/choose_file.h"

#include <filesystem>

namespace lcdprog::platform {

std::optional<std::string> Choose_File(FileDialog& dialog, const std::string& purpose,
                                       const char* filter, bool saveForm,
                                       const std::string& extension,
                                       const std::string& proposedName, bool confirmOverwrite) {
    FileDialogRequest request;
    request.cancelError = true;
    request.filter = filter;
    request.filterIndex = 2;
    request.saveForm = saveForm;
    request.fileName = proposedName;
    request.purpose = purpose;
    request.confirmOverwrite = confirmOverwrite;
    std::optional<std::string> chosen = dialog.Show(request);
    if (chosen && saveForm && std::filesystem::path(*chosen).extension().empty()) {
        *chosen += extension;
    }
    return chosen;
}

}  // namespace lcdprog::platform
