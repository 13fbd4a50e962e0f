// Detection and reset against a scripted module on the virtual clock, and the reply table for all
// three exchanges.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "link/mod_RS232.h"
#include "link/mod_RS232_COD.h"
#include "link/scripted_module.h"
#include "state/mod_variabili.h"

namespace lcdprog::test {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

const std::string kFindFailure =
    "Comunicazione seriale interrotta.\r\nImpossibile trovare il modulo, verificare la "
    "connessione!";
const std::string kWriteFailure =
    "Comunicazione seriale interrotta.\r\nScrittura EEPROM I2C fallita!";
const std::string kResetFailure = "Comunicazione seriale interrotta.\r\nImpossibile resettare PIC!";

const std::string kDetectionLine = "0x87; 0x00; 0x78\r\n";
const std::string kResetLine = "0xFE; 0x00; 0x01\r\n";

constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kRed = 0xFF0000;

// Answers only packets whose index is in `answered`, with `reply` after `delayMs`.
Script Answer_Only(std::vector<std::size_t> answered, std::string reply, std::uint32_t delayMs) {
    return [=](const std::string&, std::size_t index) -> std::vector<Arrival> {
        for (const std::size_t a : answered) {
            if (a == index) {
                return {{delayMs, reply, {}}};
            }
        }
        return {};
    };
}

void Expect_Colors(const FakeRichTextControl& spy, std::size_t blueUpTo) {
    for (std::size_t i = 0; i < spy.text.size(); ++i) {
        EXPECT_EQ(spy.ColorAt(i), i < blueUpTo ? kBlue : kRed) << "character " << i;
    }
}

class Exchanges : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Program_State(); }
    void TearDown() override { Reset_Program_State(); }
};

enum class Op { Find, Write, Reset };

bool Run_Op(Op op, ScriptedLink& link) {
    switch (op) {
        case Op::Find:
            return Find_Module(link.Io());
        case Op::Write:
            return Write_EEPROM_I2C(link.Io());
        case Op::Reset:
            return Reset_PIC(link.Io());
    }
    return false;
}

TEST_F(Exchanges, EveryReplyIsJudgedByCommandByteAndChecksumAtItsPosition) {
    struct Case {
        const char* name;
        Op op;
        std::string reply;
        bool valid;
        std::uint32_t firstWaitMs;  // how long the first wait lasted
    };
    const Case cases[] = {
        {"detection reply", Op::Find, Bytes({0x87, 0x04, 0x41, 0x42, 0x43, 0x44, 0x6A}), true, 5},
        {"detection, wrong checksum", Op::Find, Bytes({0x87, 0x04, 0x41, 0x42, 0x43, 0x44, 0x6B}),
         false, 5},
        {"detection, wrong command", Op::Find, Bytes({0x88, 0x04, 0x41, 0x42, 0x43, 0x44, 0x69}),
         false, 5},
        {"detection, second byte not examined", Op::Find,
         Bytes({0x87, 0x55, 0x41, 0x42, 0x43, 0x44, 0x19}), true, 5},
        {"detection, extra bytes", Op::Find,
         Bytes({0x87, 0x04, 0x41, 0x42, 0x43, 0x44, 0x6A, 0x00, 0x99}), true, 5},
        {"detection, six bytes", Op::Find, Bytes({0x87, 0x04, 0x41, 0x42, 0x43, 0x44}), false,
         3000},
        {"write ack", Op::Write, Bytes({0x04, 0x00, 0xFB}), true, 5},
        {"write ack, second byte 0x07", Op::Write, Bytes({0x04, 0x07, 0xF4}), true, 5},
        {"write ack, second byte 0x55", Op::Write, Bytes({0x04, 0x55, 0xA6}), true, 5},
        {"write ack with extra bytes", Op::Write, Bytes({0x04, 0x00, 0xFB, 0x04, 0x00}), true, 5},
        {"write, wrong command", Op::Write, Bytes({0x05, 0x00, 0xFA}), false, 5},
        {"write, wrong checksum", Op::Write, Bytes({0x04, 0x00, 0xFA}), false, 5},
        {"write, reset ack", Op::Write, Bytes({0xFE, 0x00, 0x01}), false, 5},
        {"write, two bytes", Op::Write, Bytes({0x04, 0x00}), false, 3000},
        {"reset ack", Op::Reset, Bytes({0xFE, 0x00, 0x01}), true, 5},
        {"reset ack, second byte 0x10", Op::Reset, Bytes({0xFE, 0x10, 0xF1}), true, 5},
        {"reset, write ack", Op::Reset, Bytes({0x04, 0x00, 0xFB}), false, 5},
        {"reset, two bytes", Op::Reset, Bytes({0xFE, 0x00}), false, 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset_Program_State();
        ScriptedLink link([&](const std::string&, std::size_t) -> std::vector<Arrival> {
            return {{5, c.reply, {}}};
        });
        link.sendCounter.text = "0";
        link.receivedCounter.text = "0";

        const bool result = Run_Op(c.op, link);

        EXPECT_EQ(result, c.valid);
        const std::size_t sends = !c.valid ? 3 : c.op == Op::Write ? 512 : 1;
        ASSERT_EQ(link.sent.size(), sends);
        const std::uint64_t firstWaitEnd = sends > 1 ? link.sent[1].at : link.pump.Now();
        EXPECT_EQ(firstWaitEnd - link.sent[0].at, c.firstWaitMs);
        EXPECT_EQ(link.sendCounter.text, std::to_string(sends));
        EXPECT_EQ(link.receivedCounter.text, std::to_string(sends));
        EXPECT_EQ(link.messages.shown.size(), c.valid ? 0u : 1u);
        // A failed attempt resends exactly the same bytes.
        if (!c.valid) {
            EXPECT_EQ(link.sent[1].packet, link.sent[0].packet);
            EXPECT_EQ(link.sent[2].packet, link.sent[0].packet);
        }
    }
}

TEST_F(Exchanges, FailureMessagesHaveTheirExactTextTitleAndIcon) {
    const struct {
        Op op;
        std::string text;
    } cases[] = {{Op::Find, kFindFailure}, {Op::Write, kWriteFailure}, {Op::Reset, kResetFailure}};
    for (const auto& c : cases) {
        Reset_Program_State();
        ScriptedLink link;
        EXPECT_FALSE(Run_Op(c.op, link));
        ASSERT_EQ(link.messages.shown.size(), 1u);
        EXPECT_EQ(link.messages.shown[0],
                  (ShownMessage{c.text, "ERROR RS232", platform::MessageIcon::Critical}));
    }
}

TEST_F(Exchanges, DetectionAnsweredAtOnceCountsOneAndOneAndTracesRequestBlueReplyRed) {
    ScriptedLink link(Answer_Everything(2));
    link.sendCounter.text = "41";
    link.receivedCounter.text = "40";
    link.spy.SetText("left over\r\n");
    link.progress.value = 300;

    EXPECT_TRUE(Find_Module(link.Io()));

    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].packet, Bytes({0x87, 0x00, 0x78}));
    EXPECT_EQ(link.sendCounter.text, "1");
    EXPECT_EQ(link.receivedCounter.text, "1");
    EXPECT_EQ(link.progress.history, std::vector<int>{0});
    EXPECT_EQ(link.spy.text, kDetectionLine + "0x87; 0x04; 0x41; 0x42; 0x43; 0x44; 0x6A\r\n");
    Expect_Colors(link.spy, kDetectionLine.size());
    EXPECT_EQ(link.spy.selStart, 18);
    EXPECT_EQ(link.spy.selLength, static_cast<int>(link.spy.text.size()));
    EXPECT_TRUE(link.messages.shown.empty());
    EXPECT_EQ(RxBuffer, Detection_Reply());
}

TEST_F(Exchanges, NoModuleMeansThreeFullWaitsThenTheMessage) {
    ScriptedLink link;
    std::uint64_t messageAt = 0;
    std::string traceWhileMessageUp;
    link.messages.onShow = [&] {
        messageAt = link.pump.Now();
        traceWhileMessageUp = link.spy.text;
    };

    EXPECT_FALSE(Find_Module(link.Io()));

    ASSERT_EQ(link.sent.size(), 3u);
    EXPECT_EQ(link.sent[0].at, 0u);
    EXPECT_EQ(link.sent[1].at, 3000u);
    EXPECT_EQ(link.sent[2].at, 6000u);
    EXPECT_EQ(messageAt, 9000u);
    // Each wait is a single sleep of the whole 3000 ms: nothing spins.
    ASSERT_EQ(link.pump.yields.size(), 3u);
    for (const auto& y : link.pump.yields) {
        EXPECT_EQ(y.maxWaitMs, 3000u);
    }
    EXPECT_EQ(link.sendCounter.text, "3");
    EXPECT_EQ(link.receivedCounter.text, "3");
    EXPECT_EQ(traceWhileMessageUp, kDetectionLine + "\r\n");
    Expect_Colors(link.spy, kDetectionLine.size());
}

TEST_F(Exchanges, ModuleAnsweringTheSecondRequestCountsTwoAndTwo) {
    ScriptedLink link(Answer_Only({1}, Detection_Reply(), 40));
    EXPECT_TRUE(Find_Module(link.Io()));
    EXPECT_EQ(link.sendCounter.text, "2");
    EXPECT_EQ(link.receivedCounter.text, "2");
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[1].at, 3000u);
    EXPECT_EQ(link.pump.Now(), 3040u);
    EXPECT_TRUE(link.messages.shown.empty());
}

TEST_F(Exchanges, SplitReplyIsJoinedAndTheWaitEndsWhenSevenBytesAreThere) {
    const std::string reply = Detection_Reply();
    ScriptedLink link([&](const std::string&, std::size_t) -> std::vector<Arrival> {
        return {{10, reply.substr(0, 3), {}},
                {20, reply.substr(3), {}},
                {500, Bytes({0x11, 0x22}), {}}};  // more bytes later: not waited for
    });

    EXPECT_TRUE(Find_Module(link.Io()));

    EXPECT_EQ(link.pump.Now(), 20u);
    EXPECT_EQ(RxBuffer, reply);
    EXPECT_EQ(RxLength, 7);
    // The second pass sleeps only for what is left of the 3000 ms.
    ASSERT_EQ(link.pump.yields.size(), 2u);
    EXPECT_EQ(link.pump.yields[0].maxWaitMs, 3000u);
    EXPECT_EQ(link.pump.yields[1].maxWaitMs, 2990u);
    EXPECT_EQ(link.sendCounter.text, "1");
    EXPECT_EQ(link.receivedCounter.text, "1");
}

TEST_F(Exchanges, BytesAlreadyWaitingInTheControlCountForTheReply) {
    // The module answers so fast that the bytes are in the control before the first yield; they
    // reach RxBuffer at that yield and are not thrown away with the emptied buffer.
    ScriptedLink link(Answer_Everything(0));
    EXPECT_TRUE(Find_Module(link.Io()));
    EXPECT_EQ(link.pump.Now(), 0u);
}

TEST_F(Exchanges, WaitsAreMeasuredModulo2To32WhenTheClockWraps) {
    {
        ScriptedLink link;
        link.clock.now = 0xFFFFF000u;
        std::vector<std::uint32_t> sendClock;
        link.serial.onOutput = [&, inner = link.serial.onOutput](const std::string& p) {
            sendClock.push_back(link.clock.now);
            inner(p);
        };
        EXPECT_FALSE(Find_Module(link.Io()));
        EXPECT_EQ(sendClock, (std::vector<std::uint32_t>{0xFFFFF000u, 0xFFFFFBB8u, 0x00000770u}));
        EXPECT_EQ(link.clock.now, 0x00001328u);
        EXPECT_EQ(link.pump.Now(), 9000u);
    }
    {
        Reset_Program_State();
        // The second wait starts 1096 ms before the wrap and its reply arrives 2500 ms in.
        ScriptedLink link(Answer_Only({1}, Detection_Reply(), 2500));
        link.clock.now = 0xFFFFF000u;
        EXPECT_TRUE(Find_Module(link.Io()));
        EXPECT_EQ(link.pump.Now(), 5500u);
        EXPECT_EQ(link.receivedCounter.text, "2");
    }
}

TEST_F(Exchanges, WaitEndsOnTheStoredLengthNotOnTheBufferSize) {
    struct Case {
        const char* name;
        std::size_t chunk;  // a valid reply followed by filler, all in one delivery
        bool found;
    };
    const Case cases[] = {
        {"255 bytes", 255, true}, {"256 bytes", 256, false}, {"300 bytes", 300, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset_Program_State();
        std::string bytes = Detection_Reply();
        bytes.resize(c.chunk, '\x55');
        ScriptedLink link([&](const std::string&, std::size_t) -> std::vector<Arrival> {
            return {{1, bytes, {}}};
        });
        EXPECT_EQ(Find_Module(link.Io()), c.found);
        if (!c.found) {
            // The length never got past 0, so every wait ran its full time.
            EXPECT_EQ(link.pump.Now(), 9000u);
            EXPECT_EQ(RxLength, 0);
            EXPECT_EQ(RxBuffer.size(), c.chunk);
        } else {
            EXPECT_EQ(link.pump.Now(), 1u);
            EXPECT_EQ(RxLength, 255);
        }
    }
}

TEST_F(Exchanges, ClosedPortTimesOutLikeASilentModule) {
    ScriptedLink link(Answer_Everything(0));
    link.serial.SetPortOpen(false);
    EXPECT_FALSE(Find_Module(link.Io()));
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(link.pump.Now(), 9000u);
    EXPECT_EQ(link.sendCounter.text, "3");
    EXPECT_EQ(link.receivedCounter.text, "3");
    EXPECT_EQ(link.messages.shown.size(), 1u);
}

TEST_F(Exchanges, DetectionAndResetDoNotLookAtTheStopFlag) {
    for (const Op op : {Op::Find, Op::Reset}) {
        Reset_Program_State();
        ScriptedLink link([&](const std::string& packet, std::size_t) -> std::vector<Arrival> {
            const std::string reply =
                packet[0] == '\x87' ? Detection_Reply() : Reset_Acknowledgement();
            return {{5, "", [] { StopRequested = true; }}, {10, reply, {}}};
        });
        EXPECT_TRUE(Run_Op(op, link));
        EXPECT_EQ(link.pump.Now(), 10u);
        EXPECT_TRUE(StopRequested);  // left as the operator set it
    }
}

TEST_F(Exchanges, ResetCountsButDoesNotTraceItsRepliesNorTouchTheProgress) {
    ScriptedLink link(Answer_Only({1}, Bytes({0xFE, 0x10, 0xF1}), 7));
    link.sendCounter.text = "513";
    link.receivedCounter.text = "513";
    link.spy.SetText("earlier\r\n");
    link.progress.value = 511;

    EXPECT_TRUE(Reset_PIC(link.Io()));

    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[0].packet, Bytes({0xFE, 0x00, 0x01}));
    EXPECT_EQ(link.sent[1].packet, Bytes({0xFE, 0x00, 0x01}));
    EXPECT_EQ(link.sendCounter.text, "515");
    EXPECT_EQ(link.receivedCounter.text, "515");
    EXPECT_EQ(link.spy.text, kResetLine);
    Expect_Colors(link.spy, kResetLine.size());
    EXPECT_EQ(link.spy.selStart, 0);
    EXPECT_EQ(link.spy.selLength, 18);
    EXPECT_EQ(link.progress.value, 511);
    EXPECT_TRUE(link.progress.history.empty());
}

TEST_F(Exchanges, SilentResetShowsItsMessageAfterNineSeconds) {
    ScriptedLink link;
    std::uint64_t messageAt = 0;
    link.messages.onShow = [&] { messageAt = link.pump.Now(); };
    EXPECT_FALSE(Reset_PIC(link.Io()));
    EXPECT_EQ(messageAt, 9000u);
    EXPECT_EQ(link.spy.text, kResetLine);
}

}  // namespace
}  // namespace lcdprog::test
