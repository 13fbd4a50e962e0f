#include "link/run_log.h"

#include "link/mod_RS232.h"

namespace lcdprog {

void RunLog::Phase_Changed(RunPhase phase) {
    phase_ = phase;
    switch (phase) {
        case RunPhase::Detection:
            Say(Level::Step, "looking for the module");
            break;
        case RunPhase::Writing:
            Say(Level::Step, "module found, writing " + std::to_string(kBlocks) + " blocks");
            break;
        case RunPhase::Reset:
            Say(Level::Step, "resetting the module");
            break;
    }
}

void RunLog::Block_Started(int k) {
    block_ = k;
    if (k > 0 && k % (kBlocks / 4) == 0) {
        Say(Level::Step, std::to_string(k) + " of " + std::to_string(kBlocks) + " blocks written");
    }
}

void RunLog::Attempt(int n) {
    if (n == 1) {
        return;
    }
    const std::string step = phase_ == RunPhase::Writing ? "block " + std::to_string(block_ + 1)
                             : phase_ == RunPhase::Reset ? std::string("reset")
                                                         : std::string("detection");
    Say(Level::Step, step + ", attempt " + std::to_string(n));
}

void RunLog::Reply_Received(std::string_view bytes, bool valid) {
    if (!valid) {
        Say(Level::Detail, "no valid reply (" + std::to_string(bytes.size()) + " bytes)");
    }
}

void RunLog::Run_Ended(const RunResult& result) {
    if (result.failure == RunFailure::None) {
        Say(Level::Step, "run ended: programmed, " + std::to_string(result.block) +
                             " blocks, reset acknowledged");
        return;
    }
    // Appended piece by piece (GCC 12 sees a bogus overlap in "+" chains and in replace()); the
    // operator's message stays on the line.
    std::string line = "run failed: ";
    line += Run_Failure_Name(result.failure);
    line += ", block ";
    line += std::to_string(result.block);
    line += " (from 0), reset ";
    line += !result.resetSent ? "not sent" : result.resetOk ? "acknowledged" : "unanswered";
    line += ": ";
    for (const char c : result.text) {
        if (c != '\r') {
            line += c == '\n' ? ' ' : c;
        }
    }
    Say(Level::Failure, line);
}

}  // namespace lcdprog
