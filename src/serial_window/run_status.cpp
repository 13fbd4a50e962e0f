#include "serial_window/run_status.h"

#include <algorithm>

#include "link/mod_RS232.h"
#include "link/run_outcome.h"

namespace lcdprog {

void RunStatus::Show(const std::string& text) {
    if (text != text_) {
        text_ = text;
        show_(text_);
    }
}

void RunStatus::Say(const std::string& text) {
    phase_ = Phase::Idle;
    Show(text);
}

void RunStatus::Run_Started() {
    runStartMs_ = clock_.Milliseconds();
    phase_ = Phase::Compiling;
    Show("Preparazione dell'immagine...");
}

void RunStatus::Phase_Changed(RunPhase phase) {
    // Only detection has words of its own; the blocks and the end say the rest.
    if (phase == RunPhase::Detection && phase_ != Phase::Idle) {
        phase_ = Phase::Detecting;
        Show("Ricerca del modulo...");
    }
}

void RunStatus::Block_Started(int k) {
    if (phase_ == Phase::Idle) {
        return;
    }
    const std::uint32_t nowMs = clock_.Milliseconds();
    if (phase_ != Phase::Writing) {  // the module answered: the first block goes out
        phase_ = Phase::Writing;
        writeStartMs_ = nowMs;
    }
    const int block = std::clamp(k, 0, kBlocks - 1);
    std::string text = Block_Text("Blocco", block);
    if (const auto left = Seconds_Left(block, nowMs - writeStartMs_)) {
        text += ", " + Seconds_Left_Text(*left);
    }
    Show(text);
}

void RunStatus::Run_Ended(const RunResult& result) {
    // A lost port's own words (the device) are the window's to add: it knows the control.
    Say(Outcome_Text(Outcome_Of(result, (clock_.Milliseconds() - runStartMs_) / 1000.0)));
}

}  // namespace lcdprog
