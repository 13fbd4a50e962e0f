#include <gtest/gtest.h>

#include "sim_faults.h"

namespace lcdsim {
namespace {

TEST(SimFaultSyntax, AcceptedFaultsInTheirCanonicalForm) {
    struct Case {
        const char* text;
        const char* canonical;
    };
    const Case cases[] = {
        {"none", "none"},
        {"noanswer", "noanswer"},
        {"badsum:detect", "badsum:detect"},
        {"badcmd:block=0", "badcmd:block=0"},
        {"short", "short=1"},
        {"short=3:reset", "short=3:reset"},
        {"split", "split=10"},
        {"split=0:block", "split=0:block"},
        {"extra=4:block=511", "extra=4:block=511"},
        {"late=3500:reset=1", "late=3500:reset,attempt=1"},
        {"late=0", "late=0"},
        {"silent:packet=50", "silent:packet=50"},
        {"hangup:packet=101", "hangup:packet=101"},
        {"noanswer:block=7,attempt=2", "noanswer:block=7,attempt=2"},
        {"noanswer:attempt=2,block=7", "noanswer:block=7,attempt=2"},
        {"noanswer:detect,attempt=3,times=1", "noanswer:detect,attempt=3,times=1"},
        {"badsum:times=5", "badsum:times=5"},
    };
    for (const auto& c : cases) {
        std::string error;
        auto fault = Parse_Fault(c.text, error);
        ASSERT_TRUE(fault) << c.text << ": " << error;
        EXPECT_EQ(Describe_Fault(*fault), c.canonical) << c.text;
        EXPECT_EQ(error, "");
    }
}

TEST(SimFaultSyntax, ParsedFields) {
    std::string error;
    auto fault = Parse_Fault("late=3500:block=7,attempt=2,times=1", error);
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->kind, FaultKind::Late);
    EXPECT_EQ(fault->value, 3500);
    EXPECT_EQ(fault->where.kind, FaultPlace::Kind::Block);
    EXPECT_EQ(fault->where.block, 7);
    EXPECT_EQ(fault->where.attempt, 2);
    EXPECT_EQ(fault->where.times, 1);
}

TEST(SimFaultSyntax, RefusedFaultsSayWhy) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"",
         "fault \"\": unknown kind \"\" (none, noanswer, badsum, badcmd, short, split, extra, "
         "late, silent, hangup)"},
        {"timeout",
         "fault \"timeout\": unknown kind \"timeout\" (none, noanswer, badsum, badcmd, "
         "short, split, extra, late, silent, hangup)"},
        {"late", "fault \"late\": late needs a value, e.g. late=3500"},
        {"late=abc", "fault \"late=abc\": late needs a whole number from 0 to 600000"},
        {"late=-1", "fault \"late=-1\": late needs a whole number from 0 to 600000"},
        {"late=600001", "fault \"late=600001\": late needs a whole number from 0 to 600000"},
        {"noanswer=3", "fault \"noanswer=3\": noanswer takes no value"},
        {"short=0", "fault \"short=0\": short needs a whole number from 1 to 255"},
        {"extra=1x", "fault \"extra=1x\": extra needs a whole number from 1 to 255"},
        {"noanswer:", "fault \"noanswer:\": nothing after ':'"},
        {"noanswer:packet", "fault \"noanswer:packet\": packet needs a number, e.g. packet=101"},
        {"noanswer:packet=0",
         "fault \"noanswer:packet=0\": packet needs a whole number from 1 to 1000000000"},
        {"noanswer:block=512",
         "fault \"noanswer:block=512\": block needs a whole number from 0 to 511"},
        {"noanswer:detect,block=1",
         "fault \"noanswer:detect,block=1\": only one of packet, detect, block, reset may be "
         "given"},
        {"noanswer:attempt=2",
         "fault \"noanswer:attempt=2\": attempt needs detect, block or reset"},
        {"noanswer:packet=3,attempt=1",
         "fault \"noanswer:packet=3,attempt=1\": attempt needs detect, block or reset"},
        {"noanswer:detect=1,attempt=2",
         "fault \"noanswer:detect=1,attempt=2\": attempt given twice"},
        {"noanswer:block=1,attempt=0",
         "fault \"noanswer:block=1,attempt=0\": attempt needs a whole number from 1 to 1000000"},
        {"noanswer:times=0",
         "fault \"noanswer:times=0\": times needs a whole number from 1 to 1000000000"},
        {"noanswer:times=1,times=2", "fault \"noanswer:times=1,times=2\": times given twice"},
        {"noanswer:block=7,",
         "fault \"noanswer:block=7,\": unknown place \"\" (packet=N, "
         "detect[=K], block[=B], reset[=K], attempt=K, times=N)"},
        {"noanswer:blocks=7",
         "fault \"noanswer:blocks=7\": unknown place \"blocks=7\" (packet=N, "
         "detect[=K], block[=B], reset[=K], attempt=K, times=N)"},
    };
    for (const auto& c : cases) {
        std::string error = "untouched";
        EXPECT_FALSE(Parse_Fault(c.text, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(SimFaultPlace, SelectsRequestsByNumberKindBlockAndAttempt) {
    using K = FaultPlace::Kind;
    using R = RequestKind;
    struct Case {
        FaultPlace where;
        RequestContext request;
        bool matches;
    };
    const Case cases[] = {
        {{K::Every, 0, -1, 0, 0}, {9, R::Other, -1, 0}, true},
        {{K::Packet, 9, -1, 0, 0}, {9, R::Other, -1, 0}, true},
        {{K::Packet, 9, -1, 0, 0}, {10, R::Detect, -1, 1}, false},
        {{K::Detect, 0, -1, 0, 0}, {3, R::Detect, -1, 3}, true},
        {{K::Detect, 0, -1, 2, 0}, {3, R::Detect, -1, 3}, false},
        {{K::Detect, 0, -1, 0, 0}, {3, R::Reset, -1, 1}, false},
        {{K::Block, 0, -1, 0, 0}, {3, R::Write, 17, 1}, true},
        {{K::Block, 0, 17, 1, 0}, {3, R::Write, 17, 1}, true},
        {{K::Block, 0, 17, 1, 0}, {3, R::Write, 16, 1}, false},
        {{K::Block, 0, 17, 2, 0}, {3, R::Write, 17, 1}, false},
        {{K::Block, 0, -1, 0, 0}, {3, R::Detect, -1, 1}, false},
        {{K::Reset, 0, -1, 3, 0}, {3, R::Reset, -1, 3}, true},
        {{K::Reset, 0, -1, 0, 0}, {3, R::Other, -1, 0}, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(Fault_Place_Matches(cases[i].where, cases[i].request), cases[i].matches)
            << "case " << i;
    }
}

}  // namespace
}  // namespace lcdsim
