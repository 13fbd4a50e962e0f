// What an operator of lcdprog-sim notices of its command line: both spellings of an option, a
// fault written back in one form (as the log shows it), and a bad option or fault refused with
// its reason, changing nothing.

#include <gtest/gtest.h>

#include "sim_options.h"

namespace lcdsim {
namespace {

TEST(SimOptions, BothSpellingsFaultsInOneFormAndBadOnesRefusedWithTheirReason) {
    Options options;
    std::string error;
    const std::vector<std::string> args = {
        "--link",       "/tmp/lcd", "--baud=9600", "--fault", "noanswer:attempt=2,block",
        "--fault=short"};
    ASSERT_EQ(Parse_Command_Line(args, options, error), Parse_Outcome::Run) << error;
    EXPECT_EQ(options.link, "/tmp/lcd");
    EXPECT_EQ(Module_Config(options).baud, 9600);
    ASSERT_EQ(options.faults.size(), 2u);
    EXPECT_EQ(Describe_Fault(options.faults[0]) + " " + Describe_Fault(options.faults[1]),
              "noanswer:block,attempt=2 short=1");
    EXPECT_EQ(Parse_Command_Line(std::vector<std::string>{"--log", "--help"}, options, error),
              Parse_Outcome::Help);

    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"/dev/pts/3"}, "unknown option \"/dev/pts/3\" (see --help)"},
        {{"--link"}, "--link needs a value (see --help)"},
        {{"--baud", "0"}, "--baud needs a whole number from 50 to 4000000, not \"0\""},
        {{"--load"}, "--load needs --eeprom FILE"},
        {{"--fault", "timeout"},
         "fault \"timeout\": unknown kind \"timeout\" (none, noanswer, badsum, badcmd, short, "
         "split, extra, late, silent, hangup)"},
        {{"--fault=badsum:block=512"},
         "fault \"badsum:block=512\": block needs a whole number from 0 to 511"},
        {{"--fault=badsum:packet=3,attempt=1"},
         "fault \"badsum:packet=3,attempt=1\": attempt needs detect, block or reset"},
    };
    for (const auto& [bad, message] : cases) {
        Options kept;
        kept.link = "/kept";
        EXPECT_EQ(Parse_Command_Line(bad, kept, error), Parse_Outcome::Error) << message;
        EXPECT_EQ(error, message);
        EXPECT_TRUE(kept.link == "/kept" && kept.faults.empty());
    }
}

}  // namespace
}  // namespace lcdsim
