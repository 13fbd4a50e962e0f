#pragma once

#include <optional>
#include <string>

namespace lcdprog::platform {

// What the picture selection asks of the common file dialog `Comm_Open_Save`.
struct FileDialogRequest {
    bool cancelError = false;  // a cancel is reported as a failure
    std::string filter;        // "description|pattern|description|pattern"
    int filterIndex = 1;       // counted from 1
    int flags = 0;             // 1: the read-only box starts ticked
    bool saveForm = false;     // the save form instead of the open form
    std::string fileName;      // the save form's proposed name ("": none)
    // The save form asks before an existing file is chosen; off where the caller replaces no
    // file and says itself what it does instead.
    bool confirmOverwrite = true;
    // The open form picks a folder instead of a file (with the dialog's own button to make one).
    bool folder = false;
    // What the dialog is for, in the operator's words ("Salva progetto"): a screen reader says it
    // as the dialog's name, and the window shows it as its title unless `keepTitle`.
    std::string purpose = {};
    bool keepTitle = false;  // the platform's own title stays ("Apri", "Salva come")
};

class FileDialog {
  public:
    virtual ~FileDialog() = default;
    // The chosen full path, or nothing when the operator cancelled or the dialog failed.
    virtual std::optional<std::string> Show(const FileDialogRequest& request) = 0;
};

}  // namespace lcdprog::platform
