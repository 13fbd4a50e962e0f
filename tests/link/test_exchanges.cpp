// Detection, the EEPROM run and reset against a scripted module on the virtual clock.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/mod_RS232.h"
#include "link/mod_RS232_COD.h"
#include "link/scripted_module.h"
#include "state/mod_variabili.h"

namespace lcdprog::test {
namespace {

const std::string kDetectionReply("\x87\x04\x41\x42\x43\x44\x6A", 7);
const std::string kWriteAck("\x04\x00\xFB", 3);
const std::string kResetAck("\xFE\x00\x01", 3);
const std::string kDetectionLine = "0x87; 0x00; 0x78\r\n";
const std::string kResetLine = "0xFE; 0x00; 0x01\r\n";
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kRed = 0xFF0000;

enum class Op { Find, Write, Reset };

bool Run_Op(Op op, ScriptedLink& link) {
    return op == Op::Find    ? Find_Module(link.Io())
           : op == Op::Write ? Write_EEPROM_I2C(link.Io())
                             : Reset_PIC(link.Io());
}

// Answers every request correctly `delayMs` after it, except packets silentFrom..silentTo-1.
Script Answer_Except(std::size_t silentFrom = 0, std::size_t silentTo = 0,
                     std::uint32_t delayMs = 1) {
    return [=](const std::string& packet, std::size_t index) -> std::vector<Arrival> {
        if (index >= silentFrom && index < silentTo) {
            return {};
        }
        const char c = packet[0];
        return {{delayMs, c == '\x87' ? kDetectionReply : c == '\x04' ? kWriteAck : kResetAck, {}}};
    };
}

// Block n as it must appear on the line, built independently of the run.
std::string Write_Packet(std::size_t n) {
    const std::string head = {'\x00', '\x00', char(n * 128 >> 8), char(n * 128 & 0xFF)};
    return Build_Request(
        COD_WRITE_EEPROM_I2C,
        head + std::string(MemoryImage.begin() + n * 128, MemoryImage.begin() + n * 128 + 128));
}

void Expect_Colors(const FakeRichTextControl& spy, std::size_t blueUpTo) {
    for (std::size_t i = 0; i < spy.text.size(); ++i) {
        ASSERT_EQ(spy.ColorAt(i), i < blueUpTo ? kBlue : kRed) << "character " << i;
    }
}

class Link : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Program_State(); }
    void TearDown() override { Reset_Program_State(); }
};

TEST_F(Link, EveryReplyIsJudgedByCommandByteAndChecksumAtItsPosition) {
    const std::string failure[] = {"Impossibile trovare il modulo, verificare la connessione!",
                                   "Scrittura EEPROM I2C fallita!", "Impossibile resettare PIC!"};
    const struct {
        Op op;
        std::string reply;
        bool valid;
        std::uint32_t firstWaitMs;
    } cases[] = {
        {Op::Find, kDetectionReply, true, 5},
        {Op::Find, std::string("\x87\x04\x41\x42\x43\x44\x6B", 7), false, 5},  // checksum
        {Op::Find, std::string("\x88\x04\x41\x42\x43\x44\x69", 7), false, 5},  // command
        {Op::Find, std::string("\x87\x55\x41\x42\x43\x44\x19", 7), true, 5},   // 2nd byte
        {Op::Find, kDetectionReply + std::string("\x00\x99", 2), true, 5},     // extra bytes
        {Op::Find, kDetectionReply.substr(0, 6), false, 3000},                 // short
        {Op::Find, kDetectionReply + std::string(248, 'x'), true, 5},          // 255 bytes
        {Op::Find, kDetectionReply + std::string(249, 'x'), false, 3000},      // 256 bytes
        {Op::Write, std::string("\x04\x07\xF4", 3), true, 5},
        {Op::Write, std::string("\x05\x00\xFA", 3), false, 5},
        {Op::Write, std::string("\x04\x00\xFA", 3), false, 5},
        {Op::Write, kWriteAck.substr(0, 2), false, 3000},
        {Op::Reset, std::string("\xFE\x10\xF1", 3), true, 5},
        {Op::Reset, kWriteAck, false, 5},
        {Op::Reset, kResetAck.substr(0, 2), false, 3000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Trace_Line(c.reply.substr(0, 9)));
        Reset_Program_State();
        ScriptedLink link([&](const std::string&, std::size_t) -> std::vector<Arrival> {
            return {{5, c.reply, {}}};
        });
        link.sendCounter.text = link.receivedCounter.text = std::string("0");

        EXPECT_EQ(Run_Op(c.op, link), c.valid);

        const std::size_t sends = !c.valid ? 3 : c.op == Op::Write ? 512 : 1;
        ASSERT_EQ(link.sent.size(), sends);
        const std::uint64_t firstWaitEnd = sends > 1 ? link.sent[1].at : link.pump.Now();
        EXPECT_EQ(firstWaitEnd - link.sent[0].at, c.firstWaitMs);
        EXPECT_EQ(link.sendCounter.text, std::to_string(sends));
        EXPECT_EQ(link.receivedCounter.text, std::to_string(sends));
        if (c.valid) {
            EXPECT_TRUE(link.messages.shown.empty());
        } else {
            EXPECT_EQ(link.sent[2].packet, link.sent[0].packet);  // retries resend the same bytes
            EXPECT_EQ(
                link.messages.shown,
                (std::vector<ShownMessage>{
                    {"Comunicazione seriale interrotta.\r\n" + failure[static_cast<int>(c.op)],
                     "ERROR RS232", platform::MessageIcon::Critical}}));
        }
    }
}

TEST_F(Link, DetectionAnsweredAtOnceCountsOneAndOneAndTracesRequestBlueReplyRed) {
    ScriptedLink link(Answer_Except(0, 0, 2));
    link.sendCounter.text = "41";
    link.receivedCounter.text = "40";
    link.spy.SetText("left over\r\n");
    link.progress.value = 300;
    link.pump.onYield = [](std::uint32_t) { StopRequested = true; };  // only the run can stop

    EXPECT_TRUE(Find_Module(link.Io()));

    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].packet, std::string("\x87\x00\x78", 3));
    EXPECT_EQ(link.sendCounter.text, "1");
    EXPECT_EQ(link.receivedCounter.text, "1");
    EXPECT_EQ(link.progress.history, std::vector<int>{0});
    EXPECT_EQ(link.spy.text, kDetectionLine + "0x87; 0x04; 0x41; 0x42; 0x43; 0x44; 0x6A\r\n");
    Expect_Colors(link.spy, kDetectionLine.size());
    EXPECT_EQ(link.spy.selStart, 18);
    EXPECT_EQ(link.spy.selLength, static_cast<int>(link.spy.text.size()));
}

TEST_F(Link, NoModuleMeansThreeFullWaitsThenTheMessage) {
    ScriptedLink link;
    std::uint64_t messageAt = 0;
    std::string traceWhileMessageUp;
    link.messages.onShow = [&] {
        messageAt = link.pump.Now();
        traceWhileMessageUp = link.spy.text;
    };

    EXPECT_FALSE(Find_Module(link.Io()));

    ASSERT_EQ(link.sent.size(), 3u);
    EXPECT_EQ(link.sent[1].at, 3000u);
    EXPECT_EQ(link.sent[2].at, 6000u);
    EXPECT_EQ(messageAt, 9000u);
    EXPECT_EQ(link.pump.yields.size(), 3u);  // each wait is one sleep of 3000 ms: no spinning
    EXPECT_EQ(link.sendCounter.text, "3");
    EXPECT_EQ(link.receivedCounter.text, "3");
    EXPECT_EQ(traceWhileMessageUp, kDetectionLine + "\r\n");
    Expect_Colors(link.spy, kDetectionLine.size());
}

TEST_F(Link, WaitsAreMeasuredModulo2To32WhenTheClockWraps) {
    {
        ScriptedLink link;
        link.clock.now = 0xFFFFF000u;
        EXPECT_FALSE(Find_Module(link.Io()));
        EXPECT_EQ(link.clock.now, 0x00001328u);
        EXPECT_EQ(link.pump.Now(), 9000u);
    }
    Reset_Program_State();
    // The second wait starts 1096 ms before the wrap; its reply is split across it.
    ScriptedLink link([&](const std::string&, std::size_t index) -> std::vector<Arrival> {
        if (index == 0) {
            return {};
        }
        return {{500, kDetectionReply.substr(0, 3), {}}, {2500, kDetectionReply.substr(3), {}}};
    });
    link.clock.now = 0xFFFFF000u;
    EXPECT_TRUE(Find_Module(link.Io()));
    EXPECT_EQ(link.pump.Now(), 5500u);
    EXPECT_EQ(RxBuffer, kDetectionReply);
    EXPECT_EQ(link.pump.yields.back().maxWaitMs, 2500u);  // only what is left of the 3000 ms
}

TEST_F(Link, ResetCountsButDoesNotTraceItsRepliesNorTouchTheProgress) {
    ScriptedLink link(Answer_Except(0, 1, 7));
    link.sendCounter.text = link.receivedCounter.text = std::string("513");
    link.spy.SetText("earlier\r\n");
    link.progress.value = 511;
    link.pump.onYield = [](std::uint32_t) { StopRequested = true; };  // only the run can stop

    EXPECT_TRUE(Reset_PIC(link.Io()));

    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[1].packet, std::string("\xFE\x00\x01", 3));
    EXPECT_EQ(link.sendCounter.text, "515");
    EXPECT_EQ(link.receivedCounter.text, "515");
    EXPECT_EQ(link.spy.text, kResetLine);
    Expect_Colors(link.spy, kResetLine.size());
    EXPECT_TRUE(link.progress.history.empty());
}

TEST_F(Link, WholeRunSendsEveryBlockCountsAndTracesEveryStep) {
    for (std::size_t i = 0; i < MemoryImage.size(); ++i) {
        MemoryImage[i] = static_cast<std::uint8_t>(i * 7 + i / 256 + i / 65);
    }
    ScriptedLink link(Answer_Except());
    // While a wait is on, the trace holds exactly the request just sent, in blue; before each
    // block goes out the window yields once with that block's progress already shown.
    std::vector<std::pair<int, std::size_t>> progressYields;  // progress, packets sent so far
    link.pump.onYield = [&](std::uint32_t maxWait) {
        if (maxWait == 0) {
            progressYields.emplace_back(link.progress.value, link.sent.size());
        } else if (link.spy.text != Trace_Line(link.sent.back().packet) ||
                   link.spy.ColorAt(0) != kBlue) {
            ADD_FAILURE() << "trace during a wait: " << link.spy.text;
        }
    };

    ASSERT_TRUE(Find_Module(link.Io()));
    StopRequested = true;  // a stop left over from before the run is cleared by it
    ASSERT_TRUE(Write_EEPROM_I2C(link.Io()));
    EXPECT_EQ(link.sendCounter.text, "513");
    EXPECT_EQ(link.receivedCounter.text, "513");
    ASSERT_EQ(link.sent.size(), 513u);
    ASSERT_EQ(progressYields.size(), 512u);
    for (std::size_t n = 0; n < 512; ++n) {
        ASSERT_EQ(link.sent[n + 1].packet, Write_Packet(n)) << "block " << n;
        ASSERT_EQ(progressYields[n], std::make_pair(static_cast<int>(n), n + 1)) << n;
    }
    EXPECT_EQ(link.spy.text, Trace_Line(Write_Packet(511)) + "0x04; 0x00; 0xFB\r\n");
    Expect_Colors(link.spy, Trace_Line(Write_Packet(511)).size());

    ASSERT_TRUE(Reset_PIC(link.Io()));
    EXPECT_EQ(link.sendCounter.text, "514");
    EXPECT_EQ(link.receivedCounter.text, "514");
    EXPECT_EQ(link.spy.text, kResetLine);
    EXPECT_EQ(link.pump.yields.size(), 514u + 512u);
    EXPECT_EQ(link.progress.history.size(), 513u);  // Find_Module's 0, then one per block
    EXPECT_TRUE(link.messages.shown.empty());
}

TEST_F(Link, RetryResendsTheIdenticalPacketWithoutMovingTheProgress) {
    ScriptedLink link(Answer_Except(7, 8));
    ASSERT_TRUE(Write_EEPROM_I2C(link.Io()));

    ASSERT_EQ(link.sent.size(), 513u);
    EXPECT_EQ(link.sent[8].packet, Write_Packet(7));
    EXPECT_EQ(link.sent[8].packet, link.sent[7].packet);
    EXPECT_EQ(link.sent[9].packet, Write_Packet(8));
    EXPECT_EQ(link.sent[8].at - link.sent[7].at, 3000u);
    EXPECT_EQ(link.progress.history.size(), 512u);
}

TEST_F(Link, ModuleSilentFromBlock100EndsTheRunWithTheMessage) {
    ScriptedLink link(Answer_Except(100, 200));
    link.sendCounter.text = link.receivedCounter.text = std::string("0");

    EXPECT_FALSE(Write_EEPROM_I2C(link.Io()));

    ASSERT_EQ(link.sent.size(), 103u);  // blocks 0..99, then block 100 three times
    EXPECT_EQ(link.sent[102].packet, Write_Packet(100));
    EXPECT_EQ(link.sent[102].at - link.sent[100].at, 6000u);
    EXPECT_EQ(link.pump.Now() - link.sent[100].at, 9000u);
    EXPECT_EQ(link.messages.shown.size(), 1u);
    EXPECT_EQ(link.progress.value, 100);
    EXPECT_EQ(link.sendCounter.text, "103");
    EXPECT_EQ(link.receivedCounter.text, "103");
    EXPECT_EQ(link.spy.text, Trace_Line(Write_Packet(100)) + "\r\n");
}

TEST_F(Link, StopEndsTheRunQuietlyAtTheNextWaitPass) {
    const auto stop = [] { StopRequested = true; };
    const struct {
        const char* name;
        std::vector<Arrival> onBlock5;
        bool stopInProgressYield;
        std::uint32_t stoppedAfterMs;
        std::uint8_t rxLength;
    } cases[] = {
        {"stop while waiting", {{1000, "", stop}}, false, 1000, 0},
        {"stop and reply in one pass", {{1000, kWriteAck, stop}}, false, 1000, 3},
        {"stop before block 5 goes out", {{1, kWriteAck, {}}}, true, 1, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset_Program_State();
        ScriptedLink link([&](const std::string& packet, std::size_t index) {
            return index == 5 ? c.onBlock5 : Answer_Except()(packet, index);
        });
        link.sendCounter.text = link.receivedCounter.text = std::string("0");
        link.pump.onYield = [&](std::uint32_t maxWait) {
            StopRequested |= c.stopInProgressYield && maxWait == 0 && link.progress.value == 5;
        };

        EXPECT_FALSE(Write_EEPROM_I2C(link.Io()));

        ASSERT_EQ(link.sent.size(), 6u);
        EXPECT_EQ(link.pump.Now() - link.sent[5].at, c.stoppedAfterMs);
        EXPECT_TRUE(link.messages.shown.empty());
        EXPECT_EQ(link.sendCounter.text, "6");
        EXPECT_EQ(link.receivedCounter.text, "5");
        EXPECT_EQ(link.spy.text, Trace_Line(Write_Packet(5)));  // no reply traced
        EXPECT_EQ(link.progress.value, 5);
        EXPECT_EQ(RxLength, c.rxLength);
    }
}

}  // namespace
}  // namespace lcdprog::test
