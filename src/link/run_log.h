#pragma once

// A programming run told as log lines by its events, for whoever keeps a log (the port's process
// of lcdprog-cli, the serial window): the steps, a quarter of the blocks at a time, every
// repeated attempt, the end and, for a failure, its kind as the record names it. Enough to
// follow a run in a bug report without flooding it. The lines go to a sink: the link knows no
// log of its own.

#include <functional>
#include <string>
#include <string_view>

#include "link/run_events.h"

namespace lcdprog {

class RunLog final : public RunObserver {
  public:
    enum class Level { Detail, Step, Failure };
    using Sink = std::function<void(Level, const std::string&)>;

    // `port` starts every line, so that the lines of several ports can be told apart.
    RunLog(std::string port, Sink sink) : port_(std::move(port)), sink_(std::move(sink)) {}

    void Phase_Changed(RunPhase phase) override;
    void Block_Started(int k) override;
    void Attempt(int n) override;
    void Reply_Received(std::string_view bytes, bool valid) override;
    void Run_Ended(const RunResult& result) override;

  private:
    void Say(Level level, const std::string& text) const { sink_(level, port_ + ": " + text); }

    const std::string port_;
    const Sink sink_;
    RunPhase phase_ = RunPhase::Detection;
    int block_ = 0;
};

}  // namespace lcdprog
