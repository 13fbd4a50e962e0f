#pragma once

namespace lcdprog::cli {

// The whole of lcdprog-cli: parses the command line, then runs the command. Returns the exit
// status.
int Cli_Main(int argc, char** argv);

}  // namespace lcdprog::cli
