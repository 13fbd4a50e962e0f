#pragma once

// Project, image and picture files asked for with the common file dialog: one routine for every
// window that opens or saves one, so that the dialog behaves the same wherever it comes from.

#include <optional>
#include <string>

#include "platform/file_dialog.h"

namespace lcdprog::platform {

// Asks for a file with the dialog, titled by its `purpose` ("Salva progetto"): its open form,
// or its save form, with the filter's second entry chosen. A name saved without an extension
// gets `extension`. The save form proposes `proposedName` when one is given, and asks before an
// existing file is chosen unless `confirmOverwrite` is false. Nothing when the operator
// cancelled.
std::optional<std::string> Choose_File(FileDialog& dialog, const std::string& purpose,
                                       const char* filter, bool saveForm,
                                       const std::string& extension = {},
                                       const std::string& proposedName = {},
                                       bool confirmOverwrite = true);

}  // namespace lcdprog::platform
