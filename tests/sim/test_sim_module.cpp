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
constexpr Nanos kByte = 86806, k2Bytes = 173611, k3Bytes = 260417, k4Bytes = 347222,
                k5Bytes = 434028, k7Bytes = 607639;

const Bytes kDetectReply = {0x87, 0x04, 0x4C, 0x53, 0x49, 0x4D, 0x3F};  // "LSIM"
const Bytes kWriteAck = {0x04, 0x00, 0xFB};

Action Send(Nanos due, Bytes bytes) {
    return {Action::Kind::Send, due, std::move(bytes)};
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
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
struct Step {
    Bytes request;
    std::vector<Action> actions;
};

TEST(SimModule, RepliesPacingAndEveryFaultAtItsChosenPlace) {
    const Action detectOk = Send(k7Bytes, kDetectReply);
    const Action ackOk = Send(5 * kMs + k3Bytes, kWriteAck);
    const Action resetOk = Send(k3Bytes, kReset);
    const Action hangUp{Action::Kind::HangUp, 0, {}};
    const struct {
        std::vector<const char*> faults;
        std::vector<Step> steps;
        long baud = 115200;
        Nanos pageTime = 5 * kMs;
    } cases[] = {
        {{}, {{kDetect, {detectOk}}, {Block(3), {ackOk}}, {kReset, {resetOk}}}},
        {{}, {{Cat(kDetect, kReset), {detectOk, Send(k7Bytes + k3Bytes, kReset)}}}},
        {{},
         {{kDetect, {Send(7291667, kDetectReply)}}, {Block(0), {Send(15125000, kWriteAck)}}},
         9600,
         12 * kMs},
        {{"noanswer:detect=1"}, {{kDetect, {}}, {kDetect, {detectOk}}}},
        {{"badsum:detect"},
         {{kDetect, {Send(k7Bytes, {0x87, 0x04, 0x4C, 0x53, 0x49, 0x4D, 0xC0})}}}},
        {{"badcmd:block=0"}, {{Block(0), {Send(5 * kMs + k3Bytes, {0x05, 0x00, 0xFA})}}}},
        {{"short:reset"}, {{kReset, {Send(k2Bytes, {0xFE, 0x00})}}}},
        {{"split:detect"},
         {{kDetect,
           {Send(k3Bytes, {0x87, 0x04, 0x4C}),
            Send(k3Bytes + 10 * kMs + k4Bytes, {0x53, 0x49, 0x4D, 0x3F})}}}},
        {{"split=0:block"},
         {{Block(9),
           {Send(5 * kMs + kByte, {0x04}), Send(5 * kMs + kByte + k2Bytes, {0x00, 0xFB})}}}},
        {{"extra=2:reset"}, {{kReset, {Send(k5Bytes, {0xFE, 0x00, 0x01, 0xAA, 0xAA})}}}},
        {{"late=3500:reset=1"},
         {{kReset, {Send(3500 * kMs + k3Bytes, kReset)}}, {kReset, {resetOk}}}},
        // A late reply holds back the retry's reply behind it.
        {{"late=4000:block=7,attempt=1"},
         {{Cat(Block(7), Block(7)),
           {Send(4005 * kMs + k3Bytes, kWriteAck), Send(4005 * kMs + 2 * k3Bytes, kWriteAck)}}}},
        // Silence outlasts a hang-up; the hang-up cancels a reply still due.
        {{"silent:packet=2", "hangup:packet=3"},
         {{kDetect, {detectOk}}, {kDetect, {}}, {kDetect, {hangUp}}, {kReset, {}}}},
        {{"late=1000:packet=1", "hangup:packet=2"},
         {{Cat(kDetect, kDetect), {hangUp}}, {kDetect, {detectOk}}}},
        // Attempts count per target; any other request starts the count again.
        {{"noanswer:block=7,attempt=2"},
         {{Block(7), {ackOk}}, {Block(8), {ackOk}}, {Block(7), {ackOk}}, {Block(7), {}}}},
        {{"noanswer:block"}, {{kDetect, {detectOk}}, {Block(0), {}}, {kReset, {resetOk}}}},
        {{"noanswer:packet=3"},
         {{kDetect, {detectOk}}, {Block(0), {ackOk}}, {Block(1), {}}, {Block(1), {ackOk}}}},
        {{"noanswer:times=2"}, {{kDetect, {}}, {kReset, {}}, {kDetect, {detectOk}}}},
    };
    for (const auto& c : cases) {
        ModuleConfig config = With_Faults(c.faults);
        config.baud = c.baud;
        config.pageTime = c.pageTime;
        Module module(config);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE((c.faults.size() ? *c.faults.begin() : "no fault") +
                         std::string(", step ") + std::to_string(i + 1));
            EXPECT_EQ(
                Exchange(module, kStart + static_cast<Nanos>(i) * 10000 * kMs, c.steps[i].request),
                c.steps[i].actions);
        }
        EXPECT_EQ(module.Next_Deadline(), std::nullopt);
    }
}

TEST(SimModule, InvalidFramesGetNoReplyChangeNothingAndLeaveItInStep) {
    Bytes badWrite = Write_Packet(0x0100);
    badWrite.back() ^= 0x01;
    const struct {
        Bytes frame;
        std::string log;  // its beginning
    } cases[] = {
        {badWrite, "rx #1 no reply, wrong checksum 0x77 (0x76 expected): 04 84 00 00 01 00 00"},
        {{0x87, 0x00, 0x79}, "rx #1 no reply, wrong checksum 0x79 (0x78 expected): 87 00 79"},
        {{0x33, 0x00, 0xCC}, "rx #1 no reply, unknown command 0x33: 33 00 CC"},
        {{0x87, 0x01, 0x00, 0x77},
         "rx #1 no reply, length 1 does not fit command 0x87: 87 01 00 77"},
        {Write_Packet(0xFF81), "rx #1 no reply, write address 0x0000FF81 out of range: 04 84"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        Module module({});
        std::vector<std::string> log;
        module.Set_Logger([&](Nanos, const std::string& line) { log.push_back(line); });
        EXPECT_TRUE(Exchange(module, kStart, c.frame).empty());
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].rfind(c.log, 0), 0u) << log[0];
        EXPECT_EQ(module.Stats().rejected, 1);
        EXPECT_EQ(std::count(module.Memory().begin(), module.Memory().end(), 0xFF), 65536);
        EXPECT_EQ(Exchange(module, kStart + 1000 * kMs, kDetect),
                  std::vector<Action>{Send(k7Bytes, kDetectReply)});
    }
}

TEST(SimModule, PartialFrameDroppedOnceTheGapHasPassed) {
    const struct {
        Nanos gap, pause;
        bool tick;      // the owner asks for due work at the end of the pause
        bool answered;  // the detection request after the pause is taken as a fresh frame
    } cases[] = {
        {50 * kMs, 50 * kMs, false, true}, {50 * kMs, 49 * kMs, false, false},
        {50 * kMs, 50 * kMs, true, true},  {20 * kMs, 20 * kMs, false, true},
        {0, 3000 * kMs, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.gap << " " << c.pause << " " << c.tick);
        ModuleConfig config;
        config.frameGap = c.gap;
        Module module(config);
        module.Receive(kStart, Bytes{0x04, 0x84, 0x00, 0x00});
        EXPECT_EQ(module.Next_Deadline(), c.gap ? std::optional(kStart + c.gap) : std::nullopt);
        if (c.tick) {
            EXPECT_TRUE(module.Take_Due(kStart + c.pause).empty());
        }
        module.Receive(kStart + c.pause, kDetect);
        EXPECT_EQ(module.Stats().droppedPartial, c.answered ? 1 : 0);
        EXPECT_EQ(module.Take_Due(kStart + c.pause + 1000 * kMs).size(), c.answered ? 1u : 0u);
    }
}

TEST(SimModule, RequestInPiecesIsTimedFromItsLastByte) {
    Module module({});
    const Bytes packet = Block(2);
    module.Receive(kStart, std::span(packet).first(1));
    module.Receive(kStart + 3 * kMs, std::span(packet).subspan(1, 100));
    EXPECT_EQ(module.Next_Deadline(), kStart + 53 * kMs);
    module.Receive(kStart + 7 * kMs, std::span(packet).subspan(101));
    EXPECT_EQ(module.Take_Due(kStart + 100 * kMs),
              std::vector<Action>{Send(kStart + 12 * kMs + k3Bytes, kWriteAck)});
}

// A write is stored even when its acknowledgement is lost; the log names every packet.
TEST(SimModule, SessionStoresEveryWriteAndLogsEachPacket) {
    Module module(With_Faults({"noanswer:block=1,attempt=2"}));
    std::vector<std::string> log;
    module.Set_Logger([&](Nanos, const std::string& line) { log.push_back(line); });
    const Bytes requests[] = {kDetect, Write_Packet(0x0080, 0xAB), Write_Packet(0x0080, 0xAB),
                              Write_Packet(0xFF80, 0, 1), kReset};
    for (int i = 0; i < 5; ++i) {
        Exchange(module, kStart + i * 1000 * kMs, requests[i]);
    }
    Eeprom expected;
    expected.fill(0xFF);
    for (int i = 0; i < 128; ++i) {
        expected[0x0080 + i] = 0xAB;
        expected[0xFF80 + i] = static_cast<std::uint8_t>(i);
    }
    EXPECT_TRUE(module.Memory() == expected);
    const std::string block1 = ": 04 84 00 00 00 80 AB AB AB AB AB AB AB AB .. AB 77 (135 bytes)";
    const std::vector<std::string> expectedLog = {
        "rx #1 detect, attempt 1: 87 00 78",
        "tx 87 04 4C 53 49 4D 3F",
        "rx #2 write block 1 at 0x0080, attempt 1" + block1,
        "tx 04 00 FB",
        "rx #3 write block 1 at 0x0080, attempt 2" + block1,
        "fault #1 on #3: noanswer:block=1,attempt=2",
        "#3 gets no reply",
        "rx #4 write block 511 at 0xFF80, attempt 1: 04 84 00 00 FF 80 00 01 02 03 04 05 06 07 .. "
        "7F 38 (135 bytes)",
        "tx 04 00 FB",
        "rx #5 reset, attempt 1 (reset number 1): FE 00 01",
        "tx FE 00 01",
    };
    EXPECT_EQ(log, expectedLog);
}

}  // namespace
}  // namespace test
}  // namespace lcdsim
