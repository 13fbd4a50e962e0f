// Whole programming runs, clicked through both windows, against lcdprog-sim on a real
// pseudo-terminal with the program's real serial control, event pump and clock. Waits are real
// here: the cases that need the 3000 ms reply time-out are the few that are about it.

#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "state/mod_variabili.h"

namespace lcdprog::test {
namespace {

const std::string kResetTrace = "0xFE; 0x00; 0x01\n";  // the reset request alone, no reply

struct RunCase {
    const char* name;
    std::vector<std::string> faults;  // lcdprog-sim options
    std::vector<std::string> messages;
    const char* counters;  // txt_Send_Packet and txt_Received_Packet
    std::string trace;
    int progress;
    int detects;
    std::vector<int> writes;
    int resets;
    int eepromBlocks;  // 512: the EEPROM equals MemoryImage
    double minWallMs;  // the full reply waits when the module stays silent
    double maxWallMs;
    const char* status;  // the status line at the end (a regular expression)
};

// clang-format off
const RunCase kRuns[] = {
    // name, sim options, messages, counters, trace, bar, detects, writes, resets, EEPROM, wall
    {"WholeRunFromTheDefaults", {}, {}, "514", kResetTrace, 511, 1, Writes(511), 1, kBlocks,
     0, 9000, "Programmazione completata: 65536 byte in ([1-9][0-9]*,[0-9]|0,[1-9]) s"},
    // Three detection requests, three full waits, one message, nothing else sent.
    {"NoModule", {"--fault", "silent"}, {kNoModule}, "3", "0x87; 0x00; 0x78\n\n", 0, 3,
     Writes(-1), 0, 0, 9000, 10500, "Modulo non trovato: verificare la connessione"},
    // Block 100 sent three times unacknowledged (the module stored it each time): the message,
    // then the reset still goes; nothing after block 100.
    {"BlockFailingThreeTimes", {"--fault", "noanswer:block=100"}, {kWriteFailed}, "105",
     kResetTrace, 100, 1, Writes(100, 100, 3), 1, 101, 9000, 10500,
     "Scrittura fallita al blocco 101 di 512: il modulo non ha confermato"},
    // Every block written, every reset reply spoiled.
    {"ResetFailing", {"--fault", "badsum:reset"}, {kResetFailed}, "516", kResetTrace, 511, 1,
     Writes(511), 3, kBlocks, 0, 9000, "Memoria scritta, ma il reset del PIC non ha risposto"},
};
// clang-format on

void PrintTo(const RunCase& r, std::ostream* os) {
    *os << r.name;
}

class ProgrammingRun : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Program_State(); }
    void TearDown() override { Reset_Program_State(); }
};
class ProgrammingRuns : public ProgrammingRun, public ::testing::WithParamInterface<RunCase> {};

TEST_P(ProgrammingRuns, OperatorLineAndEeprom) {
    const RunCase& r = GetParam();
    std::vector<std::string> args = {"--page-ms", "0"};
    args.insert(args.end(), r.faults.begin(), r.faults.end());
    LineBench bench(args);
    ASSERT_TRUE(bench.Ready());
    EXPECT_FALSE(bench.desk.Enabled("cmd_Write_RS232"));
    bench.desk.Click("cmd_ON");
    ASSERT_TRUE(bench.desk.Enabled("cmd_Write_RS232"));
    const double start = Wall_Now_Ms();
    bench.desk.Click("cmd_Write_RS232");
    const double wallMs = Wall_Now_Ms() - start;

    const DeskReading seen = bench.desk.Read(bench.messages);
    EXPECT_EQ(seen.messages, r.messages);
    EXPECT_EQ(seen.sent, r.counters);
    EXPECT_EQ(seen.received, r.counters);
    EXPECT_EQ(seen.trace, r.trace);
    EXPECT_EQ(seen.progress, r.progress);
    EXPECT_THAT(seen.status, ::testing::MatchesRegex(r.status));
    EXPECT_GE(wallMs, r.minWallMs);
    EXPECT_LT(wallMs, r.maxWallMs);
    EXPECT_TRUE(bench.desk.Enabled("cmd_Exit"));
    EXPECT_TRUE(bench.desk.Enabled("cmd_OFF"));
    EXPECT_FALSE(bench.desk.Enabled("cmd_ON"));

    const ModuleAfter module = bench.Finish();
    EXPECT_EQ(module.line.detects, r.detects);
    EXPECT_EQ(module.line.writes, r.writes);
    EXPECT_EQ(module.line.resets, r.resets);
    EXPECT_EQ(module.line.others, 0);
    if (r.resets > 0) {
        ASSERT_FALSE(module.packets.empty());
        EXPECT_EQ(module.packets.back().kind, LinePacket::Kind::Reset);
    }
    EXPECT_EQ(Blocks_Written(module.eeprom), r.eepromBlocks);
}

INSTANTIATE_TEST_SUITE_P(Runs, ProgrammingRuns, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

// Stop pressed while blocks go out: the run ends in the wait that follows, without a message
// and without a reset, and the window is usable again.
TEST_F(ProgrammingRun, StopDuringProgrammingEndsWithoutMessageOrReset) {
    LineBench bench({"--page-ms", "0"});
    ASSERT_TRUE(bench.Ready());
    bench.desk.Click("cmd_ON");
    // The operator presses Stop once the bar has passed 50; the timer runs inside the run's
    // yields, as a real click would.
    int seen = -1;
    QTimer operatorEye;
    operatorEye.setInterval(1);
    QObject::connect(&operatorEye, &QTimer::timeout, [&] {
        if (seen < 0 && bench.desk.Progress().value() >= 50 && RunInProgress) {
            seen = bench.desk.Progress().value();
            bench.desk.Click("cmd_Stop_RS232");
        }
    });
    operatorEye.start();
    bench.desk.Click("cmd_Write_RS232");
    operatorEye.stop();

    ASSERT_GE(seen, 50);
    const DeskReading after = bench.desk.Read(bench.messages);
    EXPECT_TRUE(after.messages.empty());
    // The bar follows the run at most every 100 ms; at the end it shows the stopped block.
    const int stoppedAt = after.progress;
    EXPECT_GE(stoppedAt, seen);
    EXPECT_EQ(after.status,
              "Interrotto dall'operatore al blocco " + std::to_string(stoppedAt + 1) + " di 512");
    // The stopped block's reply was neither waited for nor counted nor traced.
    EXPECT_EQ(after.sent, std::to_string(stoppedAt + 2));
    EXPECT_EQ(after.received, std::to_string(stoppedAt + 1));
    EXPECT_EQ(after.trace.rfind("0x04; 0x84; 0x00; 0x00; ", 0), 0u) << after.trace;
    EXPECT_EQ(std::count(after.trace.begin(), after.trace.end(), '\n'), 1) << after.trace;
    EXPECT_TRUE(bench.desk.Enabled("cmd_Exit"));
    EXPECT_TRUE(bench.desk.Enabled("cmd_OFF"));
    EXPECT_TRUE(bench.desk.Enabled("cmd_Write_RS232"));

    const ModuleAfter module = bench.Finish();
    EXPECT_EQ(module.line.resets, 0);
    EXPECT_EQ(module.line.writes, Writes(stoppedAt));
    EXPECT_EQ(Blocks_Written(module.eeprom), stoppedAt + 1);
}

// The module drops the line at packet 101 (block 99's first send) and comes back half a second
// later behind the same link. The write and the reset are reported failed, without a crash and
// without burning the processor while waiting; OFF works, and after ON a new run programs the
// chosen pictures (noise: a block at the wrong address shows) byte for byte.
TEST_F(ProgrammingRun, ModuleHangingUpMidRunThenComingBack) {
    LineBench bench({"--page-ms", "0", "--fault", "hangup:packet=101", "--reopen-after", "500"});
    ASSERT_TRUE(bench.Ready());
    ASSERT_TRUE(bench.desk.Choose_Noise_Pictures(bench.folder, bench.dialog, bench.messages));
    bench.desk.Click("cmd_ON");
    const double start = Wall_Now_Ms();
    const double cpuStart = Cpu_Now_Ms();
    bench.desk.Click("cmd_Write_RS232");
    const double wallMs = Wall_Now_Ms() - start;
    const double cpuMs = Cpu_Now_Ms() - cpuStart;

    DeskReading seen = bench.desk.Read(bench.messages);
    EXPECT_EQ(seen.messages, (std::vector<std::string>{kWriteFailed, kResetFailed}));
    // 1 detection, blocks 0..98, block 99 three times, the reset three times.
    EXPECT_EQ(seen.sent, "106");
    EXPECT_EQ(seen.received, "106");
    EXPECT_EQ(seen.progress, 99);
    EXPECT_FALSE(bench.serial.PortOpen());
    // Six full waits, slept through.
    EXPECT_GE(wallMs, 18000.0);
    EXPECT_LT(wallMs, 23000.0);
    EXPECT_LT(cpuMs, wallMs / 10) << "wall " << wallMs << " ms";
    RecordProperty("failure_wall_ms", static_cast<int>(wallMs));
    RecordProperty("failure_cpu_ms", static_cast<int>(cpuMs));

    bench.desk.Click("cmd_OFF");
    EXPECT_TRUE(bench.desk.Enabled("cmd_ON"));
    EXPECT_FALSE(bench.desk.Enabled("cmd_Write_RS232"));
    EXPECT_EQ(bench.desk.Read(bench.messages).trace, "");

    ASSERT_TRUE(bench.sim.Next_Device().has_value()) << bench.sim.Log();  // back
    bench.messages.shown.clear();
    bench.desk.Click("cmd_ON");
    ASSERT_TRUE(bench.serial.PortOpen()) << bench.serial.LastError();
    bench.desk.Click("cmd_Write_RS232");
    seen = bench.desk.Read(bench.messages);
    EXPECT_TRUE(seen.messages.empty());
    EXPECT_EQ(seen.sent, "514");
    EXPECT_EQ(seen.received, "514");

    // Blocks 0..99 went out twice (block 99 reached the module before it hung up).
    std::vector<int> writes = Writes(511);
    std::fill(writes.begin(), writes.begin() + 100, 2);
    const ModuleAfter module = bench.Finish();
    EXPECT_EQ(module.line.writes, writes);
    EXPECT_EQ(module.line.detects, 2);
    EXPECT_EQ(module.line.resets, 1);
    EXPECT_TRUE(module.eeprom == MemoryImage);
    EXPECT_NE(std::count(MemoryImage.begin(), MemoryImage.end(), 0xFF), 65536);  // not blank
}

}  // namespace
}  // namespace lcdprog::test
