// Reply checks and the receive handler, each on its own; the checksum of every request is the
// virtual module's to check.

#include <gtest/gtest.h>

#include <string>

#include "link/mod_RS232.h"
#include "serial_window/controls_view.h"
#include "state/mod_variabili.h"
#include "support/fakes.h"

namespace lcdprog::test {
namespace {

TEST(LinkUnits, AReplyIsJudgedByItsCommandByteAndTheChecksumAtItsPositionOnly) {
    const std::string detection("\x87\x04\x41\x42\x43\x44\x6A", 7);
    const struct {
        std::string reply;
        std::uint8_t command;
        std::size_t length;
        bool valid;
    } cases[] = {
        {detection, 0x87, 7, true},
        {std::string("\x87\x04\x41\x42\x43\x44\x6B", 7), 0x87, 7, false},  // checksum
        {std::string("\x88\x04\x41\x42\x43\x44\x69", 7), 0x87, 7, false},  // command
        {std::string("\x87\x55\x41\x42\x43\x44\x19", 7), 0x87, 7, true},   // length byte
        {detection + std::string("\x00\x99", 2), 0x87, 7, true},           // bytes after it
        {detection.substr(0, 6), 0x87, 7, false},                          // short
        {std::string("\x04\x07\xF4", 3), 0x04, 3, true},
        {std::string("\x04\x00\xFB", 3), 0xFE, 3, false},  // an EEPROM ack is no reset ack
        {std::string("\xFE\x10\xF1", 3), 0xFE, 3, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Reply_Is_Valid(c.reply, c.command, c.length), c.valid) << Trace_Line(c.reply);
    }
}

TEST(LinkUnits, ReceiveHandlerAppendsAndLengthStopsFollowingPast255) {
    ProgramState state;
    FakeSerialControl serial;
    serial.Deliver("ab");  // no handler yet: the bytes wait in the control
    Attach_Receive_Handler(serial, state);
    for (const int code : {0, 1, 3, 1001, 1010}) {
        serial.RaiseEvent(code);  // every other event leaves the buffer alone
    }
    EXPECT_EQ(state.RxBuffer, "");
    serial.Deliver(std::string(253, 'c'));
    EXPECT_EQ(state.RxLength, 255);
    serial.Deliver("d");
    EXPECT_EQ(state.RxBuffer, "ab" + std::string(253, 'c') + "d");
    EXPECT_EQ(state.RxLength, 255);  // keeps the last value that fitted
    // A buffer that passes 255 in one step keeps whatever length was stored before.
    state.RxBuffer = "xy";
    state.RxLength = 2;
    serial.Deliver(std::string(300, 'e'));
    EXPECT_EQ(state.RxBuffer.size(), 302u);
    EXPECT_EQ(state.RxLength, 2);
}

}  // namespace
}  // namespace lcdprog::test
