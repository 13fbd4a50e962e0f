#pragma once

#include <functional>
#include <string>

#include "cli/cli_options.h"
#include "cli/write_command.h"
#include "platform/file_service.h"
#include "platform/result.h"

namespace lcdprog::cli {

// The image to write: a .bin file of exactly 65,536 bytes, or a project compiled as the window
// compiles it. A refusal's text is one line (a project's refused pictures follow on lines of
// their own).
platform::Result<MemoryImageBytes> Load_Input(const std::string& input);

// A project compiled as the window compiles it, its pictures read through `files` (the station
// does this off its window's thread, so `files` must allow that). A picture the window would
// refuse refuses the project. `reversedPalette`, when given, hears of every picture whose palette
// is reversed: it is programmed as it is, as the window does.
platform::Result<MemoryImageBytes> Compile_Project(
    platform::FileService& files, const std::string& path,
    const std::function<void(const std::string& picture)>& reversedPalette = {});

// lcdprog-cli ports
int Run_Ports();
// lcdprog-cli image PROJECT -o FILE.bin [--png DIR]
int Run_Image(const Options& options);

}  // namespace lcdprog::cli
