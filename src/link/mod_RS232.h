#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/run_events.h"
#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/message_box.h"
#include "platform/serial_control.h"
#include "state/mod_variabili.h"

namespace lcdprog {

constexpr char kLineSettings[] = "115200,n,8,1";
// The image goes out in blocks, one write request each; the run reports each one (Block_Started).
constexpr std::size_t kBlockSize = 128;
constexpr int kBlocks = static_cast<int>(kMemoryImageSize / kBlockSize);
constexpr std::size_t kFindReplyLength = 7;

// What the link operations drive: the program's variables (receive buffer, Stop, the image), the
// one serial control, the clock and event pump they wait with, the message box, and the observer
// every step of the run is reported to.
struct LinkIo {
    ProgramState& state;
    platform::SerialControl& serial;
    platform::Clock& clock;
    platform::EventPump& pump;
    platform::MessageBox& messages;
    RunObserver& observer;
    // Once the serial control has closed the port under the run (the device went away), every
    // exchange ends at once, without a request on the dead line or a wait for its reply. The port
    // process's choice, so that a pulled cable is told within a second; the window leaves it off,
    // and its waits run out as they always have.
    bool endOnClosedPort = false;
};

// The serial control's event handler: appends received bytes to the state's RxBuffer.
void RS232_Interface_OnComm(platform::SerialControl& serial, ProgramState& state);
// Makes RS232_Interface_OnComm the serial control's event handler. Whoever builds the serial
// control and the state attaches it once; it must keep running for whoever drives the link, also
// after the window that named it has closed.
void Attach_Receive_Handler(platform::SerialControl& serial, ProgramState& state);

// The packet checksum: the complement of the 8-bit sum of every byte given.
std::uint8_t Packet_Checksum(std::string_view bytes);
// A whole request: command, payload length, payload, checksum.
std::string Build_Request(std::uint8_t command, std::string_view payload);
// True when a reply of `expected` bytes for `command` sits at the front of `buffer`: first byte
// is the command, byte expected-1 is the checksum of the bytes before it. Later bytes are ignored.
bool Reply_Is_Valid(std::string_view buffer, std::uint8_t command, std::size_t expected);
bool Find_Module(const LinkIo& io);
bool Write_EEPROM_I2C(const LinkIo& io);
bool Reset_PIC(const LinkIo& io);

}  // namespace lcdprog
