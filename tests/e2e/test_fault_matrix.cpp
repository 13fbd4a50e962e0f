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
//   - on the virtual clock only (a modelled module, VirtualModule in e2e_support.h): the other
//     places of the slow faults.
// The cells that run both ways check that the modelled module and lcdprog-sim give the program
// the same experience.

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
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

// lcdprog-sim's --fault names, in the order of Misbehaviour.
const char* const kFaultNames[] = {"none",  "noanswer", "badsum",    "badcmd",    "short",
                                   "split", "extra",    "late=2900", "late=3100", "hangup"};

struct PlaceInfo {
    const char* name;
    FaultAt::Target target;
    int attempt;
    const char* simWhere;  // lcdprog-sim's place, before the attempt number
};
const PlaceInfo kPlaces[] = {
    {"detection_last_attempt", FaultAt::Target::Detect, 3, "detect="},
    {"block100_attempt1", FaultAt::Target::Block, 1, "block=100,attempt="},
    {"block100_attempt2", FaultAt::Target::Block, 2, "block=100,attempt="},
    {"block100_attempt3", FaultAt::Target::Block, 3, "block=100,attempt="},
    {"reset_last_attempt", FaultAt::Target::Reset, 3, "reset="},
};

const PlaceInfo& Where(const Cell& c) {
    return kPlaces[static_cast<int>(c.place)];
}
const char* Fault_Name(const Cell& c) {
    return kFaultNames[static_cast<int>(c.fault)];
}

struct MatrixParam {
    Cell cell;
    bool onTheLine;
};

void PrintTo(const MatrixParam& p, std::ostream* os) {
    *os << Fault_Name(p.cell) << " at " << Where(p.cell).name
        << (p.onTheLine ? " on the line" : " on the virtual clock");
}

// Chooses the pictures, ON, "Scrivi modulo LCD"; what the operator sees after the run.
DeskReading Program(Desk& desk, const TempFolder& pictures, FakeFileDialog& dialog,
                    const FakeMessageBox& messages) {
    EXPECT_TRUE(desk.Choose_Noise_Pictures(pictures, dialog, messages));
    desk.Click("cmd_ON");
    EXPECT_TRUE(desk.Enabled("cmd_Write_RS232")) << "the port did not open";
    desk.Click("cmd_Write_RS232");
    EXPECT_TRUE(desk.Enabled("cmd_Exit"));
    EXPECT_TRUE(desk.Enabled("cmd_OFF"));
    return desk.Read(messages);
}

class FaultMatrix : public ::testing::TestWithParam<MatrixParam> {
  protected:
    void SetUp() override { Reset_Program_State(); }
    void TearDown() override { Reset_Program_State(); }
};

TEST_P(FaultMatrix, OperatorLineAndEeprom) {
    const Cell& c = GetParam().cell;
    const PlaceInfo& place = Where(c);
    DeskReading seen;
    LineCount line;
    int eepromBlocks = -2;  // no EEPROM could be read
    if (GetParam().onTheLine) {
        std::vector<std::string> args = {"--page-ms", "0"};
        for (int a = 1; a <= place.attempt; ++a) {
            const char* fault = a < place.attempt ? "badsum" : Fault_Name(c);
            args.insert(args.end(),
                        {"--fault", fault + std::string(":") + place.simWhere + std::to_string(a)});
        }
        LineBench bench(args);
        ASSERT_TRUE(bench.Ready());
        seen = Program(bench.desk, bench.folder, bench.dialog, bench.messages);
        if (c.fault == M::HangUp) {
            // Without --reopen-after the module ends after hanging up, saving its EEPROM.
            EXPECT_EQ(bench.sim.Wait_Exit(5000), std::optional<int>(0));
        } else {
            ASSERT_TRUE(bench.sim.Sync(bench.serial)) << bench.sim.Log();
            EXPECT_EQ(bench.sim.Stop(), 0);
        }
        line = Count(bench.sim.Packets());
        const auto eeprom = bench.sim.Saved_Eeprom();
        ASSERT_TRUE(eeprom.has_value());
        eepromBlocks = Blocks_Written(*eeprom);
    } else {
        std::vector<FaultAt> faults;
        for (int a = 1; a <= place.attempt; ++a) {
            faults.push_back({a < place.attempt ? M::BadSum : c.fault, place.target, kB, a});
        }
        VirtualBench bench(faults);
        ASSERT_TRUE(bench.desk.Open());
        TempFolder pictures;
        seen = Program(bench.desk, pictures, bench.dialog, bench.link.messages);
        std::vector<LinePacket> packets;
        for (const ScriptedLink::Sent& s : bench.link.sent) {
            packets.push_back(Classify(s.packet));
        }
        line = Count(packets);
        eepromBlocks = Blocks_Written(bench.module.Memory());
    }

    std::vector<std::string> messages;
    for (const char* m = c.messages; *m != '\0'; ++m) {
        messages.push_back(*m == 'D' ? kNoModule : *m == 'W' ? kWriteFailed : kResetFailed);
    }
    EXPECT_EQ(seen.messages, messages);
    EXPECT_EQ(seen.sent, std::to_string(c.counters));
    EXPECT_EQ(seen.received, std::to_string(c.counters));
    EXPECT_EQ(line.detects, c.detects);
    EXPECT_EQ(line.writes, Writes(c.lastBlock, kB, c.blockSends));
    EXPECT_EQ(line.resets, c.resets);
    EXPECT_EQ(line.others, 0);
    EXPECT_EQ(eepromBlocks, c.eepromBlocks);

    // Nothing acknowledged is reported as failed, nothing unacknowledged as written: a run the
    // operator was not told about left the whole image; a reported write failure names the
    // block the progress bar stopped at, and every block before it is there.
    const bool writeReported = messages.size() > 0 && messages[0] == kWriteFailed;
    if (messages.empty() || messages == std::vector<std::string>{kResetFailed}) {
        EXPECT_EQ(eepromBlocks, kBlocks);
    }
    if (writeReported) {
        EXPECT_EQ(seen.progress, kB);
        EXPECT_GE(eepromBlocks, kB);
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
    std::string fault = Fault_Name(info.param.cell);
    std::replace(fault.begin(), fault.end(), '=', '_');
    return std::string(info.param.onTheLine ? "Line_" : "VirtualClock_") + fault + "_" +
           Where(info.param.cell).name;
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, ::testing::ValuesIn(All_Params()), Cell_Name);

}  // namespace
}  // namespace lcdprog::test
