#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/run_events.h"
#include "platform/clock.h"

namespace lcdprog {

// The status line's text, in the operator's words: the window's state and the course of a run.
// The command handler says when a run starts (the compile); the steps and the end come from the
// run's events, with the time read from `clock`. It knows nothing of widgets: every new text goes
// to `show`.
class RunStatus final : public RunObserver {
  public:
    RunStatus(std::function<void(const std::string&)> show, platform::Clock& clock)
        : show_(std::move(show)), clock_(clock) {}

    // Any text of the window's own (ready, port open, port lost, ...); ends a run's course.
    void Say(const std::string& text);
    void Run_Started();
    void Phase_Changed(RunPhase phase) override;
    void Block_Started(int k) override;
    void Run_Ended(const RunResult& result) override;

    const std::string& Text() const { return text_; }

  private:
    enum class Phase { Idle, Compiling, Detecting, Writing };

    void Show(const std::string& text);

    std::function<void(const std::string&)> show_;
    platform::Clock& clock_;
    std::string text_;
    Phase phase_ = Phase::Idle;
    std::uint32_t runStartMs_ = 0;
    std::uint32_t writeStartMs_ = 0;
};

}  // namespace lcdprog
