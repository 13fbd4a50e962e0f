#pragma once

#include <string>

#include "cli/cli_options.h"
#include "cli/write_command.h"

namespace lcdprog::cli {

// The image to write: a .bin file of exactly 65,536 bytes, or a project compiled as the window
// compiles it. False with a one-line reason.
bool Load_Input(const std::string& input, Image& image, std::string& error);

// lcdprog-cli ports
int Run_Ports();
// lcdprog-cli image PROJECT -o FILE.bin [--png DIR]
int Run_Image(const Options& options);

}  // namespace lcdprog::cli
