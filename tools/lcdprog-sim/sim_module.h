#pragma once

// The LCD module as a state machine: bytes come in with the time they arrived, replies go out
// as actions with the time they are due. Nothing here reads a clock or touches a file
// descriptor, so the whole protocol runs in tests on made-up times.
//
// Framing. Every packet is: command, length L, L payload bytes, checksum (L + 3 bytes). The
// module collects bytes until it has as many as the length byte announces, then handles the
// frame. A frame that stops half way is dropped once no byte has come for `frameGap` (a real
// module times out the same way); this is also what brings the module back in step after line
// noise, since a programmer waits far longer than that between attempts.
//
// Requests and replies.
//   87 00 78                        detection -> 87 04 I0 I1 I2 I3 ck   (I = identity)
//   04 84 A3 A2 A1 A0 D0..D127 ck    write     -> the 128 bytes are stored at address A,
//                                                 then 04 00 FB
//   FE 00 01                        reset     -> FE 00 01
// ck is always the complement of the 8-bit sum of the bytes before it. A frame with a wrong
// checksum, an unknown command, a length that does not fit its command, or a write whose 128
// bytes would not fit below 0x10000 gets no reply and changes nothing.
//
// Timing. The pseudo-terminal carries bytes instantly, so the module delays its replies to look
// like the real line: a reply is due when it would have been fully received at `baud` with 10
// bits per byte (8N1), counted from the moment the request was complete, plus `pageTime` for a
// write (the EEPROM's page programming). A reply is handed out whole at that moment, not byte
// by byte; a reader cannot tell the difference except in the arrival of the first byte. Replies
// never overlap: one starts after the previous one has left.
//
// Faults (sim_faults.h) only shape what goes back on the line. What the module stores does not
// depend on them: a write that arrives intact is stored even when its acknowledgement is lost.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim_faults.h"
#include "state/memory_image.h"

namespace lcdsim {

using Nanos = std::int64_t;  // nanoseconds on some monotonic clock
constexpr Nanos kMillisecond = 1'000'000;

using lcdprog::kMemoryImageSize;
using lcdprog::MemoryImageBytes;

constexpr std::uint8_t kCmdDetect = 0x87;
constexpr std::uint8_t kCmdWrite = 0x04;
constexpr std::uint8_t kCmdReset = 0xFE;
constexpr std::size_t kWriteData = 128;
constexpr std::uint8_t kWriteLength = 0x84;  // 4 address bytes + 128 data bytes
constexpr std::uint8_t kExtraByte = 0xAA;    // what the "extra" fault appends

// Complement of the 8-bit sum of the bytes.
std::uint8_t Checksum(std::span<const std::uint8_t> bytes);

struct ModuleConfig {
    long baud = 115200;
    Nanos pageTime = 5 * kMillisecond;
    Nanos frameGap = 50 * kMillisecond;  // 0: a partial frame waits for ever
    std::array<std::uint8_t, 4> identity = {'L', 'S', 'I', 'M'};
    std::vector<Fault> faults;
};

// Time the line needs for n bytes at this baud rate, 10 bits per byte, rounded to the nearest ns.
Nanos Line_Time(std::size_t bytes, long baud);

struct Action {
    enum class Kind { Send, HangUp };
    Kind kind = Kind::Send;
    Nanos due = 0;
    std::vector<std::uint8_t> bytes;  // Send only
    bool operator==(const Action&) const = default;
};

struct ModuleStats {
    int frames = 0;          // complete frames received (the numbering of packet=N)
    int detections = 0;      // valid detection requests
    int writes = 0;          // writes stored in the EEPROM
    int resets = 0;          // valid reset requests
    int rejected = 0;        // complete frames that got no reply for being invalid
    int droppedPartial = 0;  // partial frames dropped after a gap
    int repliesSent = 0;     // replies (or pieces of replies) handed out
};

class Module {
  public:
    using Logger = std::function<void(Nanos, const std::string&)>;

    explicit Module(ModuleConfig config);

    // Bytes that arrived together at `now`. `now` never goes backwards between calls.
    void Receive(Nanos now, std::span<const std::uint8_t> bytes);

    // When the module next has something to do: a reply due, or a partial frame to drop.
    std::optional<Nanos> Next_Deadline() const;

    // Everything due at or before `now`, in order; also drops a partial frame whose gap has
    // passed. After a HangUp action nothing queued behind it is returned.
    std::vector<Action> Take_Due(Nanos now);

    // The line went away (hang-up, reopen): the partial frame and all queued replies are
    // forgotten. The EEPROM, the counters and a silent state stay.
    void Line_Dropped();

    bool Silent() const { return silent_; }
    const ModuleStats& Stats() const { return stats_; }
    const MemoryImageBytes& Memory() const { return eeprom_; }
    MemoryImageBytes& Memory() { return eeprom_; }

    void Set_Logger(Logger logger) { logger_ = std::move(logger); }

  private:
    struct ReplyShape;
    void Handle_Frame(Nanos now);
    std::vector<std::uint8_t> Answer(RequestContext& request, std::uint32_t address,
                                     std::span<const std::uint8_t> frame, Nanos now);
    ReplyShape Apply_Faults(const RequestContext& request, Nanos now,
                            std::vector<std::uint8_t>& reply);
    void Log(Nanos at, const std::string& text) const;
    void Schedule(Nanos ready, std::vector<std::uint8_t> reply, int splitAt, Nanos splitGap);

    ModuleConfig config_;
    MemoryImageBytes eeprom_;
    std::vector<std::uint8_t> frame_;
    Nanos lastByteAt_ = 0;
    std::vector<Action> queue_;  // sorted by due time
    Nanos lineFreeAt_ = 0;       // when the last queued reply has left
    bool silent_ = false;
    std::vector<int> fired_;  // per fault: how many times it fired

    // Attempt counting: the target of the last valid request and how often it came in a row.
    int lastTarget_ = -1;
    int attempt_ = 0;

    ModuleStats stats_;
    Logger logger_;
};

// Hex bytes for the log: "87 00 78"; long packets shortened in the middle.
std::string Hex_Bytes(std::span<const std::uint8_t> bytes, std::size_t limit = 16);

}  // namespace lcdsim
