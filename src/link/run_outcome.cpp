#include "link/run_outcome.h"

#include <algorithm>

#include "link/mod_RS232.h"
#include "platform/decimal_text.h"

namespace lcdprog {
namespace {

// Before this many blocks the estimate swings by seconds from one block to the next.
constexpr int kPaceBlocks = 8;

}  // namespace

std::string One_Line(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i] == '\n' ? ' ' : text[i];
    }
    return out;
}

std::string Block_Text(const char* word, int block) {
    std::string text = word;
    text += ' ';
    text += std::to_string(block + 1);
    text += " di ";
    text += std::to_string(kBlocks);
    return text;
}

RunOutcome Outcome_Of(const RunResult& result, double seconds) {
    RunOutcome outcome;
    outcome.failure = result.failure;
    outcome.seconds = seconds;
    switch (result.failure) {
        case RunFailure::None:
        case RunFailure::ResetFailed:
            outcome.blocks = kBlocks;
            break;
        case RunFailure::CompileRefused:
        case RunFailure::ModuleNotFound:
            break;
        case RunFailure::BlockFailed:
        case RunFailure::Stopped:
            outcome.blocks = result.block;
            outcome.block = result.block;
            break;
        case RunFailure::PortLost:
            // The step it went in: no reset was tried when detection failed, and a reset after a
            // complete write follows all 512 blocks.
            if (result.resetSent) {
                outcome.blocks = result.block;
                if (result.block < kBlocks) {
                    outcome.block = result.block;
                }
            }
            break;
    }
    return outcome;
}

std::string Outcome_Text(const RunOutcome& o) {
    const int blocks = std::clamp(o.blocks, 0, kBlocks);
    switch (o.failure) {
        case RunFailure::None:
            return "Programmazione completata: " + std::to_string(kMemoryImageSize) + " byte in " +
                   platform::Decimal_Text(o.seconds, 1) + " s";
        case RunFailure::CompileRefused:
            return "Immagine non compilata: il modulo non è stato contattato";
        case RunFailure::ModuleNotFound:
            return "Modulo non trovato: verificare la connessione";
        case RunFailure::BlockFailed:
            return "Scrittura fallita al " + Block_Text("blocco", o.block.value_or(blocks)) +
                   ": il modulo non ha confermato";
        case RunFailure::ResetFailed:
            // The memory holds the whole image: no block to name.
            return "Memoria scritta, ma il reset del PIC non ha risposto";
        case RunFailure::Stopped:
            if (o.block) {
                return "Interrotto dall'operatore al " + Block_Text("blocco", *o.block);
            }
            return blocks < kBlocks ? "Interrotto dall'operatore durante la ricerca del modulo"
                                    : "Interrotto dall'operatore durante il reset del PIC: "
                                      "memoria scritta";
        case RunFailure::PortLost: {
            std::string text =
                o.block
                    ? "Porta persa al " + Block_Text("blocco", *o.block) + ": scrittura incompleta"
                : blocks < kBlocks ? std::string("Porta persa durante la ricerca del modulo")
                                   : std::string(
                                         "Memoria scritta, ma porta persa durante il "
                                         "reset del PIC");
            if (!o.why.empty()) {
                text += ". " + One_Line(o.why);
            }
            return text;
        }
    }
    return {};
}

std::optional<int> Seconds_Left(int block, std::uint64_t writingMs) {
    if (block < kPaceBlocks || block >= kBlocks) {
        return std::nullopt;
    }
    const std::uint64_t leftMs =
        writingMs * static_cast<std::uint64_t>(kBlocks - block) / static_cast<std::uint64_t>(block);
    return static_cast<int>((leftMs + 999) / 1000);
}

std::string Seconds_Left_Text(int seconds) {
    return "circa " + std::to_string(seconds) + " s al termine";
}

}  // namespace lcdprog
