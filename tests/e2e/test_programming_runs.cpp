// Whole programming runs, clicked through both windows, against lcdprog-sim on a real
// pseudo-terminal with the program's real serial control, event pump and clock. Waits are real
// here: the cases that need the 3000 ms reply time-out are the few that are about it.

#include <QProgressBar>
#include <QTimer>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "benches.h"
#include "state/mod_variabili.h"

namespace lcdprog::test {
namespace {

const std::string kResetTrace = "0xFE; 0x00; 0x01\n";  // the box shows each CR LF as a break

class ProgrammingRun : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Program_State(); }
    void TearDown() override { Reset_Program_State(); }
};

// Blocks first..last (inclusive) each written `times` times on the line, every other none.
std::vector<int> Writes(int first, int last, int times = 1) {
    std::vector<int> w(kBlocks, 0);
    for (int b = first; b <= last; ++b) {
        w[static_cast<std::size_t>(b)] = times;
    }
    return w;
}

TEST_F(ProgrammingRun, WholeRunFromTheDefaultsFillsTheModuleWithTheImage) {
    LineBench bench({"--page-ms", "0"});
    ASSERT_TRUE(bench.Ready());
    Desk& desk = bench.desk;
    EXPECT_FALSE(desk.Enabled("cmd_Write_RS232"));
    desk.Click("cmd_ON");
    ASSERT_TRUE(desk.Enabled("cmd_Write_RS232")) << Link_Messages(bench.messages).size();

    desk.Click("cmd_Write_RS232");

    EXPECT_TRUE(bench.messages.shown.empty()) << bench.messages.shown.front().text;
    EXPECT_EQ(desk.Text("txt_Send_Packet"), "514");
    EXPECT_EQ(desk.Text("txt_Received_Packet"), "514");
    // The reset request alone: its reply is not traced.
    EXPECT_EQ(desk.Trace(), kResetTrace);
    EXPECT_EQ(desk.Progress().value(), 511);
    EXPECT_TRUE(desk.Enabled("cmd_Exit"));
    EXPECT_TRUE(desk.Enabled("cmd_OFF"));
    EXPECT_FALSE(desk.Enabled("cmd_ON"));

    ASSERT_TRUE(bench.sim.Sync(bench.serial));
    EXPECT_EQ(bench.sim.Stop(), 0);
    const LineCount line = Count(bench.sim.Packets());
    EXPECT_EQ(line.detects, 1);
    EXPECT_EQ(line.writes, Writes(0, 511));
    EXPECT_EQ(line.resets, 1);
    const auto eeprom = bench.sim.Saved_Eeprom();
    ASSERT_TRUE(eeprom.has_value());
    EXPECT_TRUE(*eeprom == MemoryImage) << "the module's EEPROM differs from MemoryImage";
}

// The chosen pictures travel: selection, compile, 512 packets, the module's EEPROM. Pictures of
// noise make every block different, so a block stored at the wrong address shows.
TEST_F(ProgrammingRun, ChosenPicturesReachTheModuleByteForByte) {
    LineBench bench({"--page-ms", "0"});
    ASSERT_TRUE(bench.Ready());
    ASSERT_TRUE(bench.desk.Choose_Noise_Pictures(bench.folder, bench.dialog, bench.messages));
    bench.desk.Click("cmd_ON");
    bench.desk.Click("cmd_Write_RS232");

    EXPECT_TRUE(bench.messages.shown.empty());
    EXPECT_EQ(bench.desk.Text("txt_Send_Packet"), "514");
    ASSERT_TRUE(bench.sim.Sync(bench.serial));
    EXPECT_EQ(bench.sim.Stop(), 0);
    const auto eeprom = bench.sim.Saved_Eeprom();
    ASSERT_TRUE(eeprom.has_value());
    EXPECT_EQ(Blocks_Written(*eeprom), kBlocks);
    EXPECT_TRUE(*eeprom == MemoryImage);
    // Not a blank image: the check above could not have passed by accident.
    EXPECT_NE(std::count(MemoryImage.begin(), MemoryImage.end(), 0), 65536);
}

// No module on the line: three detection requests, three full waits, one message, nothing else.
TEST_F(ProgrammingRun, NoModuleSendsOnlyTheDetectionRequests) {
    LineBench bench({"--page-ms", "0", "--fault", "silent"});
    ASSERT_TRUE(bench.Ready());
    bench.desk.Click("cmd_ON");
    const Stopwatch watch;
    bench.desk.Click("cmd_Write_RS232");
    const Elapsed took = watch.Read();

    EXPECT_EQ(Link_Messages(bench.messages), std::vector<std::string>{kNoModule});
    EXPECT_EQ(bench.desk.Text("txt_Send_Packet"), "3");
    EXPECT_EQ(bench.desk.Text("txt_Received_Packet"), "3");
    // The last request in blue, then the empty reply line.
    EXPECT_EQ(bench.desk.Trace(), "0x87; 0x00; 0x78\n\n");
    EXPECT_GE(took.wallMs, 9000.0);
    EXPECT_LT(took.wallMs, 10500.0);
    EXPECT_TRUE(bench.desk.Enabled("cmd_Exit"));
    EXPECT_TRUE(bench.desk.Enabled("cmd_OFF"));

    ASSERT_TRUE(bench.sim.Sync(bench.serial));
    bench.sim.Stop();
    const LineCount line = Count(bench.sim.Packets());
    EXPECT_EQ(line.detects, 3);
    EXPECT_EQ(line.Total_Writes(), 0);
    EXPECT_EQ(line.resets, 0);
    EXPECT_EQ(line.others, 0);
    const auto eeprom = bench.sim.Saved_Eeprom();
    ASSERT_TRUE(eeprom.has_value());
    EXPECT_EQ(Blocks_Written(*eeprom), 0);
}

// Block 100 is never acknowledged: three sends, the write message, and the reset still goes.
TEST_F(ProgrammingRun, BlockFailingThreeTimesIsReportedThenTheModuleIsReset) {
    LineBench bench({"--page-ms", "0", "--fault", "noanswer:block=100"});
    ASSERT_TRUE(bench.Ready());
    bench.desk.Click("cmd_ON");
    bench.desk.Click("cmd_Write_RS232");

    EXPECT_EQ(Link_Messages(bench.messages), std::vector<std::string>{kWriteFailed});
    // 1 detection, blocks 0..99, block 100 three times, 1 reset.
    EXPECT_EQ(bench.desk.Text("txt_Send_Packet"), "105");
    EXPECT_EQ(bench.desk.Text("txt_Received_Packet"), "105");
    EXPECT_EQ(bench.desk.Progress().value(), 100);
    EXPECT_EQ(bench.desk.Trace(), kResetTrace);

    ASSERT_TRUE(bench.sim.Sync(bench.serial));
    bench.sim.Stop();
    const std::vector<LinePacket> packets = bench.sim.Packets();
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets.back().kind, LinePacket::Kind::Reset);
    std::vector<int> writes = Writes(0, 99);
    writes[100] = 3;
    const LineCount line = Count(packets);
    EXPECT_EQ(line.writes, writes);
    EXPECT_EQ(line.resets, 1);
    // The module stored block 100 each time it arrived intact; only its acknowledgement was
    // missing. Nothing after it was sent.
    const auto eeprom = bench.sim.Saved_Eeprom();
    ASSERT_TRUE(eeprom.has_value());
    EXPECT_EQ(Blocks_Written(*eeprom), 101);
}

// Stop pressed while blocks go out: the run ends in the wait that follows, without a message
// and without a reset, and the window is usable again.
TEST_F(ProgrammingRun, StopDuringProgrammingEndsWithoutMessageOrReset) {
    LineBench bench({"--page-ms", "0"});
    ASSERT_TRUE(bench.Ready());
    bench.desk.Click("cmd_ON");

    // The operator watches the progress bar and presses Stop once it has passed 50: the timer
    // runs inside the run's yields, as a real click would.
    int seen = -1;
    QTimer operatorEye;
    operatorEye.setInterval(1);
    QObject::connect(&operatorEye, &QTimer::timeout, [&] {
        const int value = bench.desk.Progress().value();
        if (seen < 0 && value >= 50 && RunInProgress) {
            seen = value;
            bench.desk.Click("cmd_Stop_RS232");
        }
    });
    operatorEye.start();
    bench.desk.Click("cmd_Write_RS232");
    operatorEye.stop();

    ASSERT_GE(seen, 50);
    EXPECT_TRUE(bench.messages.shown.empty());
    EXPECT_TRUE(StopRequested);
    // The bar follows the run at most every 100 ms, so the block that was going out when Stop
    // came may be later than the one the operator saw; at the end the bar shows it exactly.
    const int stoppedAt = bench.desk.Progress().value();
    EXPECT_GE(stoppedAt, seen);
    // Detection and blocks 0..n sent; the stopped block's reply was neither waited for nor
    // counted.
    EXPECT_EQ(bench.desk.Text("txt_Send_Packet"), std::to_string(stoppedAt + 2));
    EXPECT_EQ(bench.desk.Text("txt_Received_Packet"), std::to_string(stoppedAt + 1));
    // That block's request alone, without a reply line.
    const std::string trace = bench.desk.Trace();
    EXPECT_EQ(trace.rfind("0x04; 0x84; 0x00; 0x00; ", 0), 0u) << trace;
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 1) << trace;
    EXPECT_TRUE(bench.desk.Enabled("cmd_Exit"));
    EXPECT_TRUE(bench.desk.Enabled("cmd_OFF"));
    EXPECT_TRUE(bench.desk.Enabled("cmd_Write_RS232"));

    ASSERT_TRUE(bench.sim.Sync(bench.serial));
    bench.sim.Stop();
    const LineCount line = Count(bench.sim.Packets());
    EXPECT_EQ(line.resets, 0);
    EXPECT_EQ(line.writes, Writes(0, stoppedAt));
    const auto eeprom = bench.sim.Saved_Eeprom();
    ASSERT_TRUE(eeprom.has_value());
    EXPECT_EQ(Blocks_Written(*eeprom), stoppedAt + 1);
}

// The module drops the line at packet 101 (block 99's first send) and comes back half a second
// later on a new device behind the same link. The run reports the write and the reset as
// failed, without a crash and without burning the processor while it waits; OFF works, and
// after ON a new run programs the whole image.
TEST_F(ProgrammingRun, ModuleHangingUpMidRunThenComingBack) {
    LineBench bench({"--page-ms", "0", "--fault", "hangup:packet=101", "--reopen-after", "500"});
    ASSERT_TRUE(bench.Ready());
    ASSERT_TRUE(bench.desk.Choose_Noise_Pictures(bench.folder, bench.dialog, bench.messages));
    bench.desk.Click("cmd_ON");
    const Stopwatch watch;
    bench.desk.Click("cmd_Write_RS232");
    const Elapsed took = watch.Read();

    EXPECT_EQ(Link_Messages(bench.messages),
              (std::vector<std::string>{kWriteFailed, kResetFailed}));
    // 1 detection, blocks 0..98, block 99 three times, the reset three times.
    EXPECT_EQ(bench.desk.Text("txt_Send_Packet"), "106");
    EXPECT_EQ(bench.desk.Text("txt_Received_Packet"), "106");
    EXPECT_EQ(bench.desk.Progress().value(), 99);
    EXPECT_FALSE(bench.serial.PortOpen());
    // Six full waits; the processor sleeps through them.
    EXPECT_GE(took.wallMs, 18000.0);
    EXPECT_LT(took.wallMs, 23000.0);  // the 99 blocks before the hang-up, even under a sanitizer
    EXPECT_LT(took.cpuMs, took.wallMs / 10) << "wall " << took.wallMs << " ms";
    RecordProperty("failure_wall_ms", static_cast<int>(took.wallMs));
    RecordProperty("failure_cpu_ms", static_cast<int>(took.cpuMs));

    ASSERT_NE(Current_frm_RS232(), nullptr);
    bench.desk.Click("cmd_OFF");
    EXPECT_TRUE(bench.desk.Enabled("cmd_ON"));
    EXPECT_FALSE(bench.desk.Enabled("cmd_Write_RS232"));
    EXPECT_EQ(bench.desk.Trace(), "");

    // Back: a new device line, the link moved to it.
    const auto again = bench.sim.Next_Device();
    ASSERT_TRUE(again.has_value()) << bench.sim.Log();
    bench.messages.shown.clear();
    bench.desk.Click("cmd_ON");
    ASSERT_TRUE(bench.serial.PortOpen()) << bench.serial.LastError();
    bench.desk.Click("cmd_Write_RS232");

    EXPECT_TRUE(bench.messages.shown.empty());
    EXPECT_EQ(bench.desk.Text("txt_Send_Packet"), "514");
    EXPECT_EQ(bench.desk.Text("txt_Received_Packet"), "514");
    ASSERT_TRUE(bench.sim.Sync(bench.serial));
    EXPECT_EQ(bench.sim.Stop(), 0);
    // Blocks 0..99 went out twice (block 99 reached the module before it hung up).
    const LineCount line = Count(bench.sim.Packets());
    std::vector<int> writes = Writes(0, 511);
    for (int b = 0; b <= 99; ++b) {
        writes[static_cast<std::size_t>(b)] = 2;
    }
    EXPECT_EQ(line.writes, writes);
    EXPECT_EQ(line.detects, 2);
    EXPECT_EQ(line.resets, 1);
    const auto eeprom = bench.sim.Saved_Eeprom();
    ASSERT_TRUE(eeprom.has_value());
    EXPECT_TRUE(*eeprom == MemoryImage);
}

}  // namespace
}  // namespace lcdprog::test
