#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace lcdprog {

// How a programming run ended, as the serial window's command handler saw it.
enum class RunEnding {
    Done,           // written and reset
    CompileFailed,  // a picture could not be read: the module was not contacted
    NoModule,       // detection got no valid reply
    WriteFailed,    // a block was not acknowledged (the reset was still sent)
    Stopped,        // the operator pressed Stop while blocks went out
    ResetFailed,    // written, but the reset got no valid reply
};

// The status line's text, in the operator's words: the window's state and the course of a run.
// The command handler tells it the steps of the run; the blocks come from the values the link
// gives the progress bar. It knows nothing of widgets: every new text goes to `show`.
class RunStatus {
  public:
    static constexpr int kBlocks = 512;

    explicit RunStatus(std::function<void(const std::string&)> show) : show_(std::move(show)) {}

    // Any text of the window's own (ready, port open, port lost, ...).
    void Say(const std::string& text);
    void Run_Started(std::uint32_t nowMs);
    void Looking_For_Module();
    void Writing_Started(std::uint32_t nowMs);
    // The bar's value: block `value` (from 0) is about to go out, `value` blocks are written.
    void Block(int value, std::uint32_t nowMs);
    void Run_Ended(RunEnding ending, std::uint32_t nowMs);

    const std::string& Text() const { return text_; }

  private:
    std::function<void(const std::string&)> show_;
    std::string text_;
    bool writing_ = false;
    std::uint32_t runStartMs_ = 0;
    std::uint32_t writeStartMs_ = 0;
    int block_ = 0;
};

}  // namespace lcdprog
