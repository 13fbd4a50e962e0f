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

void RunStatus::Run_Started(std::uint32_t nowMs) {
    runStartMs_ = nowMs;
    block_ = 0;
    phase_ = Phase::Compiling;
    Show("Preparazione dell'immagine...");
}

void RunStatus::Progress(int value, std::uint32_t nowMs) {
    switch (phase_) {
        case Phase::Idle:
            return;
        case Phase::Compiling:  // the compile is done: detection empties the bar first
            phase_ = Phase::Detecting;
            Show("Ricerca del modulo...");
            return;
        case Phase::Detecting:  // the module answered: the first block goes out
            phase_ = Phase::Writing;
            writeStartMs_ = nowMs;
            break;
        case Phase::Writing:
            break;
    }
    block_ = std::clamp(value, 0, kBlocks - 1);
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

void RunStatus::Run_Ended(const RunResult& result, std::uint32_t nowMs) {
    switch (result.end) {
        case RunEnd::CompileFailed:
            Say("Immagine non compilata: il modulo non è stato contattato");
            break;
        case RunEnd::NoModule:
            Say("Modulo non trovato: verificare la connessione");
            break;
        case RunEnd::Written:
            Say(result.resetOk
                    ? "Programmazione completata: " + std::to_string(kMemoryImageSize) +
                          " byte in " + Seconds_Text(nowMs - runStartMs_) + " s"
                    : std::string("Memoria scritta, ma il reset del PIC non ha risposto"));
            break;
        case RunEnd::WriteFailed:
            Say("Scrittura fallita al " + Block_Text("blocco", block_) +
                ": il modulo non ha confermato");
            break;
        case RunEnd::Stopped:
            Say("Interrotto dall'operatore al " + Block_Text("blocco", block_));
            break;
    }
}

}  // namespace lcdprog
