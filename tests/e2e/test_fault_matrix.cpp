// The fault matrix: every way a module's reply can go wrong, at every place of a run, clicked
// through both windows. For each cell: the messages the operator sees (exactly, in order), the
// packets that reached the module, the packet counters, and the module's EEPROM afterwards.
//
// Places. A fault hits one request: the Kth attempt of an exchange. To reach attempt K the
// attempts before it must fail, so they get a corrupt checksum (the cheapest failure: the reply
// is complete, the retry follows at once).
//   detection, last attempt   attempts 1-2 corrupt, attempt 3 gets the fault
//   block 100, attempt 1/2/3  block 100's attempts before K corrupt, attempt K gets the fault
//   reset, last attempt       attempts 1-2 corrupt, attempt 3 gets the fault
// A hang-up drops the line at that request (packet 3 for the detection cell, packet 102, 103,
// 104 for the block cells, packet 516 for the reset cell).
//
// Where each cell runs. A fault whose reply is missing or incomplete costs a full 3000 ms wait
// in real time (so does a reply 2900 or 3100 ms late, and everything after a hang-up), so:
//   - on the line (lcdprog-sim, real pseudo-terminal, real clock) AND on the virtual clock:
//     every place of corrupt checksum, wrong command byte, split reply and extra bytes, plus one
//     place of each slow fault: no answer at block attempt 1, short reply at block attempt 2,
//     2900 ms late at the detection's last attempt, 3100 ms late at block attempt 3, hang-up at
//     the reset's last attempt;
//   - on the virtual clock only (a modelled module, VirtualModule in benches.h): the other
//     places of the slow faults.
// The cells that run both ways check that the modelled module and lcdprog-sim give the program
// the same experience.

#include <QProgressBar>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "benches.h"
#include "state/mod_variabili.h"

namespace lcdprog::test {
namespace {

constexpr int kB = 100;  // the block the block cells pick on

enum class Place { DetectLast, Block1, Block2, Block3, ResetLast };
enum class Runs { Both, VirtualOnly };

struct Cell {
    Misbehaviour fault;
    Place place;
    Runs runs;
    // What must follow.
    const char* messages;  // in order: D no module, W write failed, R reset failed
    int detects;           // detection requests on the line
    int blockSends;        // sends of block 100 on the line
    int lastBlock;         // the highest block on the line (-1: none); every other block once
    int resets;            // reset requests on the line
    int counters;          // txt_Send_Packet and txt_Received_Packet
    int eepromBlocks;      // leading blocks of the EEPROM holding the image, the rest blank
};

using M = Misbehaviour;
using P = Place;
constexpr Runs kBoth = Runs::Both;
constexpr Runs kVirtual = Runs::VirtualOnly;

// clang-format off
const Cell kCells[] = {
    // fault         place          runs      msgs  det  B-sends last  resets counters eeprom
    // A reply that is missing, damaged or incomplete fails its attempt.
    {M::NoAnswer,  P::DetectLast, kVirtual, "D",  3,   0,      -1,   0,     3,       0},
    {M::NoAnswer,  P::Block1,     kBoth,    "",   1,   2,      511,  1,     515,     512},
    {M::NoAnswer,  P::Block2,     kVirtual, "",   1,   3,      511,  1,     516,     512},
    {M::NoAnswer,  P::Block3,     kVirtual, "W",  1,   3,      100,  1,     105,     101},
    {M::NoAnswer,  P::ResetLast,  kVirtual, "R",  1,   1,      511,  3,     516,     512},

    {M::BadSum,    P::DetectLast, kBoth,    "D",  3,   0,      -1,   0,     3,       0},
    {M::BadSum,    P::Block1,     kBoth,    "",   1,   2,      511,  1,     515,     512},
    {M::BadSum,    P::Block2,     kBoth,    "",   1,   3,      511,  1,     516,     512},
    {M::BadSum,    P::Block3,     kBoth,    "W",  1,   3,      100,  1,     105,     101},
    {M::BadSum,    P::ResetLast,  kBoth,    "R",  1,   1,      511,  3,     516,     512},

    {M::BadCmd,    P::DetectLast, kBoth,    "D",  3,   0,      -1,   0,     3,       0},
    {M::BadCmd,    P::Block1,     kBoth,    "",   1,   2,      511,  1,     515,     512},
    {M::BadCmd,    P::Block2,     kBoth,    "",   1,   3,      511,  1,     516,     512},
    {M::BadCmd,    P::Block3,     kBoth,    "W",  1,   3,      100,  1,     105,     101},
    {M::BadCmd,    P::ResetLast,  kBoth,    "R",  1,   1,      511,  3,     516,     512},

    {M::Short,     P::DetectLast, kVirtual, "D",  3,   0,      -1,   0,     3,       0},
    {M::Short,     P::Block1,     kVirtual, "",   1,   2,      511,  1,     515,     512},
    {M::Short,     P::Block2,     kBoth,    "",   1,   3,      511,  1,     516,     512},
    {M::Short,     P::Block3,     kVirtual, "W",  1,   3,      100,  1,     105,     101},
    {M::Short,     P::ResetLast,  kVirtual, "R",  1,   1,      511,  3,     516,     512},

    // A reply 3100 ms late misses its wait and lands in the next one, where it is taken for
    // the answer to the repeated request (it is the same reply). After block 100's third
    // attempt it lands in the reset's first wait, which it fails (wrong command byte): the
    // reset needs a second attempt.
    {M::Late3100,  P::DetectLast, kVirtual, "D",  3,   0,      -1,   0,     3,       0},
    {M::Late3100,  P::Block1,     kVirtual, "",   1,   2,      511,  1,     515,     512},
    {M::Late3100,  P::Block2,     kVirtual, "",   1,   3,      511,  1,     516,     512},
    {M::Late3100,  P::Block3,     kBoth,    "W",  1,   3,      100,  2,     106,     101},
    {M::Late3100,  P::ResetLast,  kVirtual, "R",  1,   1,      511,  3,     516,     512},

    // After a hang-up nothing reaches the module: every later wait runs out, so a failed block
    // is followed by a failed reset. The module stored the write it hung up on.
    {M::HangUp,    P::DetectLast, kVirtual, "D",  3,   0,      -1,   0,     3,       0},
    {M::HangUp,    P::Block1,     kVirtual, "WR", 1,   1,      100,  0,     107,     101},
    {M::HangUp,    P::Block2,     kVirtual, "WR", 1,   2,      100,  0,     107,     101},
    {M::HangUp,    P::Block3,     kVirtual, "WR", 1,   3,      100,  0,     107,     101},
    {M::HangUp,    P::ResetLast,  kBoth,    "R",  1,   1,      511,  3,     516,     512},

    // A whole reply, in pieces, with bytes after it, or late but inside the 3000 ms, is good.
    {M::Split,     P::DetectLast, kBoth,    "",   3,   1,      511,  1,     516,     512},
    {M::Split,     P::Block1,     kBoth,    "",   1,   1,      511,  1,     514,     512},
    {M::Split,     P::Block2,     kBoth,    "",   1,   2,      511,  1,     515,     512},
    {M::Split,     P::Block3,     kBoth,    "",   1,   3,      511,  1,     516,     512},
    {M::Split,     P::ResetLast,  kBoth,    "",   1,   1,      511,  3,     516,     512},

    {M::Extra,     P::DetectLast, kBoth,    "",   3,   1,      511,  1,     516,     512},
    {M::Extra,     P::Block1,     kBoth,    "",   1,   1,      511,  1,     514,     512},
    {M::Extra,     P::Block2,     kBoth,    "",   1,   2,      511,  1,     515,     512},
    {M::Extra,     P::Block3,     kBoth,    "",   1,   3,      511,  1,     516,     512},
    {M::Extra,     P::ResetLast,  kBoth,    "",   1,   1,      511,  3,     516,     512},

    {M::Late2900,  P::DetectLast, kBoth,    "",   3,   1,      511,  1,     516,     512},
    {M::Late2900,  P::Block1,     kVirtual, "",   1,   1,      511,  1,     514,     512},
    {M::Late2900,  P::Block2,     kVirtual, "",   1,   2,      511,  1,     515,     512},
    {M::Late2900,  P::Block3,     kVirtual, "",   1,   3,      511,  1,     516,     512},
    {M::Late2900,  P::ResetLast,  kVirtual, "",   1,   1,      511,  3,     516,     512},
};
// clang-format on

const char* Fault_Name(Misbehaviour m) {
    switch (m) {
        case M::None:
            return "none";
        case M::NoAnswer:
            return "noanswer";
        case M::BadSum:
            return "badsum";
        case M::BadCmd:
            return "badcmd";
        case M::Short:
            return "short";
        case M::Split:
            return "split";
        case M::Extra:
            return "extra";
        case M::Late2900:
            return "late=2900";
        case M::Late3100:
            return "late=3100";
        case M::HangUp:
            return "hangup";
    }
    return "?";
}

const char* Place_Name(Place p) {
    switch (p) {
        case P::DetectLast:
            return "detection_last_attempt";
        case P::Block1:
            return "block100_attempt1";
        case P::Block2:
            return "block100_attempt2";
        case P::Block3:
            return "block100_attempt3";
        case P::ResetLast:
            return "reset_last_attempt";
    }
    return "?";
}

// The attempt the fault hits, and what the attempts before it get.
int Attempt(Place p) {
    switch (p) {
        case P::Block1:
            return 1;
        case P::Block2:
            return 2;
        default:
            return 3;
    }
}

FaultAt::Target Target(Place p) {
    switch (p) {
        case P::DetectLast:
            return FaultAt::Target::Detect;
        case P::ResetLast:
            return FaultAt::Target::Reset;
        default:
            return FaultAt::Target::Block;
    }
}

std::vector<FaultAt> Virtual_Faults(const Cell& c) {
    std::vector<FaultAt> faults;
    for (int a = 1; a < Attempt(c.place); ++a) {
        faults.push_back({M::BadSum, Target(c.place), kB, a});
    }
    faults.push_back({c.fault, Target(c.place), kB, Attempt(c.place)});
    return faults;
}

std::string Sim_Where(Place p, int attempt) {
    switch (Target(p)) {
        case FaultAt::Target::Detect:
            return "detect=" + std::to_string(attempt);
        case FaultAt::Target::Reset:
            return "reset=" + std::to_string(attempt);
        case FaultAt::Target::Block:
            break;
    }
    return "block=" + std::to_string(kB) + ",attempt=" + std::to_string(attempt);
}

std::vector<std::string> Sim_Args(const Cell& c) {
    std::vector<std::string> args = {"--page-ms", "0"};
    for (int a = 1; a < Attempt(c.place); ++a) {
        args.insert(args.end(), {"--fault", "badsum:" + Sim_Where(c.place, a)});
    }
    args.insert(args.end(), {"--fault", std::string(Fault_Name(c.fault)) + ":" +
                                            Sim_Where(c.place, Attempt(c.place))});
    return args;
}

std::vector<std::string> Expected_Messages(const Cell& c) {
    std::vector<std::string> out;
    for (const char* m = c.messages; *m != '\0'; ++m) {
        out.push_back(*m == 'D' ? kNoModule : *m == 'W' ? kWriteFailed : kResetFailed);
    }
    return out;
}

std::vector<int> Expected_Writes(const Cell& c) {
    std::vector<int> w(kBlocks, 0);
    for (int b = 0; b <= c.lastBlock; ++b) {
        w[static_cast<std::size_t>(b)] = b == kB ? c.blockSends : 1;
    }
    return w;
}

// What the operator saw and what reached the module, however the cell ran.
struct Observed {
    std::vector<std::string> messages;
    std::string sent;
    std::string received;
    int progress = 0;
    bool exitEnabled = false;
    bool offEnabled = false;
    LineCount line;
    int eepromBlocks = -2;  // -2: no EEPROM could be read
};

// Chooses the pictures, ON, "Scrivi modulo LCD"; the desk's readings after the run.
void Program(Desk& desk, const TempFolder& pictures, FakeFileDialog& dialog,
             FakeMessageBox& messages, Observed& seen) {
    ASSERT_TRUE(desk.Choose_Noise_Pictures(pictures, dialog, messages));
    desk.Click("cmd_ON");
    ASSERT_TRUE(desk.Enabled("cmd_Write_RS232")) << "the port did not open";
    desk.Click("cmd_Write_RS232");
    seen.messages = Link_Messages(messages);
    seen.sent = desk.Text("txt_Send_Packet");
    seen.received = desk.Text("txt_Received_Packet");
    seen.progress = desk.Progress().value();
    seen.exitEnabled = desk.Enabled("cmd_Exit");
    seen.offEnabled = desk.Enabled("cmd_OFF");
}

void Run_On_The_Line(const Cell& c, Observed& seen) {
    LineBench bench(Sim_Args(c));
    ASSERT_TRUE(bench.Ready());
    Program(bench.desk, bench.folder, bench.dialog, bench.messages, seen);
    if (c.fault == M::HangUp) {
        // Without --reopen-after the module ends after hanging up, saving its EEPROM.
        EXPECT_EQ(bench.sim.Wait_Exit(5000), std::optional<int>(0));
    } else {
        ASSERT_TRUE(bench.sim.Sync(bench.serial)) << bench.sim.Log();
        EXPECT_EQ(bench.sim.Stop(), 0);
    }
    seen.line = Count(bench.sim.Packets());
    const auto eeprom = bench.sim.Saved_Eeprom();
    ASSERT_TRUE(eeprom.has_value());
    seen.eepromBlocks = Blocks_Written(*eeprom);
}

void Run_On_The_Virtual_Clock(const Cell& c, Observed& seen) {
    VirtualBench bench(Virtual_Faults(c));
    ASSERT_TRUE(bench.Ready());
    TempFolder pictures;
    Program(bench.desk, pictures, bench.dialog, bench.link.messages, seen);
    std::vector<LinePacket> packets;
    for (const ScriptedLink::Sent& s : bench.link.sent) {
        packets.push_back(Classify(s.packet));
    }
    seen.line = Count(packets);
    seen.eepromBlocks = Blocks_Written(bench.module.Memory());
}

struct MatrixParam {
    Cell cell;
    bool onTheLine;
};

// How CTest lists a cell (the name says it all).
void PrintTo(const MatrixParam& p, std::ostream* os) {
    *os << Fault_Name(p.cell.fault) << " at " << Place_Name(p.cell.place)
        << (p.onTheLine ? " on the line" : " on the virtual clock");
}

class FaultMatrix : public ::testing::TestWithParam<MatrixParam> {
  protected:
    void SetUp() override { Reset_Program_State(); }
    void TearDown() override { Reset_Program_State(); }
};

TEST_P(FaultMatrix, OperatorLineAndEeprom) {
    const Cell& c = GetParam().cell;
    Observed seen;
    if (GetParam().onTheLine) {
        Run_On_The_Line(c, seen);
    } else {
        Run_On_The_Virtual_Clock(c, seen);
    }
    if (HasFatalFailure()) {
        return;
    }

    EXPECT_EQ(seen.messages, Expected_Messages(c));
    EXPECT_EQ(seen.sent, std::to_string(c.counters));
    EXPECT_EQ(seen.received, std::to_string(c.counters));
    EXPECT_TRUE(seen.exitEnabled);
    EXPECT_TRUE(seen.offEnabled);
    EXPECT_EQ(seen.line.detects, c.detects);
    EXPECT_EQ(seen.line.writes, Expected_Writes(c));
    EXPECT_EQ(seen.line.resets, c.resets);
    EXPECT_EQ(seen.line.others, 0);
    EXPECT_EQ(seen.eepromBlocks, c.eepromBlocks);

    // Nothing acknowledged is reported as failed, nothing unacknowledged as written: a run the
    // operator was not told about left the whole image in the module; a reported write
    // failure names the block the progress bar stopped at, and every block before it is there.
    const bool detected = c.detects > 0 && c.messages[0] != 'D';
    const bool writeReported = std::string(c.messages).find('W') != std::string::npos;
    if (detected && !writeReported) {
        EXPECT_EQ(seen.eepromBlocks, kBlocks);
    }
    if (writeReported) {
        EXPECT_EQ(seen.progress, kB);
        EXPECT_GE(seen.eepromBlocks, kB);
    }
}

std::vector<MatrixParam> All_Params() {
    std::vector<MatrixParam> params;
    for (const Cell& c : kCells) {
        if (c.runs == kBoth) {
            params.push_back({c, true});
        }
    }
    for (const Cell& c : kCells) {
        params.push_back({c, false});
    }
    return params;
}

std::string Cell_Name(const ::testing::TestParamInfo<MatrixParam>& info) {
    std::string fault = Fault_Name(info.param.cell.fault);
    for (char& ch : fault) {
        if (ch == '=') {
            ch = '_';
        }
    }
    return std::string(info.param.onTheLine ? "Line_" : "VirtualClock_") + fault + "_" +
           Place_Name(info.param.cell.place);
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, ::testing::ValuesIn(All_Params()), Cell_Name);

}  // namespace
}  // namespace lcdprog::test
