#pragma once

#include "compiler/mod_Compilatore.h"
#include "link/mod_RS232.h"
#include "link/run_events.h"

namespace lcdprog {

// The programming run after its preparations: compile (into the state's MemoryImage), detect,
// write the EEPROM, and reset the controller unless the write ended because of Stop. The window's
// write command and the command line program both run exactly this, so the bytes on the line are
// the same from either. Every step goes to link.observer, the end too (Run_Ended); the result is
// returned as well.
RunResult Run_Programming(const CompilerIo& compiler, const LinkIo& link);

// The same run for an image already in the state's MemoryImage (compiled once for many units, or
// read from a .bin file): detect, write the EEPROM, reset unless stopped. Run_Programming is the
// compile followed by exactly this.
RunResult Write_Memory_Image(const LinkIo& link);

}  // namespace lcdprog
