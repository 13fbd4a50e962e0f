#include "serial_window/run_status.h"

#include <algorithm>

namespace lcdprog {
namespace {

constexpr int kImageBytes = RunStatus::kBlocks * 128;

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
    text += std::to_string(RunStatus::kBlocks);
    return text;
}

}  // namespace

void RunStatus::Say(const std::string& text) {
    writing_ = false;
    if (text != text_) {
        text_ = text;
        show_(text_);
    }
}

void RunStatus::Run_Started(std::uint32_t nowMs) {
    runStartMs_ = nowMs;
    block_ = 0;
    Say("Preparazione dell'immagine...");
}

void RunStatus::Looking_For_Module() {
    Say("Ricerca del modulo...");
}

void RunStatus::Writing_Started(std::uint32_t nowMs) {
    writeStartMs_ = nowMs;
    writing_ = true;
    Block(0, nowMs);
}

void RunStatus::Block(int value, std::uint32_t nowMs) {
    if (!writing_) {
        return;  // detection empties the bar too
    }
    block_ = std::clamp(value, 0, kBlocks - 1);
    std::string text = Block_Text("Blocco", block_);
    if (block_ > 0) {
        // The blocks so far set the pace of those left; rounded up, so the estimate reaches 0
        // only with the last block.
        const std::uint64_t elapsedMs = nowMs - writeStartMs_;
        const std::uint64_t leftMs = elapsedMs * static_cast<std::uint64_t>(kBlocks - block_) /
                                     static_cast<std::uint64_t>(block_);
        text += ", circa " + std::to_string((leftMs + 999) / 1000) + " s al termine";
    }
    const bool wasWriting = writing_;
    Say(text);
    writing_ = wasWriting;
}

void RunStatus::Run_Ended(RunEnding ending, std::uint32_t nowMs) {
    switch (ending) {
        case RunEnding::Done:
            Say("Programmazione completata: " + std::to_string(kImageBytes) + " byte in " +
                Seconds_Text(nowMs - runStartMs_) + " s");
            break;
        case RunEnding::CompileFailed:
            Say("Immagine non compilata: il modulo non è stato contattato");
            break;
        case RunEnding::NoModule:
            Say("Modulo non trovato: verificare la connessione");
            break;
        case RunEnding::WriteFailed:
            Say("Scrittura fallita al " + Block_Text("blocco", block_) + ": il modulo non ha confermato");
            break;
        case RunEnding::Stopped:
            Say("Interrotto dall'operatore al " + Block_Text("blocco", block_));
            break;
        case RunEnding::ResetFailed:
            Say("Memoria scritta, ma il reset del PIC non ha risposto");
            break;
    }
}

}  // namespace lcdprog
