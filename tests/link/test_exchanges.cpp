// Detection, the EEPROM run and the reset on the virtual clock: the waits, the counters, the trace
// and its colours, the progress bar, Stop. What each fault does to a run is the fault matrix's.

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "link/mod_RS232.h"
#include "state/mod_variabili.h"
#include "support/sim_line.h"

namespace lcdprog::test {
namespace {

// The virtual module's identity is "LSIM".
const std::string kDetectionReplyLine = "0x87; 0x04; 0x4C; 0x53; 0x49; 0x4D; 0x3F\r\n";
const std::string kDetectionLine = "0x87; 0x00; 0x78\r\n";
const std::string kResetLine = "0xFE; 0x00; 0x01\r\n";
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kRed = 0xFF0000;

void Expect_Colors(const FakeRichTextControl& spy, std::size_t blueUpTo) {
    for (std::size_t i = 0; i < spy.text.size(); ++i) {
        ASSERT_EQ(spy.ColorAt(i), i < blueUpTo ? kBlue : kRed) << "character " << i;
    }
}

TEST(Link, NoModuleMeansThreeFullWaitsSleptThroughThenTheMessage) {
    SimLine line;
    line.Open();
    line.connected = false;
    line.clock.now = 0xFFFFF000u;  // the waits are measured modulo 2^32
    std::uint64_t messageAt = 0;
    std::string traceWhileMessageUp;
    line.messages.onShow = [&] {
        messageAt = line.Now();
        traceWhileMessageUp = line.spy.text;
    };

    EXPECT_FALSE(Find_Module(line.Io()));

    ASSERT_EQ(line.sent.size(), 3u);
    EXPECT_EQ(line.sent[1].at, 3000u);
    EXPECT_EQ(line.sent[2].at, 6000u);
    EXPECT_EQ(messageAt, 9000u);
    EXPECT_EQ(line.yields, (std::vector<std::uint32_t>{3000, 3000, 3000}));  // no spinning
    EXPECT_EQ(traceWhileMessageUp, kDetectionLine + "\r\n");
    Expect_Colors(line.spy, kDetectionLine.size());
}

TEST(Link, WaitsAreMeasuredModulo2To32WhenTheClockWraps) {
    // The second attempt's wait starts 1096 ms before the wrap; its reply comes in two pieces,
    // the first after the wrap, the second a second later.
    SimLine line({"noanswer:detect=1", "late=1500:detect=2", "split=1000:detect=2"});
    line.Open();
    line.clock.now = 0xFFFFF000u;
    EXPECT_TRUE(Find_Module(line.Io()));
    EXPECT_EQ(line.Now(), 5501u);
    EXPECT_EQ(line.yields.back(), 1499u);  // only what was left of the 3000 ms
    EXPECT_EQ(line.state.RxLength, 7);
}

TEST(Link, WholeRunStoresTheImageBlockByBlockAndTracesEveryStep) {
    // Block 7's first acknowledgement is spoiled: the retry must repeat the very same bytes. The
    // reset's first request goes unanswered.
    SimLine line({"badsum:block=7,attempt=1", "noanswer:reset=1"});
    std::mt19937 random(7);
    for (std::uint8_t& b : line.state.MemoryImage) {
        b = static_cast<std::uint8_t>(random());
    }
    line.Open();
    line.sendCounter.text = "41";
    line.spy.SetText("left over\r\n");
    line.progress.value = 300;
    // While a wait is on, the trace holds exactly the request just sent, in blue; before each
    // block goes out the window yields once with that block's progress already shown.
    std::vector<int> progressYields;
    line.onYield = [&](std::uint32_t maxWait) {
        if (maxWait == 0) {
            progressYields.push_back(line.progress.value);
        } else if (line.spy.text != Trace_Line(line.sent.back().packet) ||
                   line.spy.ColorAt(0) != kBlue) {
            ADD_FAILURE() << "trace during a wait: " << line.spy.text;
        }
    };

    line.state.StopRequested = true;  // only the EEPROM run looks at Stop, and clears it first
    ASSERT_TRUE(Find_Module(line.Io()));
    EXPECT_EQ(line.sendCounter.text + line.receivedCounter.text, "11");
    EXPECT_EQ(line.progress.history, std::vector<int>{0});
    EXPECT_EQ(line.spy.text, kDetectionLine + kDetectionReplyLine);
    Expect_Colors(line.spy, kDetectionLine.size());
    EXPECT_EQ(line.spy.selStart, 18);
    EXPECT_EQ(line.spy.selLength, static_cast<int>(line.spy.text.size()));
    ASSERT_TRUE(Write_EEPROM_I2C(line.Io()));

    EXPECT_TRUE(line.module.Memory() == line.state.MemoryImage);
    ASSERT_EQ(line.sent.size(), 514u);
    EXPECT_EQ(line.sent[9].packet, line.sent[8].packet);
    EXPECT_EQ(line.sendCounter.text, "514");
    EXPECT_EQ(line.receivedCounter.text, "514");
    std::vector<int> everyBlock(512);
    std::iota(everyBlock.begin(), everyBlock.end(), 0);
    EXPECT_EQ(progressYields, everyBlock);
    EXPECT_EQ(line.progress.history.size(), 513u);  // Find_Module's 0, then one per block
    const std::string lastBlock = Trace_Line(line.sent.back().packet);
    EXPECT_EQ(line.spy.text, lastBlock + "0x04; 0x00; 0xFB\r\n");
    Expect_Colors(line.spy, lastBlock.size());

    // The reset counts its attempts but traces only its request, and leaves the bar alone.
    ASSERT_TRUE(Reset_PIC(line.Io()));
    EXPECT_EQ(line.sent.back().packet, std::string("\xFE\x00\x01", 3));
    EXPECT_EQ(line.sendCounter.text, "516");
    EXPECT_EQ(line.receivedCounter.text, "516");
    EXPECT_EQ(line.spy.text, kResetLine);
    Expect_Colors(line.spy, kResetLine.size());
    EXPECT_EQ(line.progress.history.size(), 513u);
    EXPECT_TRUE(line.messages.shown.empty());
}

TEST(Link, StopEndsTheRunQuietlyAtTheNextWaitPass) {
    const struct {
        const char* name;
        std::vector<std::string> faults;
        bool stopInProgressYield;  // else 1000 ms after block 5 went out
        std::uint32_t stoppedAfterMs;
        std::uint8_t rxLength;
    } cases[] = {
        {"stop while waiting", {"noanswer:block=5"}, false, 1000, 0},
        {"stop and reply in one pass", {"late=994:block=5"}, false, 1000, 3},
        {"stop before block 5 goes out", {}, true, 6, 3},  // seen after its page write
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimLine line(c.faults);
        line.Open();
        line.sendCounter.text = line.receivedCounter.text = std::string("0");
        line.onYield = [&](std::uint32_t maxWait) {
            if (c.stopInProgressYield) {
                line.state.StopRequested |= maxWait == 0 && line.progress.value == 5;
            } else if (line.sent.size() == 6 && maxWait == 3000) {
                line.At(line.Now() + 1000, [&line] { line.state.StopRequested = true; });
            }
        };

        EXPECT_FALSE(Write_EEPROM_I2C(line.Io()));

        ASSERT_EQ(line.sent.size(), 6u);
        EXPECT_EQ(line.Now() - line.sent.back().at, c.stoppedAfterMs);
        EXPECT_TRUE(line.messages.shown.empty());
        EXPECT_EQ(line.sendCounter.text, "6");
        EXPECT_EQ(line.receivedCounter.text, "5");
        EXPECT_EQ(line.progress.value, 5);
        EXPECT_EQ(line.state.RxLength, c.rxLength);
        EXPECT_EQ(line.spy.text, Trace_Line(line.sent.back().packet));  // no reply traced
    }
}

}  // namespace
}  // namespace lcdprog::test
