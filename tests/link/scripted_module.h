#pragma once

// A module on a virtual line: every packet the link writes is shown to a script, which answers
// with bytes (and actions such as pressing Stop) due a chosen number of virtual milliseconds
// later. The event pump moves the virtual clock straight to the next thing that is due, or by
// the whole time it was allowed to sleep, so nothing here ever waits for real.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
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
    explicit VirtualPump(VirtualClock& clock, FakeSerialControl& serial)
        : clock_(clock), serial_(serial) {}

    struct YieldRecord {
        std::uint32_t maxWaitMs;
        std::uint64_t at;  // virtual time when the yield began
    };

    void Yield(std::uint32_t maxWaitMs) override;

    // Virtual milliseconds since construction; the clock itself wraps at 2^32.
    std::uint64_t Now() const { return now_; }
    void Schedule(std::uint64_t at, Arrival arrival);
    bool Idle() const { return due_.empty(); }

    std::vector<YieldRecord> yields;
    std::function<void(std::uint32_t maxWaitMs)> onYield;  // runs first in every yield

  private:
    void Advance(std::uint64_t to);

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

    LinkIo Io();

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

// The module's correct answers.
std::string Detection_Reply();        // 87 04 41 42 43 44 6A
std::string Write_Acknowledgement();  // 04 00 FB
std::string Reset_Acknowledgement();  // FE 00 01

// Answers every request correctly, `delayMs` after it was written.
Script Answer_Everything(std::uint32_t delayMs = 0);

// The write packet of block n as it must appear on the line.
std::string Expected_Write_Packet(std::size_t block);

}  // namespace lcdprog::test
