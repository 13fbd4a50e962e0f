#pragma once

// The files a command writes appear all together or not at all (platform::StagedFiles); each
// step that fails says so on standard error, in the same words for every command, and the
// command then ends with kExitUsage, leaving nothing behind.

#include <string>
#include <string_view>

#include "platform/staged_files.h"

namespace lcdprog::cli {

// `folder` and any missing folder above it, removed again unless the outputs are committed.
[[nodiscard]] bool Make_Output_Folder(platform::StagedFiles& out, const std::string& folder);
[[nodiscard]] bool Stage_Output(platform::StagedFiles& out, const std::string& path,
                                std::string_view bytes);
[[nodiscard]] bool Commit_Outputs(platform::StagedFiles& out);

}  // namespace lcdprog::cli
