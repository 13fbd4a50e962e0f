#pragma once

// The serial window's view of a run: the packet counters, the trace and the progress bar, written
// from the run's events exactly as the operator knows them. No widgets here: the controls are
// reached through platform/, so the tests watch the same view on fakes.

#include <string>
#include <string_view>

#include "link/run_events.h"
#include "platform/controls.h"

namespace lcdprog {

class RunStatus;

// Trace lines: "0x87; 0x00; 0x78" + CR LF.
std::string Trace_Line(std::string_view bytes);
// The request just sent replaces the trace, in blue.
void Spy_Send_Packet(platform::RichTextControl& spy, std::string_view packet);
// The reply (what arrived, maybe nothing) goes below it, in red.
void Spy_Received_Packet(platform::RichTextControl& spy, std::string_view buffer);
// Adds one to a counter box holding a signed 16-bit decimal number.
void Increment_Counter(platform::TextControl& counter);

// One subscriber for the counters, the trace, the bar and (when given) the status line.
class ControlsView final : public RunObserver {
  public:
    ControlsView(platform::TextControl& sendCounter, platform::TextControl& receivedCounter,
                 platform::RichTextControl& spy, platform::ProgressControl& progress,
                 RunStatus* status = nullptr)
        : sendCounter_(sendCounter),
          receivedCounter_(receivedCounter),
          spy_(spy),
          progress_(progress),
          status_(status) {}

    void Phase_Changed(RunPhase phase) override;
    void Block_Started(int k) override;
    void Packet_Sent(std::string_view bytes) override;
    void Reply_Received(std::string_view bytes, bool valid) override;
    void Run_Ended(const RunResult& result) override;

  private:
    platform::TextControl& sendCounter_;      // txt_Send_Packet
    platform::TextControl& receivedCounter_;  // txt_Received_Packet
    platform::RichTextControl& spy_;          // rtb_RS232_SPY
    platform::ProgressControl& progress_;     // pgb_RS232
    RunStatus* status_;                       // lbl_Stato's words, or none
    RunPhase phase_ = RunPhase::Detection;
};

}  // namespace lcdprog
