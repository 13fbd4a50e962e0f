// Every way the virtual module can misbehave, at every place of a run, on the virtual clock: the
// messages the operator sees (exactly, in order), both counters, and what the EEPROM kept. A
// fault hits the Kth attempt of an exchange; the attempts before it get a corrupt checksum (the
// reply is complete, so the retry follows at once).

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <tuple>
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
const Place kPlaces[] = {{"detection_last_attempt", "detect=", 3},
                         {"block100_attempt1", "block=100,attempt=", 1},
                         {"block100_attempt2", "block=100,attempt=", 2},
                         {"block100_attempt3", "block=100,attempt=", 3},
                         {"reset_last_attempt", "reset=", 3}};

struct Outcome {
    const char* messages;  // in order: D no module, W write failed, R reset failed
    int counters;          // txt_Send_Packet and txt_Received_Packet
    int eepromBlocks;      // leading blocks of the EEPROM holding the image, the rest blank
};
struct Row {
    const char* fault;  // lcdprog-sim's --fault kind
    Outcome at[5];      // one cell per place, in the order of kPlaces
};

// clang-format off
const Row kRows[] = {
    // A reply that is missing, damaged or incomplete fails its attempt.
    {"noanswer", {{"D", 3, 0}, {"", 515, 512}, {"", 516, 512}, {"W", 105, 101}, {"R", 516, 512}}},
    {"badsum", {{"D", 3, 0}, {"", 515, 512}, {"", 516, 512}, {"W", 105, 101}, {"R", 516, 512}}},
    {"badcmd", {{"D", 3, 0}, {"", 515, 512}, {"", 516, 512}, {"W", 105, 101}, {"R", 516, 512}}},
    {"short", {{"D", 3, 0}, {"", 515, 512}, {"", 516, 512}, {"W", 105, 101}, {"R", 516, 512}}},
    // A reply 3100 ms late lands in the next wait and answers the repeated request (it is the same
    // reply). After block 100's third attempt it fails the reset's first wait (wrong command).
    {"late=3100", {{"D", 3, 0}, {"", 515, 512}, {"", 516, 512}, {"W", 106, 101}, {"R", 516, 512}}},
    // After a hang-up, or once the module falls silent, nothing is answered: a failed block is
    // followed by a failed reset. The module stored the write it stopped at.
    {"hangup",
     {{"D", 3, 0}, {"WR", 107, 101}, {"WR", 107, 101}, {"WR", 107, 101}, {"R", 516, 512}}},
    {"silent",
     {{"D", 3, 0}, {"WR", 107, 101}, {"WR", 107, 101}, {"WR", 107, 101}, {"R", 516, 512}}},
    // A whole reply, in pieces, with bytes after it, or late but inside the 3000 ms, is good.
    {"split", {{"", 516, 512}, {"", 514, 512}, {"", 515, 512}, {"", 516, 512}, {"", 516, 512}}},
    {"extra", {{"", 516, 512}, {"", 514, 512}, {"", 515, 512}, {"", 516, 512}, {"", 516, 512}}},
    {"late=2900", {{"", 516, 512}, {"", 514, 512}, {"", 515, 512}, {"", 516, 512}, {"", 516, 512}}},
};
// clang-format on

using Cell = std::tuple<Row, int>;  // a fault, and the index of its place
void PrintTo(const Row& r, std::ostream* os) {
    *os << r.fault;
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {};

TEST_P(FaultMatrix, WhatTheOperatorSeesAndWhatTheModuleKeeps) {
    const auto& [row, p] = GetParam();
    const Place& place = kPlaces[p];
    const Outcome& c = row.at[p];
    std::vector<std::string> faults;
    for (int a = 1; a <= place.attempt; ++a) {
        faults.push_back(std::string(a < place.attempt ? "badsum" : row.fault) + ":" + place.where +
                         std::to_string(a));
    }
    SimLine line(faults);
    line.Open();
    FakeFileService files;
    Fill_Slots_With_Noise(line.state, files);

    const RunResult result = Run_Programming({files, line.messages}, line.Io());

    std::vector<ShownMessage> expected;
    for (const char* m = c.messages; *m != '\0'; ++m) {
        expected.push_back({*m == 'D'   ? kNoModule
                            : *m == 'W' ? kWriteFailed
                                        : kResetFailed,
                            "ERROR RS232", platform::MessageIcon::Critical});
    }
    EXPECT_EQ(line.messages.shown, expected);
    EXPECT_EQ(line.sendCounter.text, std::to_string(c.counters));
    EXPECT_EQ(line.receivedCounter.text, std::to_string(c.counters));
    MemoryImageBytes stored;
    stored.fill(0xFF);
    std::copy_n(line.state.MemoryImage.begin(), c.eepromBlocks * 128, stored.begin());
    EXPECT_TRUE(line.module.Memory() == stored) << "expected " << c.eepromBlocks << " blocks";
    // A hang-up closes the port: the run names that rather than the step it failed.
    const char first = c.messages[0];
    EXPECT_EQ(result.failure, row.fault == std::string("hangup") ? RunFailure::PortLost
                              : first == 'D'                     ? RunFailure::ModuleNotFound
                              : first == 'W'                     ? RunFailure::BlockFailed
                              : first == 'R'                     ? RunFailure::ResetFailed
                                                                 : RunFailure::None);
    EXPECT_EQ(result.block, first == 'D' ? 0 : first == 'W' ? 100 : 512);
    EXPECT_EQ(result.text, expected.empty() ? "" : expected[0].text);
    EXPECT_EQ(result.resetSent, c.messages[0] != 'D');
    // A reported write failure leaves the bar at the block that failed.
    EXPECT_EQ(line.progress.value, c.messages[0] == 'D' ? 0 : c.messages[0] == 'W' ? 100 : 511);
}

std::string Cell_Name(const ::testing::TestParamInfo<Cell>& info) {
    std::string fault = std::get<0>(info.param).fault;
    std::replace(fault.begin(), fault.end(), '=', '_');
    return fault + "_" + kPlaces[std::get<1>(info.param)].name;
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(kRows), ::testing::Range(0, 5)),
                         Cell_Name);

}  // namespace
}  // namespace lcdprog::test
