#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace lcdprog::platform {

// Event codes reported by SerialControl::CommEvent().
namespace comm_event {
constexpr int kSend = 1;
constexpr int kReceive = 2;
constexpr int kCts = 3;
constexpr int kDsr = 4;
constexpr int kCd = 5;
constexpr int kRing = 6;
constexpr int kEof = 7;
constexpr int kBreak = 1001;
constexpr int kCtsTimeout = 1002;
constexpr int kDsrTimeout = 1003;
constexpr int kFrame = 1004;
constexpr int kOverrun = 1006;
constexpr int kCdTimeout = 1007;
constexpr int kRxOver = 1008;
constexpr int kRxParity = 1009;
constexpr int kTxFull = 1010;
}  // namespace comm_event

// The one serial communications control of the program (`RS232_Interface`). Byte strings carry
// one char per byte, in line order.
class SerialControl {
  public:
    virtual ~SerialControl() = default;

    // "COM n" is entry n (from 1) of the port table.
    virtual void SetCommPort(int port) = 0;
    virtual int CommPort() const = 0;

    // Opens or closes the port. Returns false when the request failed (absent, busy, refused,
    // or an open requested while already open); LastError() then says why.
    virtual bool SetPortOpen(bool open) = 0;
    virtual bool PortOpen() const = 0;

    // "baud,parity,data,stop" such as "115200,n,8,1"; false when malformed or refused.
    virtual bool SetSettings(const std::string& settings) = 0;

    // Writes all bytes in order; false when the port is not open or the write failed.
    virtual bool Output(std::string_view bytes) = 0;
    // Every byte that has arrived and not been read yet; removes them from the control.
    virtual std::string Input() = 0;

    // The code of the event that caused the current notification (see comm_event).
    virtual int CommEvent() const = 0;
    // Called on every communication event; with kReceive whenever received bytes are waiting.
    virtual void SetCommHandler(std::function<void()> handler) = 0;

    // Operator-readable reason for the last failed request, empty if none.
    virtual std::string LastError() const = 0;
    // The device behind "COM n", empty when n is outside the table.
    virtual std::string DevicePath(int port) const = 0;

    // Reads the port table again. Until the next call "COM n" names the device it names now, so
    // that the port the list showed is the port an open request gets.
    virtual void ReadPortTable() {}
    // Entries in the port table; 0 when the control cannot tell.
    virtual int PortCount() const { return 0; }
    // What the operator is shown about "COM n": its device and, where known, its stable name,
    // maker, product and serial number, one per line.
    virtual std::string PortDescription(int port) const { return DevicePath(port); }
    // Called from the event loop, a few hundred milliseconds after a burst of changes, when a
    // device of the port table may have appeared, gone away or changed permissions, and when
    // the open port's device went away (PortOpen() is false by then). The watching costs nothing
    // while nothing changes (file-system notifications); an empty handler ends it.
    virtual void SetPortsChangedHandler(std::function<void()> handler) { (void)handler; }
};

}  // namespace lcdprog::platform
