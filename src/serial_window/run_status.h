#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/programming_run.h"

namespace lcdprog {

// The status line's text, in the operator's words: the window's state and the course of a run.
// It learns the run's course from what the run reports: the start and the result from the
// command handler, the steps from the values the link gives the progress bar (detection empties
// the bar, then the EEPROM run sets it to each block before sending it). It knows nothing of
// widgets: every new text goes to `show`.
class RunStatus {
  public:
    explicit RunStatus(std::function<void(const std::string&)> show) : show_(std::move(show)) {}

    // Any text of the window's own (ready, port open, port lost, ...); ends a run's course.
    void Say(const std::string& text);
    void Run_Started(std::uint32_t nowMs);
    // The bar's value during a run: block `value` (from 0) is about to go out.
    void Progress(int value, std::uint32_t nowMs);
    void Run_Ended(const RunResult& result, std::uint32_t nowMs);

    const std::string& Text() const { return text_; }

  private:
    enum class Phase { Idle, Compiling, Detecting, Writing };

    void Show(const std::string& text);

    std::function<void(const std::string&)> show_;
    std::string text_;
    Phase phase_ = Phase::Idle;
    std::uint32_t runStartMs_ = 0;
    std::uint32_t writeStartMs_ = 0;
    int block_ = 0;
};

}  // namespace lcdprog
