// Packets, checksums, the receive handler, the counters and the trace box, each on its own.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "link/mod_RS232.h"
#include "link/mod_RS232_COD.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"

namespace lcdprog::test {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

class LinkUnits : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Program_State(); }
    void TearDown() override { Reset_Program_State(); }
};

TEST_F(LinkUnits, RequestsWithoutPayloadAreTheFixedThreeBytes) {
    EXPECT_EQ(Build_Request(COD_FIND_MODULE, {}), Bytes({0x87, 0x00, 0x78}));
    EXPECT_EQ(Build_Request(COD_RESET_PIC, {}), Bytes({0xFE, 0x00, 0x01}));
}

TEST_F(LinkUnits, ChecksumIsTheComplementOfTheSumModulo256) {
    struct Case {
        const char* name;
        std::string bytes;
        int checksum;
    };
    std::string block511 = Bytes({0x04, 0x84, 0x00, 0x00, 0xFF, 0x80});  // sum 0x207
    block511.append(128, '\0');
    std::string block0Zero = Bytes({0x04, 0x84, 0x00, 0x00, 0x00, 0x00});
    block0Zero.append(128, '\0');
    std::string block0Ones = Bytes({0x04, 0x84, 0x00, 0x00, 0x00, 0x00});
    block0Ones.append(128, '\xFF');
    const Case cases[] = {
        {"empty", "", 0xFF},
        {"detection", Bytes({0x87, 0x00}), 0x78},
        {"reset", Bytes({0xFE, 0x00}), 0x01},
        {"detection reply", Bytes({0x87, 0x04, 0x41, 0x42, 0x43, 0x44}), 0x6A},
        {"reset reply", Bytes({0xFE, 0x10}), 0xF1},
        {"block 511 zero data", block511, 0xF8},
        {"block 0 zero data", block0Zero, 0x77},
        {"block 0 0xFF data", block0Ones, 0xF7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Packet_Checksum(c.bytes), c.checksum) << c.name;
    }
}

TEST_F(LinkUnits, ReplyValidityLooksAtCommandAndChecksumPositionOnly) {
    struct Case {
        std::string buffer;
        std::uint8_t command;
        std::size_t expected;
        bool valid;
    };
    const Case cases[] = {
        {Bytes({0x87, 0x04, 0x41, 0x42, 0x43, 0x44, 0x6A}), COD_FIND_MODULE, 7, true},
        {Bytes({0x87, 0x04, 0x41, 0x42, 0x43, 0x44, 0x6B}), COD_FIND_MODULE, 7, false},
        {Bytes({0x87, 0x04, 0x41, 0x42, 0x43, 0x44, 0x6A, 0x00}), COD_FIND_MODULE, 7, true},
        {Bytes({0x87, 0x04, 0x41, 0x42, 0x43, 0x44}), COD_FIND_MODULE, 7, false},
        {Bytes({0x04, 0x00, 0xFB}), COD_WRITE_EEPROM_I2C, 3, true},
        {Bytes({0x04, 0x07, 0xF4}), COD_WRITE_EEPROM_I2C, 3, true},
        {Bytes({0x04, 0x55, 0xA6}), COD_WRITE_EEPROM_I2C, 3, true},
        {Bytes({0x05, 0x00, 0xFA}), COD_WRITE_EEPROM_I2C, 3, false},
        {Bytes({0x04, 0x00, 0xFA}), COD_WRITE_EEPROM_I2C, 3, false},
        {Bytes({0xFE, 0x00, 0x01}), COD_WRITE_EEPROM_I2C, 3, false},
        {Bytes({0xFE, 0x00, 0x01}), COD_RESET_PIC, 3, true},
        {Bytes({0xFE, 0x10, 0xF1}), COD_RESET_PIC, 3, true},
        {Bytes({0x04, 0x00, 0xFB}), COD_RESET_PIC, 3, false},
        {"", COD_RESET_PIC, 3, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Reply_Is_Valid(c.buffer, c.command, c.expected), c.valid)
            << Trace_Line(c.buffer) << " for command " << int{c.command};
    }
}

TEST_F(LinkUnits, TraceLineIsUpperCaseHexJoinedBySemicolonBlankEndingInCrLf) {
    struct Case {
        std::string bytes;
        std::string line;
    };
    const Case cases[] = {
        {Bytes({0x87, 0x00, 0x78}), "0x87; 0x00; 0x78\r\n"},
        {Bytes({0, 9, 10, 16, 165}), "0x00; 0x09; 0x0A; 0x10; 0xA5\r\n"},
        {Bytes({255}), "0xFF\r\n"},
        {"", "\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Trace_Line(c.bytes), c.line);
    }
}

TEST_F(LinkUnits, SentPacketReplacesTheTraceInBlue) {
    FakeRichTextControl spy;
    spy.SetText("old line\r\nanother\r\n");
    Spy_Send_Packet(spy, Bytes({0x87, 0x00, 0x78}));
    EXPECT_EQ(spy.text, "0x87; 0x00; 0x78\r\n");
    EXPECT_EQ(spy.selStart, 0);
    EXPECT_EQ(spy.selLength, 18);
    for (std::size_t i = 0; i < spy.text.size(); ++i) {
        EXPECT_EQ(spy.ColorAt(i), 0x0000FFu) << i;
    }
}

TEST_F(LinkUnits, ReceivedBufferIsAppendedInRedAndRequestStaysBlue) {
    FakeRichTextControl spy;
    Spy_Send_Packet(spy, Bytes({0xFE, 0x00, 0x01}));
    RxBuffer = Bytes({0xFE, 0x10, 0xF1});
    Spy_Received_Packet(spy, RxBuffer);
    EXPECT_EQ(spy.text, "0xFE; 0x00; 0x01\r\n0xFE; 0x10; 0xF1\r\n");
    EXPECT_EQ(RxBuffer, Bytes({0xFE, 0x10, 0xF1}));
    EXPECT_EQ(spy.selStart, 18);   // first character of the appended line
    EXPECT_EQ(spy.selLength, 36);  // the whole text's length
    for (std::size_t i = 0; i < 18; ++i) {
        EXPECT_EQ(spy.ColorAt(i), 0x0000FFu) << i;
    }
    for (std::size_t i = 18; i < 36; ++i) {
        EXPECT_EQ(spy.ColorAt(i), 0xFF0000u) << i;
    }
}

TEST_F(LinkUnits, EmptyReceivedBufferAppendsARedCrLf) {
    FakeRichTextControl spy;
    Spy_Send_Packet(spy, Bytes({0x87, 0x00, 0x78}));
    Spy_Received_Packet(spy, "");
    EXPECT_EQ(spy.text, "0x87; 0x00; 0x78\r\n\r\n");
    EXPECT_EQ(spy.selStart, 18);
    EXPECT_EQ(spy.ColorAt(17), 0x0000FFu);
    EXPECT_EQ(spy.ColorAt(18), 0xFF0000u);
    EXPECT_EQ(spy.ColorAt(19), 0xFF0000u);
}

TEST_F(LinkUnits, CounterReadsSigned16BitTextAndWrapsOnTheWayUp) {
    struct Case {
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"0", "1"},
        {"512", "513"},
        {"-5", "-4"},
        {"-1", "0"},
        {"32767", "-32768"},
        {"-32768", "-32767"},
        {" 7 ", "8"},
        {"+3", "4"},
        // Not a whole number within 16 bits: counted as 0.
        {"", "1"},
        {"abc", "1"},
        {"12abc", "1"},
        {"32768", "1"},
        {"1.5", "1"},
        {"-", "1"},
    };
    for (const Case& c : cases) {
        FakeTextControl counter;
        counter.text = c.before;
        Increment_Counter(counter);
        EXPECT_EQ(counter.text, c.after) << "from \"" << c.before << "\"";
    }
}

TEST_F(LinkUnits, ReceiveHandlerAppendsAndLengthStopsFollowingPast255) {
    FakeSerialControl serial;
    serial.SetCommHandler([&] { RS232_Interface_OnComm(serial); });
    serial.Deliver(std::string(200, 'a'));
    EXPECT_EQ(RxBuffer.size(), 200u);
    EXPECT_EQ(RxLength, 200);
    serial.Deliver(std::string(55, 'b'));
    EXPECT_EQ(RxLength, 255);
    serial.Deliver("c");
    EXPECT_EQ(RxBuffer.size(), 256u);
    EXPECT_EQ(RxLength, 255);  // keeps the last value that fitted
    serial.Deliver(std::string(100, 'd'));
    EXPECT_EQ(RxBuffer, std::string(200, 'a') + std::string(55, 'b') + "c" + std::string(100, 'd'));
    EXPECT_EQ(RxLength, 255);

    // A buffer that passes 255 in one step keeps whatever length was stored before.
    RxBuffer = std::string("xy");
    RxLength = 2;
    serial.Deliver(std::string(300, 'e'));
    EXPECT_EQ(RxBuffer.size(), 302u);
    EXPECT_EQ(RxLength, 2);
}

TEST_F(LinkUnits, ReceiveHandlerIgnoresEveryOtherEventAndLeavesWaitingBytesInTheControl) {
    FakeSerialControl serial;
    serial.Deliver("ab");  // no handler yet: the bytes wait in the control
    serial.SetCommHandler([&] { RS232_Interface_OnComm(serial); });
    RxBuffer = std::string(1, 'z');
    RxLength = 1;
    const int codes[] = {1,    3,    4,    5,    6,    7,    1001, 1002, 1003,
                         1004, 1006, 1007, 1008, 1009, 1010, 0,    99};
    for (const int code : codes) {
        serial.RaiseEvent(code);
        EXPECT_EQ(RxBuffer, "z") << code;
        EXPECT_EQ(RxLength, 1) << code;
    }
    serial.RaiseEvent(platform::comm_event::kReceive);
    EXPECT_EQ(RxBuffer, "zab");
    EXPECT_EQ(RxLength, 3);
}

}  // namespace
}  // namespace lcdprog::test
