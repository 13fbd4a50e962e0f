#include <gtest/gtest.h>

#include "sim_options.h"

namespace lcdsim {
namespace {

TEST(SimOptions, DefaultsThenEveryOptionInBothSpellingsWithFaultsInCanonicalForm) {
    Options options;
    std::string error;
    std::vector<std::string> args;
    ASSERT_EQ(Parse_Command_Line(args, options, error), Parse_Outcome::Run);
    ModuleConfig config = Module_Config(options);
    EXPECT_EQ(config.baud, 115200);
    EXPECT_EQ(config.pageTime, 5 * kMillisecond);
    EXPECT_EQ(config.frameGap, 50 * kMillisecond);
    EXPECT_EQ(options.reopenAfterMs, -1);

    args = {"--link",         "/tmp/lcd",    "--eeprom=/tmp/e.bin", "--load", "--png",
            "/tmp/p",         "--baud=9600", "--page-ms",           "0",      "--frame-gap-ms=0",
            "--reopen-after", "2000",        "--exit-after-reset",  "--log",  "--quiet"};
    const std::pair<const char*, const char*> faults[] = {
        {"short", "short=1"},
        {"split", "split=10"},
        {"late=3500:reset=1", "late=3500:reset,attempt=1"},
        {"noanswer:attempt=2,block", "noanswer:block,attempt=2"},
        {"noanswer:detect,attempt=3,times=1", "noanswer:detect,attempt=3,times=1"},
    };
    for (const auto& [text, canonical] : faults) {
        args.push_back(std::string("--fault=") + text);
    }
    ASSERT_EQ(Parse_Command_Line(args, options, error), Parse_Outcome::Run) << error;
    EXPECT_EQ(options.link, "/tmp/lcd");
    EXPECT_EQ(options.eeprom, "/tmp/e.bin");
    EXPECT_EQ(options.pngDir, "/tmp/p");
    EXPECT_EQ(options.reopenAfterMs, 2000);
    EXPECT_TRUE(options.load && options.exitAfterReset && options.log && options.quiet);
    config = Module_Config(options);
    EXPECT_EQ(config.baud, 9600);
    EXPECT_EQ(config.pageTime, 0);
    EXPECT_EQ(config.frameGap, 0);
    ASSERT_EQ(config.faults.size(), std::size(faults));
    for (std::size_t i = 0; i < std::size(faults); ++i) {
        EXPECT_EQ(Describe_Fault(config.faults[i]), faults[i].second);
    }
}

TEST(SimOptions, HelpWinsAndDocumentsEveryOption) {
    Options options;
    std::string error;
    const std::vector<std::string> args = {"--log", "--help"};
    EXPECT_EQ(Parse_Command_Line(args, options, error), Parse_Outcome::Help);
    for (const char* word :
         {"--link",    "--baud",    "--page-ms", "--frame-gap-ms", "--eeprom",
          "--load",    "--png",     "--fault",   "--reopen-after", "--exit-after-reset",
          "--log",     "--quiet",   "--help",    "noanswer",       "badsum",
          "badcmd",    "short",     "split",     "extra",          "late=MS",
          "silent",    "hangup",    "packet=N",  "detect[=K]",     "block[=B]",
          "reset[=K]", "attempt=K", "times=N"}) {
        EXPECT_NE(Help_Text().find(word), std::string::npos) << word;
    }
}

TEST(SimOptions, BadOptionsAndFaultsSayWhyAndChangeNothing) {
    const std::string kinds =
        "\" (none, noanswer, badsum, badcmd, short, split, extra, late, silent, hangup)";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"/dev/pts/3"}, "unknown option \"/dev/pts/3\" (see --help)"},
        {{"--link"}, "--link needs a value (see --help)"},
        {{"--baud", "0"}, "--baud needs a whole number from 50 to 4000000, not \"0\""},
        {{"--log=yes"}, "--log takes no value"},
        {{"--load"}, "--load needs --eeprom FILE"},
        {{"--fault", "timeout"}, "fault \"timeout\": unknown kind \"timeout" + kinds},
        {{"--fault=late"}, "fault \"late\": late needs a value, e.g. late=3500"},
        {{"--fault=late=-1"}, "fault \"late=-1\": late needs a whole number from 0 to 600000"},
        {{"--fault=noanswer=3"}, "fault \"noanswer=3\": noanswer takes no value"},
        {{"--fault=badsum:"}, "fault \"badsum:\": nothing after ':'"},
        {{"--fault=badsum:packet"},
         "fault \"badsum:packet\": packet needs a number, e.g. packet=101"},
        {{"--fault=badsum:block=512"},
         "fault \"badsum:block=512\": block needs a whole number from 0 to 511"},
        {{"--fault=badsum:detect,block=1"},
         "fault \"badsum:detect,block=1\": only one of packet, detect, block, reset may be given"},
        {{"--fault=badsum:packet=3,attempt=1"},
         "fault \"badsum:packet=3,attempt=1\": attempt needs detect, block or reset"},
        {{"--fault=badsum:reset=1,attempt=2"},
         "fault \"badsum:reset=1,attempt=2\": attempt given twice"},
        {{"--fault=badsum:blocks=7"},
         "fault \"badsum:blocks=7\": unknown place \"blocks=7\" (packet=N, detect[=K], "
         "block[=B], reset[=K], attempt=K, times=N)"},
    };
    for (const auto& [args, message] : cases) {
        Options options;
        options.link = "/kept";
        std::string error;
        EXPECT_EQ(Parse_Command_Line(args, options, error), Parse_Outcome::Error) << message;
        EXPECT_EQ(error, message);
        EXPECT_EQ(options.link, "/kept");
        EXPECT_TRUE(options.faults.empty());
    }
}

}  // namespace
}  // namespace lcdsim
