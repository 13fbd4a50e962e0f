#pragma once

// The virtual module's own engine (lcdsim::Module, the one lcdprog-sim runs) on a virtual clock.
// The line is itself the event pump: a yield jumps, in virtual time, to the next reply, the next
// scheduled action or its deadline, delivering replies through the receive notification as the
// real control does, so a whole run of 514 exchanges takes milliseconds and never waits for real.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "link/mod_RS232.h"
#include "link/run_events.h"
#include "serial_window/controls_view.h"
#include "sim_module.h"
#include "support/fakes.h"

namespace lcdprog::test {

// `faults` in lcdprog-sim's own --fault syntax ("noanswer:block=100,attempt=3"), added to
// `config`; a fault that does not parse throws.
lcdsim::ModuleConfig With_Faults(const std::vector<std::string>& faults,
                                 lcdsim::ModuleConfig config = {});

class SimLine : public platform::EventPump {
  public:
    explicit SimLine(const std::vector<std::string>& faults = {}, lcdsim::ModuleConfig config = {});
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // A new module behind the line (blank EEPROM, these faults), as if another was plugged in.
    void Replace_Module(const std::vector<std::string>& faults);
    // "COM 1" holds the module; the port starts closed, as before a window's probe.
    void Open() { serial.SetPortOpen(true); }
    // The run reports to `feed`, which the serial window's view of the fake controls below
    // subscribes to first.
    LinkIo Io() { return LinkIo{state, serial, clock, *this, messages, feed}; }
    void Yield(std::uint32_t maxWaitMs) override;

    std::uint64_t Now() const { return nowMs_; }  // virtual ms since construction; no wrap
    // Runs `action` inside the first yield that reaches `atMs` (an operator's click, say).
    void At(std::uint64_t atMs, std::function<void()> action) {
        actions_.emplace(atMs, std::move(action));
    }
    struct Sent {
        std::uint64_t at;
        std::string packet;
    };

    ProgramState state;  // the link's variables, fresh for every line
    lcdsim::Module module;
    bool connected = true;  // false: the line leads nowhere
    VirtualClock clock;
    FakeSerialControl serial;
    FakeMessageBox messages;
    FakeTextControl sendCounter;
    FakeTextControl receivedCounter;
    FakeRichTextControl spy;
    FakeProgressControl progress;
    ControlsView view{sendCounter, receivedCounter, spy, progress};
    RunFeed feed;
    std::vector<Sent> sent;
    std::vector<std::uint32_t> yields;                      // the limit of every yield, in order
    std::function<void(std::uint32_t maxWaitMs)> onYield;   // runs first in every yield
    std::function<void(const std::string& packet)> onSent;  // after each packet is written

  private:
    std::uint64_t nowMs_ = 0;
    bool hungUp_ = false;
    std::multimap<std::uint64_t, std::function<void()>> actions_;
};

}  // namespace lcdprog::test
