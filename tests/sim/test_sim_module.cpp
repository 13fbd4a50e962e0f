// lcdprog-sim: what the link tests and the fault matrix never send its engine (several frames in
// one read, frames cut short, invalid frames, faults placed by packet number, limited in number,
// by attempt). The program itself is run on a pseudo-terminal by tests/e2e.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim_module.h"
#include "support/sim_line.h"

namespace lcdsim {

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr Nanos kStart = 1'000'000'000;
constexpr Nanos kMs = kMillisecond;
// 115200 baud, 10 bits a byte, rounded to the nanosecond.
constexpr Nanos k3Bytes = 260417, k7Bytes = 607639;

const Bytes kDetect = {0x87, 0x00, 0x78};
const Bytes kReset = {0xFE, 0x00, 0x01};
const Bytes kDetectReply = {0x87, 0x04, 0x4C, 0x53, 0x49, 0x4D, 0x3F};  // "LSIM"
const Bytes kWriteAck = {0x04, 0x00, 0xFB};

// A write request for `address` whose 128 data bytes are all `fill`.
Bytes Write_Packet(std::uint32_t address, std::uint8_t fill = 0) {
    Bytes p = {0x04, 0x84};
    for (int shift = 24; shift >= 0; shift -= 8) {
        p.push_back(static_cast<std::uint8_t>(address >> shift));
    }
    p.insert(p.end(), 128, fill);
    p.push_back(Checksum(p));
    return p;
}

// Writes of the blank pattern, so that any other byte in the EEPROM is a write that went wrong.
Bytes Block(int n) {
    return Write_Packet(static_cast<std::uint32_t>(n) * 128, 0xFF);
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Action Send(Nanos due, Bytes bytes) {
    return {Action::Kind::Send, due, std::move(bytes)};
}

// What the module does within 5 s of the request, due times relative to its arrival.
std::vector<Action> Exchange(Module& module, Nanos at, const Bytes& request) {
    module.Receive(at, request);
    auto actions = module.Take_Due(at + 5000 * kMs);
    for (auto& a : actions) {
        a.due -= at;
    }
    return actions;
}

// One request every 10 s; each step lists what the module sends back (due relative to it).
TEST(SimModule, RepliesTheirPacingAndFaultsPlacedByPacketCountAndAttempt) {
    const Action detectOk = Send(k7Bytes, kDetectReply);
    const Action ackOk = Send(5 * kMs + k3Bytes, kWriteAck);
    Bytes badSum = Write_Packet(0x0100);
    badSum.back() ^= 0x01;
    const struct {
        std::vector<std::string> faults;
        std::vector<std::pair<Bytes, std::vector<Action>>> steps;
    } cases[] = {
        // Two frames in one read; a reply starts once the one before it has left.
        {{}, {{Cat(kDetect, kReset), {detectOk, Send(k7Bytes + k3Bytes, kReset)}}}},
        // The hang-up cancels a reply still due.
        {{"late=1000:packet=1", "hangup:packet=2"},
         {{Cat(kDetect, kDetect), {{Action::Kind::HangUp, 0, {}}}}, {kDetect, {detectOk}}}},
        // Attempts count per target; any other request starts the count again.
        {{"noanswer:block=7,attempt=2"},
         {{Block(7), {ackOk}}, {Block(8), {ackOk}}, {Block(7), {ackOk}}, {Block(7), {}}}},
        {{"noanswer:packet=3"},
         {{kDetect, {detectOk}}, {Block(0), {ackOk}}, {Block(1), {}}, {Block(1), {ackOk}}}},
        {{"noanswer:times=2"}, {{kDetect, {}}, {kReset, {}}, {kDetect, {detectOk}}}},
        // Invalid frames get no reply, change nothing and leave the module in step.
        {{}, {{badSum, {}}, {Write_Packet(0xFF81), {}}, {kDetect, {detectOk}}}},
    };
    for (const auto& c : cases) {
        Module module(lcdprog::test::With_Faults(c.faults));
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE((c.faults.empty() ? "no fault" : c.faults[0]) + ", step " +
                         std::to_string(i + 1));
            EXPECT_EQ(
                Exchange(module, kStart + static_cast<Nanos>(i) * 10000 * kMs, c.steps[i].first),
                c.steps[i].second);
        }
        EXPECT_EQ(module.Next_Deadline(), std::nullopt);
        EXPECT_EQ(std::count(module.Memory().begin(), module.Memory().end(), 0xFF), 65536);
    }
}

// A frame cut short is dropped once no byte has come for the gap, counted from its last byte.
TEST(SimModule, PartialFrameDroppedOnceTheGapHasPassedSinceItsLastByte) {
    const struct {
        Nanos gap, pause;
        bool dropped;  // and the detection request after it answered as a fresh frame
    } cases[] = {{50 * kMs, 50 * kMs, true}, {50 * kMs, 49 * kMs, false}, {0, 3000 * kMs, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.gap << " " << c.pause);
        ModuleConfig config;
        config.frameGap = c.gap;
        Module module(config);
        module.Receive(kStart, Bytes{0x04, 0x84, 0x00});
        module.Receive(kStart + c.pause / 2, Bytes{0x00});
        module.Receive(kStart + c.pause / 2 + c.pause, kDetect);
        EXPECT_EQ(module.Take_Due(kStart + 5000 * kMs).size(), c.dropped ? 1u : 0u);
    }
}

}  // namespace
}  // namespace lcdsim
