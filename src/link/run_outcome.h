#pragma once

// A run's outcome as the operator reads it, written in one place: the serial window's status
// line, lcdprog-cli's lines and summary and the station's panels all render it here, so that one
// event reads the same wherever it is shown. The same goes for the time left while writing.

#include <cstdint>
#include <optional>
#include <string>

#include "link/run_events.h"

namespace lcdprog {

struct RunOutcome {
    RunFailure failure = RunFailure::None;
    // The blocks the module acknowledged: 512 once the write was complete.
    int blocks = 0;
    // The block (from 0) the write failed or stopped at, or was writing when the port went; none
    // when the run ended outside the write (detection, reset).
    std::optional<int> block = std::nullopt;
    // How long the run took; said only of a run that ended well.
    double seconds = 0;
    // PortLost: what the serial control said, which names the device ("" when unknown).
    std::string why = {};
};

// The outcome of the link's run, which took `seconds`.
RunOutcome Outcome_Of(const RunResult& result, double seconds);

// "Programmazione completata: 65536 byte in 9,4 s", "Scrittura fallita al blocco 101 di 512: il
// modulo non ha confermato", "Memoria scritta, ma il reset del PIC non ha risposto", ...
std::string Outcome_Text(const RunOutcome& outcome);

// Whole seconds until the last block is acknowledged when block `block` (from 0) is about to go
// out and the write has taken `writingMs` so far: the pace of the blocks done, rounded up so that
// it never says 0 while blocks remain. Nothing before the pace means anything (the first blocks
// carry the wake-up of the line and of the window).
std::optional<int> Seconds_Left(int block, std::uint64_t writingMs);
// "circa 6 s al termine"
std::string Seconds_Left_Text(int seconds);

// A message of several lines as one line: "\r\n" and "\n" become a blank.
std::string One_Line(const std::string& text);

// "blocco 120 di 512": blocks counted from 1 for the operator.
std::string Block_Text(const char* word, int block);

}  // namespace lcdprog
