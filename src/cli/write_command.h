#pragma once

// lcdprog-cli write: one child process per port (port_supervisor.h), all started together; this
// parent shows their progress on the terminal and hands Ctrl-C on to them.

#include "cli/cli_options.h"
#include "cli/port_supervisor.h"

namespace lcdprog::cli {

// Needs a QCoreApplication. Returns the exit status (kExit...).
int Run_Write(const Options& options, const MemoryImageBytes& image);

}  // namespace lcdprog::cli
