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
//   - on the virtual clock only (a modelled module, VirtualBench below): the other
//     places of the slow faults.
// The cells that run both ways check that the modelled module and lcdprog-sim give the program
// the same experience.

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "link/scripted_module.h"
#include "state/mod_variabili.h"

namespace lcdprog::test {
namespace {

constexpr int kB = 100;  // the block the block cells pick on
enum class Target { Detect, Block, Reset };

enum class Misbehaviour {
    None,
    NoAnswer,
    BadSum,    // the checksum byte complemented
    BadCmd,    // the command byte one higher, the checksum matching it
    Short,     // the last byte missing
    Split,     // first half, the rest 10 ms later
    Extra,     // one byte 0xAA after the reply
    Late2900,  // 2900 ms later than normal
    Late3100,  // 3100 ms later than normal
    HangUp,    // the port closes as the request arrives, nothing more is answered
};
using M = Misbehaviour;

// Computed here, not with the link's helper, so that a wrong sum there cannot agree with itself.
std::string With_Checksum(std::string bytes) {
    unsigned sum = 0;
    for (const char c : bytes) {
        sum += static_cast<unsigned char>(c);
    }
    bytes.push_back(static_cast<char>(~sum & 0xFFu));
    return bytes;
}

// The module as lcdprog-sim behaves, on the virtual clock of the link's scripted module: stores
// every intact write as it arrives (also when its acknowledgement is then lost), acknowledges
// after a page-write time; replies never overlap on the line; replies due in the same
// millisecond arrive together. `faults[a]` hits attempt a + 1 at the cell's place.
struct VirtualBench {
    explicit VirtualBench(Target target, std::vector<Misbehaviour> faults)
        : target_(target), faults_(std::move(faults)) {
        eeprom.fill(0xFF);
        link.script = [this](const std::string& packet, std::size_t) { return Answer(packet); };
        link.serial.SetPortOpen(false);  // the serial window's probe must find it closed
    }

    std::vector<Arrival> Answer(const std::string& packet) {
        const LinePacket what = Classify(packet);
        if (hungUp_ || what.kind == LinePacket::Kind::Other) {
            return {};
        }
        const Target kind = what.kind == LinePacket::Kind::Write   ? Target::Block
                            : what.kind == LinePacket::Kind::Reset ? Target::Reset
                                                                   : Target::Detect;
        std::string reply = With_Checksum(kind == Target::Detect  ? std::string("\x87\x04LSIM", 6)
                                          : kind == Target::Reset ? std::string("\xFE\x00", 2)
                                                                  : std::string("\x04\x00", 2));
        if (kind == Target::Block) {
            if (packet.back() != With_Checksum(packet.substr(0, 134)).back()) {
                return {};
            }
            std::copy(packet.begin() + 6, packet.begin() + 134, eeprom.begin() + what.block * 128);
        }
        const long thing = kind == Target::Block ? what.block : -1 - static_cast<long>(kind);
        attempt_ = thing == last_ ? attempt_ + 1 : 1;
        last_ = thing;

        const std::uint64_t now = link.pump.Now();
        std::uint64_t ready = now + (kind == Target::Block ? 5 : 0);  // the page-write time
        const bool hit = kind == target_ && (kind != Target::Block || what.block == kB) &&
                         attempt_ <= static_cast<int>(faults_.size());
        const Misbehaviour f = hit ? faults_[static_cast<std::size_t>(attempt_ - 1)] : M::None;
        if (f == M::NoAnswer) {
            return {};
        }
        if (f == M::HangUp) {  // the real control closes the port when the line drops
            hungUp_ = true;
            return {{0, {}, [this] { link.serial.SetPortOpen(false); }}};
        }
        const int cmd = f == M::BadCmd ? 1 : 0;
        reply.front() = static_cast<char>(reply.front() + cmd);
        reply.back() = static_cast<char>((reply.back() - cmd) ^ (f == M::BadSum ? 0xFF : 0));
        reply.resize(reply.size() - (f == M::Short ? 1 : 0));
        reply += f == M::Extra ? "\xAA" : "";
        const std::uint64_t splitGap = f == M::Split ? 10 : 0;
        ready += f == M::Late2900 ? 2900 : f == M::Late3100 ? 3100 : 0;
        const std::uint64_t due = std::max(ready, lineFreeAt_);
        lineFreeAt_ = due + splitGap;
        const auto after = [now](std::uint64_t at) { return static_cast<std::uint32_t>(at - now); };
        if (splitGap > 0) {
            const std::size_t half = reply.size() / 2;
            return {{after(due), reply.substr(0, half), {}},
                    {after(due + splitGap), reply.substr(half), {}}};
        }
        return {{after(due), reply, {}}};
    }

    ScriptedLink link;
    Eeprom eeprom;
    platform::PosixFileService files{Bin_Folder()};
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services{files,       link.messages, link.clock, link.pump,
                                link.serial, dialog,        program};
    Desk desk{services};

  private:
    Target target_;
    std::vector<Misbehaviour> faults_;
    long last_ = -100;
    int attempt_ = 0;
    std::uint64_t lineFreeAt_ = 0;
    bool hungUp_ = false;
};

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
    Target target;
    int attempt;
    const char* simWhere;  // lcdprog-sim's place, before the attempt number
};
const PlaceInfo kPlaces[] = {
    {"detection_last_attempt", Target::Detect, 3, "detect="},
    {"block100_attempt1", Target::Block, 1, "block=100,attempt="},
    {"block100_attempt2", Target::Block, 2, "block=100,attempt="},
    {"block100_attempt3", Target::Block, 3, "block=100,attempt="},
    {"reset_last_attempt", Target::Reset, 3, "reset="},
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
    int eepromBlocks = -2;
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
        const ModuleAfter module = bench.Finish(c.fault == M::HangUp);
        line = module.line;
        eepromBlocks = Blocks_Written(module.eeprom);
    } else {
        std::vector<Misbehaviour> faults(static_cast<std::size_t>(place.attempt - 1), M::BadSum);
        faults.push_back(c.fault);
        VirtualBench bench(place.target, faults);
        ASSERT_TRUE(bench.desk.Open());
        TempFolder pictures;
        seen = Program(bench.desk, pictures, bench.dialog, bench.link.messages);
        std::vector<LinePacket> packets;
        for (const ScriptedLink::Sent& s : bench.link.sent) {
            packets.push_back(Classify(s.packet));
        }
        line = Count(packets);
        eepromBlocks = Blocks_Written(bench.eeprom);
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
