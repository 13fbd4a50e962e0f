// The EEPROM programming run (and a whole detection, programming, reset sequence) against a
// scripted module on the virtual clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "link/mod_RS232.h"
#include "link/scripted_module.h"
#include "state/mod_variabili.h"

namespace lcdprog::test {
namespace {

const std::string kWriteFailure =
    "Comunicazione seriale interrotta.\r\nScrittura EEPROM I2C fallita!";
const std::string kAckLine = "0x04; 0x00; 0xFB\r\n";

constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kRed = 0xFF0000;

std::vector<int> Count_Up(int from, int to) {
    std::vector<int> out;
    for (int i = from; i <= to; ++i) {
        out.push_back(i);
    }
    return out;
}

// Acknowledges every write 1 ms after it, except the packets in `silentFor` (by index).
Script Acknowledge_Except(std::vector<std::size_t> silentFor) {
    return [=](const std::string&, std::size_t index) -> std::vector<Arrival> {
        for (const std::size_t s : silentFor) {
            if (s == index) {
                return {};
            }
        }
        return {{1, Write_Acknowledgement(), {}}};
    };
}

class EepromRun : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Program_State(); }
    void TearDown() override { Reset_Program_State(); }

    // Runs the programming alone, counters starting at "0" as the write command leaves them.
    static bool Program(ScriptedLink& link) {
        // (std::string objects: GCC 12 reports a bogus -Wrestrict for assigning a literal here.)
        link.sendCounter.text = std::string("0");
        link.receivedCounter.text = std::string("0");
        return Write_EEPROM_I2C(link.Io());
    }
};

TEST_F(EepromRun, BlockPacketsCarryTheirAddressAndChecksum) {
    ScriptedLink zeros(Answer_Everything(1));
    ASSERT_TRUE(Program(zeros));
    ASSERT_EQ(zeros.sent.size(), 512u);
    const struct {
        std::size_t block;
        std::string head;
        unsigned char checksum;
    } cases[] = {
        {0, std::string("\x04\x84\x00\x00\x00\x00", 6), 0x77},
        {1, std::string("\x04\x84\x00\x00\x00\x80", 6), 0xF7},
        {2, std::string("\x04\x84\x00\x00\x01\x00", 6), 0x76},
        {511, std::string("\x04\x84\x00\x00\xFF\x80", 6), 0xF8},
    };
    for (const auto& c : cases) {
        const std::string& packet = zeros.sent[c.block].packet;
        ASSERT_EQ(packet.size(), 135u) << c.block;
        EXPECT_EQ(packet.substr(0, 6), c.head) << c.block;
        EXPECT_EQ(packet.substr(6, 128), std::string(128, '\0')) << c.block;
        EXPECT_EQ(static_cast<unsigned char>(packet[134]), c.checksum) << c.block;
    }

    Reset_Program_State();
    std::fill_n(MemoryImage.begin(), 128, std::uint8_t{0xFF});
    ScriptedLink ones(Answer_Everything(1));
    ASSERT_TRUE(Program(ones));
    EXPECT_EQ(ones.sent[0].packet.substr(6, 128), std::string(128, '\xFF'));
    EXPECT_EQ(static_cast<unsigned char>(ones.sent[0].packet[134]), 0xF7);
}

TEST_F(EepromRun, EveryBlockCarriesItsOwnSliceOfTheImage) {
    for (std::size_t i = 0; i < MemoryImage.size(); ++i) {
        MemoryImage[i] = static_cast<std::uint8_t>(i * 7 + i / 256 + i / 65);
    }
    ScriptedLink link(Answer_Everything(1));
    ASSERT_TRUE(Program(link));
    ASSERT_EQ(link.sent.size(), 512u);
    for (std::size_t n = 0; n < 512; ++n) {
        ASSERT_EQ(link.sent[n].packet, Expected_Write_Packet(n)) << "block " << n;
    }
}

TEST_F(EepromRun, WholeRunCountsAndTracesEveryStep) {
    ScriptedLink link(Answer_Everything(1));
    // While any wait is on, the trace holds exactly the request just sent, in blue.
    int waitsSeen = 0;
    link.pump.onYield = [&](std::uint32_t maxWait) {
        if (maxWait == 0) {
            return;
        }
        ++waitsSeen;
        const std::string expected = Trace_Line(link.sent.back().packet);
        if (link.spy.text != expected || link.spy.ColorAt(0) != kBlue) {
            ADD_FAILURE() << "trace during wait " << waitsSeen << ": " << link.spy.text;
        }
    };

    ASSERT_TRUE(Find_Module(link.Io()));
    ASSERT_TRUE(Write_EEPROM_I2C(link.Io()));
    EXPECT_EQ(link.sendCounter.text, "513");
    EXPECT_EQ(link.receivedCounter.text, "513");
    const std::string lastBlockLine = Trace_Line(Expected_Write_Packet(511));
    EXPECT_EQ(link.spy.text, lastBlockLine + kAckLine);
    for (std::size_t i = 0; i < link.spy.text.size(); ++i) {
        ASSERT_EQ(link.spy.ColorAt(i), i < lastBlockLine.size() ? kBlue : kRed) << i;
    }
    EXPECT_EQ(link.progress.value, 511);

    ASSERT_TRUE(Reset_PIC(link.Io()));
    EXPECT_EQ(link.sendCounter.text, "514");
    EXPECT_EQ(link.receivedCounter.text, "514");
    EXPECT_EQ(link.spy.text, "0xFE; 0x00; 0x01\r\n");
    EXPECT_EQ(link.spy.ColorAt(17), kBlue);
    EXPECT_EQ(waitsSeen, 514);
    EXPECT_TRUE(link.messages.shown.empty());
    // Find_Module's 0, then one value per block.
    std::vector<int> progress = {0};
    const std::vector<int> blocks = Count_Up(0, 511);
    progress.insert(progress.end(), blocks.begin(), blocks.end());
    EXPECT_EQ(link.progress.history, progress);
}

TEST_F(EepromRun, ProgressIsShownAndTheWindowYieldsOnceBeforeEachBlockGoesOut) {
    ScriptedLink link(Answer_Everything(1));
    struct Seen {
        int progress;
        std::size_t sentSoFar;
    };
    std::vector<Seen> zeroYields;
    link.pump.onYield = [&](std::uint32_t maxWait) {
        if (maxWait == 0) {
            zeroYields.push_back({link.progress.value, link.sent.size()});
        }
    };
    ASSERT_TRUE(Program(link));
    ASSERT_EQ(zeroYields.size(), 512u);
    for (std::size_t n = 0; n < 512; ++n) {
        // Block n's progress is already shown, and block n has not been sent yet.
        EXPECT_EQ(zeroYields[n].progress, static_cast<int>(n));
        EXPECT_EQ(zeroYields[n].sentSoFar, n);
    }
    EXPECT_EQ(link.progress.history, Count_Up(0, 511));
    // Every wait pass sleeps for the time left, never zero.
    for (const auto& y : link.pump.yields) {
        EXPECT_TRUE(y.maxWaitMs == 0 || y.maxWaitMs == 3000u) << y.maxWaitMs;
    }
}

TEST_F(EepromRun, RetryResendsTheIdenticalPacketWithoutMovingTheProgress) {
    ScriptedLink link(Acknowledge_Except({7}));
    std::vector<std::size_t> zeroYieldSentSoFar;
    link.pump.onYield = [&](std::uint32_t maxWait) {
        if (maxWait == 0) {
            zeroYieldSentSoFar.push_back(link.sent.size());
        }
    };

    ASSERT_TRUE(Program(link));

    ASSERT_EQ(link.sent.size(), 513u);
    EXPECT_EQ(link.sent[7].packet, Expected_Write_Packet(7));
    EXPECT_EQ(link.sent[8].packet, link.sent[7].packet);
    EXPECT_EQ(link.sent[9].packet, Expected_Write_Packet(8));
    EXPECT_EQ(link.sent[8].at - link.sent[7].at, 3000u);
    EXPECT_EQ(link.sent[9].at - link.sent[8].at, 1u);
    EXPECT_EQ(link.progress.history, Count_Up(0, 511));
    // No yield between the two sends of block 7 (sent count 8 is skipped).
    EXPECT_EQ(zeroYieldSentSoFar[7], 7u);
    EXPECT_EQ(zeroYieldSentSoFar[8], 9u);
    EXPECT_EQ(link.sendCounter.text, "513");
    EXPECT_EQ(link.receivedCounter.text, "513");
}

TEST_F(EepromRun, ModuleSilentFromBlock100EndsTheRunWithTheMessage) {
    std::vector<std::size_t> silent;
    for (std::size_t i = 100; i < 200; ++i) {
        silent.push_back(i);
    }
    ScriptedLink link(Acknowledge_Except(silent));
    std::uint64_t messageAt = 0;
    link.messages.onShow = [&] { messageAt = link.pump.Now(); };

    EXPECT_FALSE(Program(link));

    ASSERT_EQ(link.sent.size(), 103u);  // blocks 0..99, then block 100 three times
    for (std::size_t i = 100; i < 103; ++i) {
        EXPECT_EQ(link.sent[i].packet, Expected_Write_Packet(100));
    }
    EXPECT_EQ(link.sent[101].at - link.sent[100].at, 3000u);
    EXPECT_EQ(link.sent[102].at - link.sent[101].at, 3000u);
    EXPECT_EQ(messageAt - link.sent[100].at, 9000u);
    EXPECT_EQ(link.messages.shown, (std::vector<ShownMessage>{{kWriteFailure, "ERROR RS232",
                                                               platform::MessageIcon::Critical}}));
    EXPECT_EQ(link.progress.value, 100);
    EXPECT_EQ(link.progress.history, Count_Up(0, 100));
    EXPECT_EQ(link.sendCounter.text, "103");
    EXPECT_EQ(link.receivedCounter.text, "103");
    EXPECT_EQ(link.spy.text, Trace_Line(Expected_Write_Packet(100)) + "\r\n");
    EXPECT_FALSE(StopRequested);
}

TEST_F(EepromRun, StopDuringAWaitEndsTheRunAtOnceAndQuietly) {
    struct Case {
        const char* name;
        std::vector<Arrival> onBlock5;
        bool replyArrived;
    };
    const Case cases[] = {
        {"stop while waiting", {{1000, "", [] { StopRequested = true; }}}, false},
        {"stop and reply in the same pass",
         {{1000, Write_Acknowledgement(), [] { StopRequested = true; }}},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset_Program_State();
        ScriptedLink link([&](const std::string&, std::size_t index) -> std::vector<Arrival> {
            if (index == 5) {
                return c.onBlock5;
            }
            return {{1, Write_Acknowledgement(), {}}};
        });

        EXPECT_FALSE(Program(link));

        EXPECT_TRUE(StopRequested);
        ASSERT_EQ(link.sent.size(), 6u);
        EXPECT_EQ(link.pump.Now() - link.sent[5].at, 1000u);  // the very next pass
        EXPECT_TRUE(link.messages.shown.empty());
        EXPECT_EQ(link.sendCounter.text, "6");
        EXPECT_EQ(link.receivedCounter.text, "5");
        const std::string requestLine = Trace_Line(Expected_Write_Packet(5));
        EXPECT_EQ(link.spy.text, requestLine);
        EXPECT_EQ(link.spy.ColorAt(requestLine.size() - 1), kBlue);
        EXPECT_EQ(link.progress.value, 5);
        EXPECT_EQ(RxLength, c.replyArrived ? 3 : 0);
    }
}

TEST_F(EepromRun, StopDuringTheProgressYieldTakesEffectAfterThatBlockIsSent) {
    ScriptedLink link(Answer_Everything(1));
    link.pump.onYield = [&](std::uint32_t maxWait) {
        if (maxWait == 0 && link.progress.value == 3) {
            StopRequested = true;
        }
    };
    EXPECT_FALSE(Program(link));
    ASSERT_EQ(link.sent.size(), 4u);
    EXPECT_EQ(link.sent[3].packet, Expected_Write_Packet(3));
    EXPECT_EQ(link.sendCounter.text, "4");
    EXPECT_EQ(link.receivedCounter.text, "3");
    EXPECT_TRUE(link.messages.shown.empty());
}

TEST_F(EepromRun, StopGivenBeforeTheRunIsCleared) {
    StopRequested = true;
    ScriptedLink link(Answer_Everything(1));
    EXPECT_TRUE(Program(link));
    EXPECT_EQ(link.sent.size(), 512u);
    EXPECT_FALSE(StopRequested);
}

TEST_F(EepromRun, AcknowledgementArrivingLateCountsForTheResentBlock) {
    // Block 0's ack comes 3500 ms after its first send: that is 500 ms into the second wait,
    // after the buffer was emptied for it, so it acknowledges the resent block.
    ScriptedLink link([](const std::string&, std::size_t index) -> std::vector<Arrival> {
        if (index == 0) {
            return {{3500, Write_Acknowledgement(), {}}};
        }
        if (index == 1) {
            return {};
        }
        return {{1, Write_Acknowledgement(), {}}};
    });
    ASSERT_TRUE(Program(link));
    ASSERT_EQ(link.sent.size(), 513u);
    EXPECT_EQ(link.sent[1].packet, link.sent[0].packet);
    EXPECT_EQ(link.sent[2].at - link.sent[1].at, 500u);
    EXPECT_EQ(link.sent[2].packet, Expected_Write_Packet(1));
}

}  // namespace
}  // namespace lcdprog::test
