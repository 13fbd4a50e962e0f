#include "serial_window/run_status.h"

#include <algorithm>

#include "link/mod_RS232.h"

namespace lcdprog {
namespace {

// "9,3": tenths of a second with the Italian decimal comma.
std::string Seconds_Text(std::uint32_t ms) {
    const std::uint32_t tenths = (ms + 50) / 100;
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

// "blocco 120 di 512": blocks counted from 1 for the operator.
std::string Block_Text(const char* word, int block) {
    std::string text = word;
    text += ' ';
    text += std::to_string(block + 1);
    text += " di ";
    text += std::to_string(kBlocks);
    return text;
}

}  // namespace

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
    block_ = 0;
    wrote_ = false;
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
    wrote_ = true;
    block_ = std::clamp(k, 0, kBlocks - 1);
    std::string text = Block_Text("Blocco", block_);
    if (block_ > 0) {
        // The blocks so far set the pace of those left; rounded up, so that the estimate never
        // says 0 while blocks remain.
        const std::uint64_t elapsedMs = nowMs - writeStartMs_;
        const std::uint64_t leftMs = elapsedMs * static_cast<std::uint64_t>(kBlocks - block_) /
                                     static_cast<std::uint64_t>(block_);
        text += ", circa " + std::to_string((leftMs + 999) / 1000) + " s al termine";
    }
    Show(text);
}

void RunStatus::Run_Ended(const RunResult& result) {
    const std::string notFound = "Modulo non trovato: verificare la connessione";
    const std::string writeFailed = "Scrittura fallita al " +
                                    Block_Text("blocco", std::clamp(result.block, 0, kBlocks - 1)) +
                                    ": il modulo non ha confermato";
    const std::string resetFailed = "Memoria scritta, ma il reset del PIC non ha risposto";
    switch (result.failure) {
        case RunFailure::CompileRefused:
            Say("Immagine non compilata: il modulo non è stato contattato");
            break;
        case RunFailure::ModuleNotFound:
            Say(notFound);
            break;
        case RunFailure::None:
            Say("Programmazione completata: " + std::to_string(kMemoryImageSize) + " byte in " +
                Seconds_Text(clock_.Milliseconds() - runStartMs_) + " s");
            break;
        case RunFailure::ResetFailed:
            Say(resetFailed);
            break;
        case RunFailure::BlockFailed:
            Say(writeFailed);
            break;
        case RunFailure::Stopped:
            Say("Interrotto dall'operatore al " + Block_Text("blocco", block_));
            break;
        case RunFailure::PortLost:
            // The step the device went away in; the window adds the control's own words.
            Say(!wrote_ ? notFound : result.block < kBlocks ? writeFailed : resetFailed);
            break;
    }
}

}  // namespace lcdprog
