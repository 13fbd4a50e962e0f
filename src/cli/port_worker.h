#pragma once

// One port's child process. A run holds its thread in the link's waits and yields to its own
// event loop, so each port is programmed by a process of its own (its own ProgramState, serial
// control and event pump): lcdprog-cli started again with the hidden sub-command, which runs the
// window's programming chain on that one port.
//
// Talk with the parent, both ways on pipes:
//   standard input   the 65,536 image bytes, then lines: "go" (start), "stop" (Ctrl-C), "quit"
//                    (end before starting); end of file counts as "stop"
//   standard output  one JSON object per line:
//                    {"event":"ready"}                         the port is open
//                    {"event":"open-failed","error":TEXT}      it is not (status 2)
//                    {"event":"start","unit":K}                detection of unit K begins
//                    {"event":"block","block":N}               block N is about to go out
//                    {"event":"retry","block":N,"attempt":A}   block N sent again (A = 2, 3)
//                    {"event":"done"|"failed","unit":K,"blocks":N,"retries":R,"seconds":S,
//                     "block":B,"error":TEXT,"interrupted":BOOL, the unit's result: N blocks
//                     "failure":KIND}                          acknowledged; a failed one names
//                                                              its kind ("module-not-found",
//                                                              "block-failed", "reset-failed",
//                                                              "stopped" or "port-lost") and,
//                                                              when it ended in the write, the
//                                                              block B it ended at
//                    {"event":"waiting","for":"unplug"|"plug"} --loop: between units
//                    {"event":"stopped"}                       --loop: stopped while waiting
//
// Stop, by step: during detection (and while --loop waits for a module) the process ends at
// once, since nothing has been written; during the EEPROM run it is the window's Stop (the run
// ends at its next wait, no reset follows); during the reset the reset is completed (the image
// is whole and the reset makes the module use it), then the process ends.
//
// A port that goes away (the serial control reports its device gone, or the device node
// disappears) ends the unit at once as "port-lost", with the control's text naming the device;
// --loop then waits for the port to come back. LCDPROG_PORT_PAUSE_MS sets --loop's pauses (still
// there, reopen) for the tests.

#include <string>

namespace lcdprog::cli {

// Needs a QCoreApplication. Returns the exit status: 0 programmed, 1 failed, 2 the port could
// not be opened or the image did not arrive, 130 stopped.
int Run_Port_Worker(const std::string& device, bool loop);

}  // namespace lcdprog::cli
