#pragma once

// lcdprog-cli write: one child process per port (port_worker.h), all started together; this
// parent shows their progress, keeps the record of each unit and hands Ctrl-C on to them.

#include <array>
#include <cstdint>
#include <string>

#include "cli/cli_options.h"

namespace lcdprog::cli {

using Image = std::array<std::uint8_t, 65536>;

// Needs a QCoreApplication. Returns the exit status (kExit...).
int Run_Write(const Options& options, const Image& image);

}  // namespace lcdprog::cli
