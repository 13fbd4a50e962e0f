// The virtual module's engine on made-up times. How each fault shapes a programming run is the
// fault matrix's business (tests/link); here what the link tests never send: several frames in
// one read, frames in pieces and cut short, invalid frames, faults placed by packet number and
// limited in number, and attempts counted per target.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim_module.h"
#include "sim_test_util.h"

namespace lcdsim {

void PrintTo(const Action& a, std::ostream* os) {
    *os << (a.kind == Action::Kind::HangUp ? "hangup" : Hex_Bytes(a.bytes, 300)) << " at +"
        << a.due;
}

namespace test {
namespace {

constexpr Nanos kStart = 1'000'000'000;
constexpr Nanos kMs = kMillisecond;
// 115200 baud, 10 bits a byte, rounded to the nanosecond.
constexpr Nanos k3Bytes = 260417, k7Bytes = 607639;

const Bytes kDetectReply = {0x87, 0x04, 0x4C, 0x53, 0x49, 0x4D, 0x3F};  // "LSIM"
const Bytes kWriteAck = {0x04, 0x00, 0xFB};

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

ModuleConfig With_Faults(const std::vector<const char*>& texts) {
    ModuleConfig config;
    for (const char* text : texts) {
        std::string error;
        auto fault = Parse_Fault(text, error);
        EXPECT_TRUE(fault) << error;
        config.faults.push_back(fault.value_or(Fault{}));
    }
    return config;
}

// One request every 10 s; each step lists what the module sends back (due relative to it).
TEST(SimModule, RepliesTheirPacingAndFaultsPlacedByPacketCountAndAttempt) {
    const Action detectOk = Send(k7Bytes, kDetectReply);
    const Action ackOk = Send(5 * kMs + k3Bytes, kWriteAck);
    const Action resetOk = Send(k3Bytes, kReset);
    const struct {
        std::vector<const char*> faults;
        std::vector<std::pair<Bytes, std::vector<Action>>> steps;
    } cases[] = {
        {{}, {{kDetect, {detectOk}}, {Block(3), {ackOk}}, {kReset, {resetOk}}}},
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
    };
    for (const auto& c : cases) {
        Module module(With_Faults(c.faults));
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE((c.faults.size() ? *c.faults.begin() : "no fault") +
                         std::string(", step ") + std::to_string(i + 1));
            EXPECT_EQ(
                Exchange(module, kStart + static_cast<Nanos>(i) * 10000 * kMs, c.steps[i].first),
                c.steps[i].second);
        }
        EXPECT_EQ(module.Next_Deadline(), std::nullopt);
    }
}

TEST(SimModule, InvalidFramesGetNoReplyChangeNothingAndLeaveItInStep) {
    Bytes badWrite = Write_Packet(0x0100);
    badWrite.back() ^= 0x01;
    const std::pair<Bytes, const char*> cases[] = {
        {badWrite, "wrong checksum 0x77 (0x76 expected)"},
        {{0x33, 0x00, 0xCC}, "unknown command 0x33"},
        {{0x87, 0x01, 0x00, 0x77}, "length 1 does not fit command 0x87"},
        {Write_Packet(0xFF81), "write address 0x0000FF81 out of range"},
    };
    for (const auto& [frame, cause] : cases) {
        SCOPED_TRACE(cause);
        Module module({});
        std::string log;
        module.Set_Logger([&](Nanos, const std::string& line) { log += line + "\n"; });
        EXPECT_TRUE(Exchange(module, kStart, frame).empty());
        EXPECT_NE(log.find(cause), std::string::npos) << log;
        EXPECT_EQ(module.Stats().rejected, 1);
        EXPECT_EQ(std::count(module.Memory().begin(), module.Memory().end(), 0xFF), 65536);
        EXPECT_EQ(Exchange(module, kStart + 1000 * kMs, kDetect),
                  std::vector<Action>{Send(k7Bytes, kDetectReply)});
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
        EXPECT_EQ(module.Stats().droppedPartial, c.dropped ? 1 : 0);
        EXPECT_EQ(module.Take_Due(kStart + 5000 * kMs).size(), c.dropped ? 1u : 0u);
    }
}

// A write is stored even when its acknowledgement is lost; the log says why it got none.
TEST(SimModule, AWriteIsStoredEvenWhenItsAcknowledgementIsLost) {
    Module module(With_Faults({"noanswer:block=1"}));
    std::vector<std::string> log;
    module.Set_Logger([&](Nanos, const std::string& line) { log.push_back(line); });
    Exchange(module, kStart, Write_Packet(0xFF80, 0, 1));  // the last block fits
    EXPECT_TRUE(Exchange(module, kStart + 1000 * kMs, Write_Packet(0x0080, 0xAB)).empty());
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(module.Memory()[0x0080 + i], 0xAB);
        EXPECT_EQ(module.Memory()[0xFF80 + i], i);
    }
    EXPECT_EQ(std::vector(log.end() - 3, log.end()),
              (std::vector<std::string>{"rx #2 write block 1 at 0x0080, attempt 1: 04 84 00 00 00 "
                                        "80 AB AB AB AB AB AB AB AB .. AB 77 (135 bytes)",
                                        "fault #1 on #2: noanswer:block=1", "#2 gets no reply"}));
}

}  // namespace
}  // namespace test
}  // namespace lcdsim
