#pragma once

// The command line of lcdprog-sim. Parsing does no I/O, so that the tests can check it.

#include <span>
#include <string>
#include <vector>

#include "platform/result.h"
#include "sim_faults.h"
#include "sim_module.h"

namespace lcdsim {

struct Options {
    std::string link;    // --link PATH
    std::string eeprom;  // --eeprom FILE
    bool load = false;   // --load
    std::string pngDir;  // --png DIR
    long baud = 115200;
    int pageMs = 5;
    int frameGapMs = 50;
    std::vector<Fault> faults;
    int reopenAfterMs = -1;  // -1: no reopen, the program ends after a hang-up
    bool exitAfterReset = false;
    bool log = false;
    bool quiet = false;
    bool verbose = false;  // --log, and the lcdprog.* log categories on
};

enum class Parse_Outcome { Run, Help, Version };

// `args` excludes the program name. Both "--opt VALUE" and "--opt=VALUE" are accepted.
// A refusal carries a one-line reason and leaves `options` unchanged.
lcdprog::platform::Result<Parse_Outcome> Parse_Command_Line(std::span<const std::string> args,
                                                            Options& options);

std::string Help_Text();

ModuleConfig Module_Config(const Options& options);

}  // namespace lcdsim
