#pragma once

#include "compiler/mod_Compilatore.h"
#include "link/mod_RS232.h"

namespace lcdprog {

// How a programming run ended, for whoever shows or records it. The operator has already seen
// every message the run had for them; this only says which step it stopped at.
enum class RunEnd {
    CompileFailed,  // a picture could not be read: the module was not contacted
    NoModule,       // detection failed
    Written,        // all 512 blocks acknowledged
    WriteFailed,    // a block failed three times
    Stopped,        // the operator pressed Stop during the EEPROM run
};

struct RunResult {
    RunEnd end = RunEnd::CompileFailed;
    bool resetSent = false;  // the reset exchange ran
    bool resetOk = false;    // ... and the module acknowledged it
};

// The programming run after its preparations: compile, detect, write the EEPROM, and reset the
// controller unless the write ended because of Stop. The window's write command and the command
// line program both run exactly this, so the bytes on the line are the same from either.
RunResult Run_Programming(const CompilerIo& compiler, const LinkIo& link);

// The same run for an image already in MemoryImage (compiled once for many units, or read from
// a .bin file): detect, write the EEPROM, reset unless stopped. Run_Programming is the compile
// followed by exactly this.
RunResult Write_Memory_Image(const LinkIo& link);

}  // namespace lcdprog
