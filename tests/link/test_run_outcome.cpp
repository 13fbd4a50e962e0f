// One outcome from the link to every view: the port process's end at a lost port (on the virtual
// clock), and the words of the kinds the serial window's own run cannot show.

#include <gtest/gtest.h>

#include "link/programming_run.h"
#include "link/run_outcome.h"
#include "support/sim_line.h"

namespace lcdprog::test {
namespace {

// The module drops the line as a request arrives: the port process ends the unit there, with
// no request on the dead line and no wait for a reply that cannot come.
TEST(LostPort, ThePortProcessEndsTheUnitAtOnce) {
    const struct {
        const char* where;
        std::size_t packets;  // sent in all, the one that hung up included
        int blocks;
        std::optional<int> block;
    } rows[] = {
        {"detect", 1, 0, std::nullopt},
        {"block=100", 102, 100, 100},
        {"reset", 514, 512, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.where);
        SimLine line({std::string("hangup:") + row.where});
        line.Open();
        LinkIo io = line.Io();
        io.endOnClosedPort = true;
        const RunOutcome outcome = Outcome_Of(Write_Memory_Image(io), 0);
        EXPECT_EQ(outcome.failure, RunFailure::PortLost);
        EXPECT_EQ(outcome.blocks, row.blocks);
        EXPECT_EQ(outcome.block, row.block);
        ASSERT_EQ(line.sent.size(), row.packets);
        EXPECT_EQ(line.Now(), line.sent.back().at);  // not a millisecond of waiting
    }
}

TEST(RunOutcomeText, KindsOutsideTheWindowsOwnRuns) {
    const std::string why =
        "Il dispositivo /dev/ttyUSB0 non risponde più (scollegato?): porta chiusa.";
    const struct {
        RunOutcome outcome;
        const char* text;
    } rows[] = {
        {{RunFailure::PortLost, 0, std::nullopt, 0, why},
         "Porta persa durante la ricerca del modulo. Il dispositivo /dev/ttyUSB0 non risponde più "
         "(scollegato?): porta chiusa."},
        {{RunFailure::PortLost, 119, 119, 0, ""},
         "Porta persa al blocco 120 di 512: scrittura incompleta"},
        {{RunFailure::PortLost, 512, std::nullopt, 0, ""},
         "Memoria scritta, ma porta persa durante il reset del PIC"},
        {{RunFailure::Stopped, 0, std::nullopt, 0, ""},
         "Interrotto dall'operatore durante la ricerca del modulo"},
        {{RunFailure::Stopped, 512, std::nullopt, 0, ""},
         "Interrotto dall'operatore durante il reset del PIC: memoria scritta"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Outcome_Text(row.outcome), row.text);
    }
}

// The estimate waits for a pace worth the name, and never says 0 while a block is left.
TEST(RunOutcomeText, SecondsLeft) {
    EXPECT_EQ(Seconds_Left(7, 700), std::nullopt);
    EXPECT_EQ(Seconds_Left(8, 800), 51);
    EXPECT_EQ(Seconds_Left(511, 5110), 1);
}

}  // namespace
}  // namespace lcdprog::test
