#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim_module.h"
#include "sim_test_util.h"

namespace lcdsim::test {
namespace {

constexpr Nanos kStart = 1'000'000'000;  // an arbitrary moment on the monotonic clock
constexpr Nanos kMs = kMillisecond;

// Line times at 115200 baud, 10 bits per byte, rounded to the nanosecond.
constexpr Nanos kByte = 86806;
constexpr Nanos k2Bytes = 173611;
constexpr Nanos k3Bytes = 260417;
constexpr Nanos k4Bytes = 347222;
constexpr Nanos k5Bytes = 434028;
constexpr Nanos k7Bytes = 607639;

const Bytes kDetectReply = {0x87, 0x04, 0x4C, 0x53, 0x49, 0x4D, 0x3F};  // "LSIM"
const Bytes kWriteAck = {0x04, 0x00, 0xFB};
const Bytes kResetReply = {0xFE, 0x00, 0x01};

Action Send(Nanos due, Bytes bytes) {
    return {Action::Kind::Send, due, std::move(bytes)};
}

std::string Show(const std::vector<Action>& actions) {
    std::string text;
    for (const auto& a : actions) {
        text += a.kind == Action::Kind::HangUp ? "hangup" : "send " + Hex_Bytes(a.bytes, 300);
        text += " at +" + std::to_string(a.due) + "; ";
    }
    return text;
}

// Everything the module does within `window` after the request, with due times made relative
// to the request's arrival.
std::vector<Action> Exchange(Module& module, Nanos at, const Bytes& request,
                             Nanos window = 5000 * kMs) {
    module.Receive(at, request);
    auto actions = module.Take_Due(at + window);
    for (auto& a : actions) {
        a.due -= at;
    }
    return actions;
}

TEST(SimChecksum, ComplementOfTheEightBitSum) {
    struct Case {
        Bytes bytes;
        std::uint8_t checksum;
    };
    const Case cases[] = {
        {{0x87, 0x04, 0x41, 0x42, 0x43, 0x44}, 0x6A},
        {{0x87, 0x00}, 0x78},
        {{0x04, 0x00}, 0xFB},
        {{0xFE, 0x00}, 0x01},
        {{0xFE, 0x10}, 0xF1},
        {{}, 0xFF},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Checksum(c.bytes), c.checksum) << Hex_Bytes(c.bytes);
    }
    // Sums beyond 255 wrap: block 511 of an all-zero image ends in 0xF8, block 0 in 0x77.
    EXPECT_EQ(Write_Packet(0xFF80).back(), 0xF8);
    EXPECT_EQ(Write_Packet(0).back(), 0x77);
    EXPECT_EQ(Write_Packet(0, 0xFF).back(), 0xF7);
}

TEST(SimLineTime, TenBitsPerByteRoundedToTheNanosecond) {
    struct Case {
        std::size_t bytes;
        long baud;
        Nanos time;
    };
    const Case cases[] = {
        {1, 115200, kByte},      {3, 115200, k3Bytes}, {7, 115200, k7Bytes},
        {135, 115200, 11718750}, {1, 9600, 1041667},   {0, 115200, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Line_Time(c.bytes, c.baud), c.time) << c.bytes << " bytes at " << c.baud;
    }
}

TEST(SimModule, AnswersEachRequestWithItsReplyAtLinePace) {
    struct Case {
        const char* name;
        Bytes request;
        Bytes reply;
        Nanos due;  // after the request is complete
    };
    const Case cases[] = {
        {"detection", kDetect, kDetectReply, k7Bytes},
        {"write", Block(3), kWriteAck, 5 * kMs + k3Bytes},
        {"reset", kReset, kResetReply, k3Bytes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Module module({});
        module.Receive(kStart, c.request);
        ASSERT_EQ(module.Next_Deadline(), kStart + c.due);
        EXPECT_TRUE(module.Take_Due(kStart + c.due - 1).empty());
        auto actions = module.Take_Due(kStart + c.due);
        EXPECT_EQ(actions, std::vector<Action>{Send(kStart + c.due, c.reply)}) << Show(actions);
        EXPECT_EQ(module.Next_Deadline(), std::nullopt);
        EXPECT_EQ(module.Stats().frames, 1);
        EXPECT_EQ(module.Stats().rejected, 0);
    }
}

TEST(SimModule, PacingFollowsBaudAndPageTime) {
    ModuleConfig config;
    config.baud = 9600;
    config.pageTime = 12 * kMs;
    Module module(config);
    EXPECT_EQ(Exchange(module, kStart, kDetect),
              std::vector<Action>{Send(Line_Time(7, 9600), kDetectReply)});
    EXPECT_EQ(Exchange(module, kStart + kMs * 1000, Block(0)),
              std::vector<Action>{Send(12 * kMs + Line_Time(3, 9600), kWriteAck)});
}

TEST(SimModule, WriteStoresItsBytesAtItsAddressOnly) {
    Module module({});
    EXPECT_TRUE(std::all_of(module.Memory().begin(), module.Memory().end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
    // Block 124 (0x3E00) with data 0, 1, 2, ... 127.
    Exchange(module, kStart, Write_Packet(0x3E00, 0, 1));
    const auto& memory = module.Memory();
    for (int i = 0; i < 128; ++i) {
        ASSERT_EQ(memory[0x3E00 + i], i) << i;
    }
    EXPECT_EQ(memory[0x3DFF], 0xFF);
    EXPECT_EQ(memory[0x3E80], 0xFF);
    EXPECT_EQ(std::count(memory.begin(), memory.end(), 0xFF), 65536 - 128);
    EXPECT_EQ(module.Stats().writes, 1);

    // The last block fits exactly.
    Exchange(module, kStart + kMs * 1000, Write_Packet(0xFF80, 0x11));
    EXPECT_EQ(memory[0xFF80], 0x11);
    EXPECT_EQ(memory[0xFFFF], 0x11);
    EXPECT_EQ(memory[0xFF7F], 0xFF);
}

TEST(SimModule, InvalidFramesGetNoReplyAndChangeNothing) {
    Bytes badWrite = Write_Packet(0x0100, 0x00);
    badWrite.back() ^= 0x01;
    Bytes outOfRange = Write_Packet(0xFF81, 0x00);
    Bytes beyond64k = Write_Packet(0x10000, 0x00);
    Bytes detectWithPayload = {0x87, 0x01, 0x00};
    detectWithPayload.push_back(Checksum(detectWithPayload));
    Bytes shortWrite = {0x04, 0x00};
    shortWrite.push_back(Checksum(shortWrite));
    const struct {
        const char* name;
        Bytes frame;
        std::string log;
    } cases[] = {
        {"write with a wrong checksum", badWrite,
         "rx #1 no reply, wrong checksum 0x77 (0x76 expected): 04 84 00 00 01 00 00 00 00 00 00 "
         "00 00 00 .. 00 77 (135 bytes)"},
        {"detection with a wrong checksum",
         {0x87, 0x00, 0x79},
         "rx #1 no reply, wrong checksum 0x79 (0x78 expected): 87 00 79"},
        {"unknown command", {0x33, 0x00, 0xCC}, "rx #1 no reply, unknown command 0x33: 33 00 CC"},
        {"detection with a payload", detectWithPayload,
         "rx #1 no reply, length 1 does not fit command 0x87: 87 01 00 77"},
        {"write without data", shortWrite,
         "rx #1 no reply, length 0 does not fit command 0x04: 04 00 FB"},
        {"write past the end", outOfRange,
         "rx #1 no reply, write address 0x0000FF81 out of range: 04 84 00 00 FF 81 00 00 00 00 00 "
         "00 00 00 .. 00 F7 (135 bytes)"},
        {"write beyond 64 KiB", beyond64k,
         "rx #1 no reply, write address 0x00010000 out of range: 04 84 00 01 00 00 00 00 00 00 00 "
         "00 00 00 .. 00 76 (135 bytes)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Module module({});
        std::vector<std::string> log;
        module.Set_Logger([&](Nanos, const std::string& line) { log.push_back(line); });
        EXPECT_TRUE(Exchange(module, kStart, c.frame).empty());
        EXPECT_EQ(module.Next_Deadline(), std::nullopt);
        EXPECT_EQ(module.Stats().frames, 1);
        EXPECT_EQ(module.Stats().rejected, 1);
        EXPECT_EQ(module.Stats().writes, 0);
        EXPECT_TRUE(std::all_of(module.Memory().begin(), module.Memory().end(),
                                [](std::uint8_t b) { return b == 0xFF; }));
        EXPECT_EQ(log, std::vector<std::string>{c.log});
        // In step for the next packet.
        EXPECT_EQ(Exchange(module, kStart + kMs * 1000, kDetect),
                  std::vector<Action>{Send(k7Bytes, kDetectReply)});
    }
}

TEST(SimModule, RequestInPiecesIsTimedFromItsLastByte) {
    Module module({});
    const Bytes packet = Block(2);
    module.Receive(kStart, std::span(packet).first(1));
    module.Receive(kStart + 3 * kMs, std::span(packet).subspan(1, 100));
    EXPECT_EQ(module.Next_Deadline(), kStart + 53 * kMs);  // the frame gap, nothing more
    module.Receive(kStart + 7 * kMs, std::span(packet).subspan(101));
    EXPECT_EQ(module.Take_Due(kStart + 100 * kMs),
              std::vector<Action>{Send(kStart + 12 * kMs + k3Bytes, kWriteAck)});
    EXPECT_EQ(module.Stats().frames, 1);
}

TEST(SimModule, PartialFrameDroppedAfterTheGap) {
    const Bytes head = {0x04, 0x84, 0x00, 0x00};
    struct Case {
        Nanos gapOption;
        Nanos pause;    // between the partial frame and the detection request
        bool answered;  // the detection request is handled as a fresh frame
    };
    const Case cases[] = {
        {50 * kMs, 50 * kMs, true},
        {50 * kMs, 49 * kMs, false},  // taken as bytes 5.. of the write frame
        {20 * kMs, 20 * kMs, true},
        {0, 3000 * kMs, false},  // gap option 0: the partial frame waits for ever
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "gap " << c.gapOption << " pause " << c.pause);
        ModuleConfig config;
        config.frameGap = c.gapOption;
        Module module(config);
        module.Receive(kStart, head);
        module.Receive(kStart + c.pause, kDetect);
        EXPECT_EQ(module.Stats().droppedPartial, c.answered ? 1 : 0);
        EXPECT_EQ(module.Stats().frames, c.answered ? 1 : 0);
        auto actions = module.Take_Due(kStart + c.pause + 1000 * kMs);
        EXPECT_EQ(actions.empty(), !c.answered) << Show(actions);
    }
}

TEST(SimModule, PartialFrameExpiresOnItsDeadline) {
    Module module({});
    std::vector<std::pair<Nanos, std::string>> log;
    module.Set_Logger([&](Nanos at, const std::string& line) { log.emplace_back(at, line); });
    module.Receive(kStart, Bytes{0x87, 0x00});
    ASSERT_EQ(module.Next_Deadline(), kStart + 50 * kMs);
    EXPECT_TRUE(module.Take_Due(kStart + 50 * kMs - 1).empty());
    EXPECT_EQ(module.Stats().droppedPartial, 0);
    EXPECT_TRUE(module.Take_Due(kStart + 50 * kMs).empty());
    EXPECT_EQ(module.Stats().droppedPartial, 1);
    EXPECT_EQ(module.Next_Deadline(), std::nullopt);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], std::make_pair(kStart + 50 * kMs,
                                     std::string("dropped a partial frame after a gap: 87 00")));
    // A late checksum byte alone is now a frame start, not the end of the detection request.
    EXPECT_TRUE(Exchange(module, kStart + 60 * kMs, Bytes{0x78}).empty());
}

TEST(SimModule, RepliesLeaveOneAfterAnother) {
    Module module({});
    Bytes both = kDetect;
    both.insert(both.end(), kReset.begin(), kReset.end());
    module.Receive(kStart, both);
    EXPECT_EQ(module.Take_Due(kStart + kMs * 1000),
              (std::vector<Action>{Send(kStart + k7Bytes, kDetectReply),
                                   Send(kStart + k7Bytes + k3Bytes, kResetReply)}));
    EXPECT_EQ(module.Stats().frames, 2);
    EXPECT_EQ(module.Stats().detections, 1);
    EXPECT_EQ(module.Stats().resets, 1);
    EXPECT_EQ(module.Stats().repliesSent, 2);
}

TEST(SimModule, LogNamesEachPacketWithItsNumberAndAttempt) {
    Module module({});
    std::vector<std::pair<Nanos, std::string>> log;
    module.Set_Logger([&](Nanos at, const std::string& line) { log.emplace_back(at, line); });
    Exchange(module, kStart, kDetect);
    Exchange(module, kStart + kMs * 1000, Write_Packet(0x0080, 0xAB));
    Exchange(module, kStart + kMs * 2000, Write_Packet(0x0080, 0xAB));
    Exchange(module, kStart + kMs * 3000, kReset);
    const std::vector<std::pair<Nanos, std::string>> expected = {
        {kStart, "rx #1 detect, attempt 1: 87 00 78"},
        {kStart + k7Bytes, "tx 87 04 4C 53 49 4D 3F"},
        {kStart + kMs * 1000,
         "rx #2 write block 1 at 0x0080, attempt 1: 04 84 00 00 00 80 AB AB AB AB AB AB AB AB .. "
         "AB 77 (135 bytes)"},
        {kStart + kMs * 1005 + k3Bytes, "tx 04 00 FB"},
        {kStart + kMs * 2000,
         "rx #3 write block 1 at 0x0080, attempt 2: 04 84 00 00 00 80 AB AB AB AB AB AB AB AB .. "
         "AB 77 (135 bytes)"},
        {kStart + kMs * 2005 + k3Bytes, "tx 04 00 FB"},
        {kStart + kMs * 3000, "rx #4 reset, attempt 1 (reset number 1): FE 00 01"},
        {kStart + kMs * 3000 + k3Bytes, "tx FE 00 01"},
    };
    EXPECT_EQ(log, expected);
}

// ---- Faults ----

struct Step {
    Bytes request;
    std::vector<Action> actions;  // due times relative to the request
};

struct FaultCase {
    std::vector<const char*> faults;
    std::vector<Step> steps;  // one request every 10 s
};

TEST(SimModuleFaults, EachKindAtItsChosenPlace) {
    const Action detectOk = Send(k7Bytes, kDetectReply);
    const Action ackOk = Send(5 * kMs + k3Bytes, kWriteAck);
    const Action resetOk = Send(k3Bytes, kResetReply);
    const Action hangUp{Action::Kind::HangUp, 0, {}};
    const FaultCase cases[] = {
        {{"none"}, {{kDetect, {detectOk}}}},
        {{"noanswer:detect=1"}, {{kDetect, {}}, {kDetect, {detectOk}}}},
        {{"noanswer:detect,attempt=2"},
         {{kDetect, {detectOk}}, {kDetect, {}}, {kDetect, {detectOk}}}},
        {{"badsum:detect"},
         {{kDetect, {Send(k7Bytes, {0x87, 0x04, 0x4C, 0x53, 0x49, 0x4D, 0xC0})}}}},
        {{"badcmd:block=0"}, {{Block(0), {Send(5 * kMs + k3Bytes, {0x05, 0x00, 0xFA})}}}},
        {{"badsum:detect", "badcmd:detect"},
         {{kDetect, {Send(k7Bytes, {0x88, 0x04, 0x4C, 0x53, 0x49, 0x4D, 0xBF})}}}},
        {{"short:reset"}, {{kReset, {Send(k2Bytes, {0xFE, 0x00})}}}},
        {{"short=3:detect"}, {{kDetect, {Send(k4Bytes, {0x87, 0x04, 0x4C, 0x53})}}}},
        {{"short=9:detect"}, {{kDetect, {}}}},
        {{"split:detect"},
         {{kDetect,
           {Send(k3Bytes, {0x87, 0x04, 0x4C}),
            Send(k3Bytes + 10 * kMs + k4Bytes, {0x53, 0x49, 0x4D, 0x3F})}}}},
        {{"split=0:block"},
         {{Block(9),
           {Send(5 * kMs + kByte, {0x04}), Send(5 * kMs + kByte + k2Bytes, {0x00, 0xFB})}}}},
        {{"extra=2:reset"}, {{kReset, {Send(k5Bytes, {0xFE, 0x00, 0x01, 0xAA, 0xAA})}}}},
        {{"late=3500:reset=1"},
         {{kReset, {Send(3500 * kMs + k3Bytes, kResetReply)}}, {kReset, {resetOk}}}},
        {{"silent:packet=2"}, {{kDetect, {detectOk}}, {kDetect, {}}, {kReset, {}}, {Block(0), {}}}},
        {{"hangup:packet=2"}, {{kDetect, {detectOk}}, {Block(0), {hangUp}}, {kDetect, {detectOk}}}},
        {{"noanswer:block=7,attempt=2"},
         {{Block(7), {ackOk}},
          {Block(7), {}},
          {Block(7), {ackOk}},
          {Block(8), {ackOk}},
          {Block(7), {ackOk}}}},
        {{"noanswer:block=7"}, {{Block(7), {}}, {Block(6), {ackOk}}, {Block(7), {}}}},
        {{"noanswer:block"}, {{kDetect, {detectOk}}, {Block(0), {}}, {kReset, {resetOk}}}},
        {{"noanswer:packet=3"},
         {{kDetect, {detectOk}}, {Block(0), {ackOk}}, {Block(1), {}}, {Block(1), {ackOk}}}},
        {{"noanswer:reset=2"}, {{kReset, {resetOk}}, {kReset, {}}, {kReset, {resetOk}}}},
        {{"noanswer:times=2"}, {{kDetect, {}}, {kReset, {}}, {kDetect, {detectOk}}}},
        {{"hangup:block=1,times=1"},
         {{Block(1), {hangUp}}, {Block(1), {ackOk}}, {Block(0), {ackOk}}, {Block(1), {ackOk}}}},
    };
    for (const auto& c : cases) {
        std::vector<Fault> faults;
        std::string names;
        for (const char* text : c.faults) {
            std::string error;
            auto fault = Parse_Fault(text, error);
            ASSERT_TRUE(fault) << error;
            faults.push_back(*fault);
            names += std::string(text) + " ";
        }
        ModuleConfig config;
        config.faults = faults;
        Module module(config);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE(names + "request " + std::to_string(i + 1));
            auto actions =
                Exchange(module, kStart + static_cast<Nanos>(i) * 10000 * kMs, c.steps[i].request);
            EXPECT_EQ(actions, c.steps[i].actions) << Show(actions);
        }
    }
}

TEST(SimModuleFaults, LostAcknowledgementStillStoresTheBlock) {
    ModuleConfig config;
    std::string error;
    config.faults = {*Parse_Fault("noanswer:block=5", error),
                     *Parse_Fault("hangup:block=6", error)};
    Module module(config);
    EXPECT_TRUE(Exchange(module, kStart, Write_Packet(5 * 128, 0x42)).empty());
    EXPECT_EQ(module.Memory()[5 * 128], 0x42);
    EXPECT_EQ(Exchange(module, kStart + 1000 * kMs, Write_Packet(6 * 128, 0x43)).size(), 1u);
    EXPECT_EQ(module.Memory()[6 * 128 + 127], 0x43);
    EXPECT_EQ(module.Stats().writes, 2);
}

TEST(SimModuleFaults, HangUpCancelsWhatWasStillToBeSent) {
    ModuleConfig config;
    std::string error;
    config.faults = {*Parse_Fault("late=1000:packet=1", error),
                     *Parse_Fault("hangup:packet=2", error)};
    Module module(config);
    module.Receive(kStart, kDetect);
    module.Receive(kStart + 2 * kMs, Bytes{0x87, 0x00, 0x78, 0xFE});  // hang-up, then a stray byte
    EXPECT_EQ(module.Next_Deadline(), kStart + 2 * kMs);
    EXPECT_EQ(module.Take_Due(kStart + 2000 * kMs),
              (std::vector<Action>{{Action::Kind::HangUp, kStart + 2 * kMs, {}}}));
    EXPECT_EQ(module.Next_Deadline(), std::nullopt);
    // The line comes back: the module answers again, its EEPROM and counters kept.
    EXPECT_EQ(Exchange(module, kStart + 3000 * kMs, kDetect),
              std::vector<Action>{Send(k7Bytes, kDetectReply)});
    EXPECT_EQ(module.Stats().frames, 3);
}

TEST(SimModuleFaults, SilentLastsAcrossALineDrop) {
    ModuleConfig config;
    std::string error;
    config.faults = {*Parse_Fault("silent:detect=2", error)};
    Module module(config);
    EXPECT_EQ(Exchange(module, kStart, kDetect).size(), 1u);
    EXPECT_FALSE(module.Silent());
    EXPECT_TRUE(Exchange(module, kStart + 1000 * kMs, kDetect).empty());
    EXPECT_TRUE(module.Silent());
    module.Line_Dropped();
    EXPECT_TRUE(Exchange(module, kStart + 2000 * kMs, kReset).empty());
    EXPECT_EQ(module.Stats().resets, 1);
}

TEST(SimModuleFaults, LateReplyDelaysTheNextOne) {
    // A module busy with a late answer cannot start the next before it: the programmer's retry
    // gets the late reply first, then its own.
    ModuleConfig config;
    std::string error;
    config.faults = {*Parse_Fault("late=4000:block=7,attempt=1", error)};
    Module module(config);
    module.Receive(kStart, Block(7));
    module.Receive(kStart + 3000 * kMs, Block(7));
    EXPECT_EQ(module.Take_Due(kStart + 10000 * kMs),
              (std::vector<Action>{Send(kStart + 4005 * kMs + k3Bytes, kWriteAck),
                                   Send(kStart + 4005 * kMs + 2 * k3Bytes, kWriteAck)}));
}

}  // namespace
}  // namespace lcdsim::test
