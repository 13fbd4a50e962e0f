#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/event_pump.h"
#include "platform/message_box.h"
#include "platform/serial_control.h"

namespace lcdprog {

// What the link operations drive: the one serial control, the clock and event pump they wait
// with, the message box, and the serial window's counters, trace and progress bar.
struct LinkIo {
    platform::SerialControl& serial;
    platform::Clock& clock;
    platform::EventPump& pump;
    platform::MessageBox& messages;
    platform::TextControl& sendCounter;      // txt_Send_Packet
    platform::TextControl& receivedCounter;  // txt_Received_Packet
    platform::RichTextControl& spy;          // rtb_RS232_SPY
    platform::ProgressControl& progress;     // pgb_RS232
};

// The serial control's event handler: appends received bytes to RxBuffer.
void RS232_Interface_OnComm(platform::SerialControl& serial);

// Trace lines: "0x87; 0x00; 0x78" + CR LF.
std::string Trace_Line(const std::string& bytes);
void Spy_Send_Packet(platform::RichTextControl& spy, const std::string& packet);
void Spy_Received_Packet(platform::RichTextControl& spy, const std::string& buffer);

bool Find_Module(const LinkIo& io);
bool Write_EEPROM_I2C(const LinkIo& io);
bool Reset_PIC(const LinkIo& io);

}  // namespace lcdprog
