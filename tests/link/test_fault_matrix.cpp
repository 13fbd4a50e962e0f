// The fault matrix: every way the virtual module can misbehave, at every place of a programming
// run, on the virtual clock. For each cell: the messages the operator sees (exactly, in order),
// both packet counters, and how much of the image reached the module's EEPROM.
//
// A fault hits one request: the Kth attempt of an exchange. To reach attempt K the attempts
// before it get a corrupt checksum (the cheapest failure: the reply is complete, the retry
// follows at once).

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "link/programming_run.h"
#include "state/mod_variabili.h"
#include "support/sim_line.h"

namespace lcdprog::test {
namespace {

const std::string kHead = "Comunicazione seriale interrotta.\r\n";
const std::string kNoModule = kHead + "Impossibile trovare il modulo, verificare la connessione!";
const std::string kWriteFailed = kHead + "Scrittura EEPROM I2C fallita!";
const std::string kResetFailed = kHead + "Impossibile resettare PIC!";

struct Place {
    const char* name;
    const char* where;  // lcdprog-sim's place, before the attempt number
    int attempt;
};
const Place kDetectLast{"detection_last_attempt", "detect=", 3};
const Place kBlock1{"block100_attempt1", "block=100,attempt=", 1};
const Place kBlock2{"block100_attempt2", "block=100,attempt=", 2};
const Place kBlock3{"block100_attempt3", "block=100,attempt=", 3};
const Place kResetLast{"reset_last_attempt", "reset=", 3};

struct Cell {
    const char* fault;     // lcdprog-sim's --fault kind
    Place place;
    const char* messages;  // in order: D no module, W write failed, R reset failed
    int counters;          // txt_Send_Packet and txt_Received_Packet
    int eepromBlocks;      // leading blocks of the EEPROM holding the image, the rest blank
};

// clang-format off
const Cell kCells[] = {
    // A reply that is missing, damaged or incomplete fails its attempt.
    {"noanswer", kDetectLast, "D", 3, 0},   {"noanswer", kBlock1, "", 515, 512},
    {"noanswer", kBlock2, "", 516, 512},    {"noanswer", kBlock3, "W", 105, 101},
    {"noanswer", kResetLast, "R", 516, 512},
    {"badsum", kDetectLast, "D", 3, 0},     {"badsum", kBlock1, "", 515, 512},
    {"badsum", kBlock2, "", 516, 512},      {"badsum", kBlock3, "W", 105, 101},
    {"badsum", kResetLast, "R", 516, 512},
    {"badcmd", kDetectLast, "D", 3, 0},     {"badcmd", kBlock1, "", 515, 512},
    {"badcmd", kBlock2, "", 516, 512},      {"badcmd", kBlock3, "W", 105, 101},
    {"badcmd", kResetLast, "R", 516, 512},
    {"short", kDetectLast, "D", 3, 0},      {"short", kBlock1, "", 515, 512},
    {"short", kBlock2, "", 516, 512},       {"short", kBlock3, "W", 105, 101},
    {"short", kResetLast, "R", 516, 512},
    // A reply 3100 ms late misses its wait and lands in the next one, where it is taken for the
    // answer to the repeated request (it is the same reply). After block 100's third attempt it
    // lands in the reset's first wait, which it fails (wrong command byte): the reset needs a
    // second attempt.
    {"late=3100", kDetectLast, "D", 3, 0},  {"late=3100", kBlock1, "", 515, 512},
    {"late=3100", kBlock2, "", 516, 512},   {"late=3100", kBlock3, "W", 106, 101},
    {"late=3100", kResetLast, "R", 516, 512},
    // After a hang-up, or once the module falls silent, nothing is answered: a failed block is
    // followed by a failed reset. The module stored the write it stopped at.
    {"hangup", kDetectLast, "D", 3, 0},     {"hangup", kBlock1, "WR", 107, 101},
    {"hangup", kBlock2, "WR", 107, 101},    {"hangup", kBlock3, "WR", 107, 101},
    {"hangup", kResetLast, "R", 516, 512},
    {"silent", kDetectLast, "D", 3, 0},     {"silent", kBlock1, "WR", 107, 101},
    {"silent", kBlock2, "WR", 107, 101},    {"silent", kBlock3, "WR", 107, 101},
    {"silent", kResetLast, "R", 516, 512},
    // A whole reply, in pieces, with bytes after it, or late but inside the 3000 ms, is good.
    {"split", kDetectLast, "", 516, 512},   {"split", kBlock1, "", 514, 512},
    {"split", kBlock2, "", 515, 512},       {"split", kBlock3, "", 516, 512},
    {"split", kResetLast, "", 516, 512},
    {"extra", kDetectLast, "", 516, 512},   {"extra", kBlock1, "", 514, 512},
    {"extra", kBlock2, "", 515, 512},       {"extra", kBlock3, "", 516, 512},
    {"extra", kResetLast, "", 516, 512},
    {"late=2900", kDetectLast, "", 516, 512}, {"late=2900", kBlock1, "", 514, 512},
    {"late=2900", kBlock2, "", 515, 512},   {"late=2900", kBlock3, "", 516, 512},
    {"late=2900", kResetLast, "", 516, 512},
};
// clang-format on

// How many leading blocks hold MemoryImage with every later byte blank; -1 for anything else.
int Blocks_Written(const lcdsim::Eeprom& eeprom) {
    const auto differs = std::mismatch(eeprom.begin(), eeprom.end(), MemoryImage.begin());
    const auto at = static_cast<int>(differs.first - eeprom.begin());
    const int blocks = at / 128;
    return std::all_of(eeprom.begin() + blocks * 128, eeprom.end(),
                       [](std::uint8_t b) { return b == 0xFF; })
               ? blocks
               : -1;
}

void PrintTo(const Cell& c, std::ostream* os) {
    *os << c.fault << " at " << c.place.name;
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {
  protected:
    void SetUp() override { Reset_Program_State(); }
    void TearDown() override { Reset_Program_State(); }
};

TEST_P(FaultMatrix, WhatTheOperatorSeesAndWhatTheModuleKeeps) {
    const Cell& c = GetParam();
    std::vector<std::string> faults;
    for (int a = 1; a <= c.place.attempt; ++a) {
        faults.push_back(std::string(a < c.place.attempt ? "badsum" : c.fault) + ":" +
                         c.place.where + std::to_string(a));
    }
    SimLine line(faults);
    line.Open();
    FakeFileService files;
    Fill_Slots_With_Noise(files);

    const RunResult result = Run_Programming({files, line.messages}, line.Io());

    std::vector<ShownMessage> expected;
    for (const char* m = c.messages; *m != '\0'; ++m) {
        expected.push_back({*m == 'D' ? kNoModule : *m == 'W' ? kWriteFailed : kResetFailed,
                            "ERROR RS232", platform::MessageIcon::Critical});
    }
    EXPECT_EQ(line.messages.shown, expected);
    EXPECT_EQ(line.sendCounter.text, std::to_string(c.counters));
    EXPECT_EQ(line.receivedCounter.text, std::to_string(c.counters));
    EXPECT_EQ(Blocks_Written(line.module.Memory()), c.eepromBlocks);
    EXPECT_EQ(result.end, c.messages[0] == 'D'   ? RunEnd::NoModule
                          : c.messages[0] == 'W' ? RunEnd::WriteFailed
                                                 : RunEnd::Written);
    EXPECT_EQ(result.resetSent, c.messages[0] != 'D');
    // A reported write failure leaves the bar at the block that failed.
    EXPECT_EQ(line.progress.value, c.messages[0] == 'D' ? 0 : c.messages[0] == 'W' ? 100 : 511);
}

std::string Cell_Name(const ::testing::TestParamInfo<Cell>& info) {
    std::string fault = info.param.fault;
    std::replace(fault.begin(), fault.end(), '=', '_');
    return fault + "_" + info.param.place.name;
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, ::testing::ValuesIn(kCells), Cell_Name);

}  // namespace
}  // namespace lcdprog::test
