#pragma once

#include <string>

#include "cli/cli_options.h"
#include "cli/write_command.h"
#include "platform/result.h"

namespace lcdprog::cli {

// The image to write: a .bin file of exactly 65,536 bytes, or a project compiled as the window
// compiles it. A refusal's text is one line (a project's refused pictures follow on lines of
// their own).
platform::Result<Image> Load_Input(const std::string& input);

// lcdprog-cli ports
int Run_Ports();
// lcdprog-cli image PROJECT -o FILE.bin [--png DIR]
int Run_Image(const Options& options);

}  // namespace lcdprog::cli
