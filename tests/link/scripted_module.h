#pragma once

// A module on a virtual line: a script answers each packet written with bytes and actions (such as
// pressing Stop) due later on a virtual clock, so nothing here ever waits for real.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "link/mod_RS232.h"
#include "support/fakes.h"

namespace lcdprog::test {

// Something that happens `afterMs` after the packet that caused it was written.
struct Arrival {
    std::uint32_t afterMs = 0;
    std::string bytes;             // delivered through the serial control when not empty
    std::function<void()> action;  // run in the same yield, after the bytes
};

// What the module does with the index-th packet (counted from 0 over the whole test).
using Script = std::function<std::vector<Arrival>(const std::string& packet, std::size_t index)>;

class VirtualPump : public platform::EventPump {
  public:
    VirtualPump(VirtualClock& clock, FakeSerialControl& serial) : clock_(clock), serial_(serial) {}
    struct YieldRecord {
        std::uint32_t maxWaitMs;
        std::uint64_t at;  // virtual time when the yield began
    };
    // Runs what is due, otherwise sleeps until the next arrival or the limit, like the real pump.
    void Yield(std::uint32_t maxWaitMs) override;
    std::uint64_t Now() const { return now_; }  // virtual ms since construction; no wrap
    void Schedule(std::uint64_t at, Arrival arrival) { due_.emplace(at, std::move(arrival)); }

    std::vector<YieldRecord> yields;
    std::function<void(std::uint32_t maxWaitMs)> onYield;  // runs first in every yield

  private:
    VirtualClock& clock_;
    FakeSerialControl& serial_;
    std::uint64_t now_ = 0;
    std::multimap<std::uint64_t, Arrival> due_;
};

// Everything the link operations drive, wired together, with an open port.
class ScriptedLink {
  public:
    explicit ScriptedLink(Script script = {});
    ScriptedLink(const ScriptedLink&) = delete;
    ScriptedLink& operator=(const ScriptedLink&) = delete;

    LinkIo Io() {
        return LinkIo{serial, clock, pump, messages, sendCounter, receivedCounter, spy, progress};
    }

    struct Sent {
        std::uint64_t at;
        std::string packet;
    };

    Script script;
    VirtualClock clock;
    FakeSerialControl serial;
    VirtualPump pump{clock, serial};
    FakeMessageBox messages;
    FakeTextControl sendCounter;
    FakeTextControl receivedCounter;
    FakeRichTextControl spy;
    FakeProgressControl progress;
    std::vector<Sent> sent;
};

}  // namespace lcdprog::test
