#include <gtest/gtest.h>

#include "sim_options.h"

namespace lcdsim {
namespace {

Parse_Outcome Parse(std::vector<std::string> args, Options& options, std::string& error) {
    return Parse_Command_Line(args, options, error);
}

TEST(SimOptions, DefaultsMatchTheRealLine) {
    Options options;
    std::string error;
    ASSERT_EQ(Parse({}, options, error), Parse_Outcome::Run);
    const ModuleConfig config = Module_Config(options);
    EXPECT_EQ(config.baud, 115200);
    EXPECT_EQ(config.pageTime, 5 * kMillisecond);
    EXPECT_EQ(config.frameGap, 50 * kMillisecond);
    EXPECT_TRUE(config.faults.empty());
    EXPECT_EQ(options.reopenAfterMs, -1);
    EXPECT_FALSE(options.exitAfterReset);
}

TEST(SimOptions, EveryOptionInBothSpellings) {
    Options options;
    std::string error;
    ASSERT_EQ(Parse({"--link", "/tmp/lcd", "--eeprom=/tmp/e.bin", "--load", "--png", "/tmp/p",
                     "--baud=9600", "--page-ms", "0", "--frame-gap-ms=0", "--fault",
                     "noanswer:block=7", "--fault=hangup:packet=101", "--reopen-after", "2000",
                     "--exit-after-reset", "--log", "--quiet"},
                    options, error),
              Parse_Outcome::Run)
        << error;
    EXPECT_EQ(options.link, "/tmp/lcd");
    EXPECT_EQ(options.eeprom, "/tmp/e.bin");
    EXPECT_TRUE(options.load);
    EXPECT_EQ(options.pngDir, "/tmp/p");
    EXPECT_EQ(options.reopenAfterMs, 2000);
    EXPECT_TRUE(options.exitAfterReset);
    EXPECT_TRUE(options.log);
    EXPECT_TRUE(options.quiet);
    const ModuleConfig config = Module_Config(options);
    EXPECT_EQ(config.baud, 9600);
    EXPECT_EQ(config.pageTime, 0);
    EXPECT_EQ(config.frameGap, 0);
    ASSERT_EQ(config.faults.size(), 2u);
    EXPECT_EQ(Describe_Fault(config.faults[0]), "noanswer:block=7");
    EXPECT_EQ(Describe_Fault(config.faults[1]), "hangup:packet=101");
}

TEST(SimOptions, HelpWinsAndDocumentsEveryOption) {
    Options options;
    std::string error;
    EXPECT_EQ(Parse({"--log", "--help"}, options, error), Parse_Outcome::Help);
    EXPECT_EQ(Parse({"-h"}, options, error), Parse_Outcome::Help);
    const std::string help = Help_Text();
    for (const char* word :
         {"--link",    "--baud",    "--page-ms", "--frame-gap-ms", "--eeprom",
          "--load",    "--png",     "--fault",   "--reopen-after", "--exit-after-reset",
          "--log",     "--quiet",   "--help",    "noanswer",       "badsum",
          "badcmd",    "short",     "split",     "extra",          "late=MS",
          "silent",    "hangup",    "packet=N",  "detect[=K]",     "block[=B]",
          "reset[=K]", "attempt=K", "times=N"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
}

TEST(SimOptions, BadCommandLinesSayWhyAndChangeNothing) {
    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        {{"--bogus"}, "unknown option \"--bogus\" (see --help)"},
        {{"/dev/pts/3"}, "unknown option \"/dev/pts/3\" (see --help)"},
        {{"--link"}, "--link needs a value (see --help)"},
        {{"--link="}, "--link needs a non-empty value"},
        {{"--baud", "fast"}, "--baud needs a whole number from 50 to 4000000, not \"fast\""},
        {{"--baud=0"}, "--baud needs a whole number from 50 to 4000000, not \"0\""},
        {{"--page-ms", "-1"}, "--page-ms needs a whole number from 0 to 10000, not \"-1\""},
        {{"--frame-gap-ms=60001"},
         "--frame-gap-ms needs a whole number from 0 to 60000, not \"60001\""},
        {{"--reopen-after", "2s"},
         "--reopen-after needs a whole number from 0 to 600000, not \"2s\""},
        {{"--log=yes"}, "--log takes no value"},
        {{"--load"}, "--load needs --eeprom FILE"},
        {{"--fault", "late"}, "fault \"late\": late needs a value, e.g. late=3500"},
        {{"--fault"}, "--fault needs a value (see --help)"},
    };
    for (const auto& c : cases) {
        Options options;
        options.link = "/kept";
        options.baud = 1234;
        std::string error;
        EXPECT_EQ(Parse(c.args, options, error), Parse_Outcome::Error) << c.args[0];
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(options.link, "/kept");
        EXPECT_EQ(options.baud, 1234);
        EXPECT_TRUE(options.faults.empty());
    }
}

}  // namespace
}  // namespace lcdsim
