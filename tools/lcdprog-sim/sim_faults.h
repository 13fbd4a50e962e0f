#pragma once

// Misbehaviour on purpose. A fault is a KIND that shapes (or suppresses) the module's reply and a
// place that says which requests it hits:
//
//   KIND[:WHERE]
//
//   KIND   one of the kinds Fault_Help lists
//   WHERE  comma-separated items; at most one of
//            packet=N     the Nth complete request received since the program started (1-based)
//            detect[=K]   detection requests (attempt K only, if given)
//            block[=B]    write requests for block B (address B x 128); every block if no B
//            reset[=K]    reset requests (attempt K only, if given)
//          and, optionally,
//            attempt=K    with detect, block or reset: only the Kth attempt
//            times=N      the fault fires at most N times
//          No WHERE: every request.
//
// Attempts are counted per target: the Kth consecutive detection request, the Kth consecutive
// write request for the same address, the Kth consecutive reset request. Any other valid request
// in between starts the count again at 1, which is exactly how a programmer's retries look on the
// line. Frames that are not valid requests neither count attempts nor break the count.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace lcdsim {

enum class FaultKind {
    None,      // no change (keeps scripts simple)
    NoAnswer,  // this request gets no reply
    BadSum,    // the reply's checksum byte is complemented
    BadCmd,    // the reply's command byte is one higher (checksum still matches it)
    Short,     // the reply lacks its last N bytes (default 1)
    Split,     // the reply leaves in two pieces, MS ms apart (default 10)
    Extra,     // N bytes 0xAA follow the reply (default 1)
    Late,      // the reply leaves MS ms later than it would
    Silent,    // no reply to this request nor to any later one
    HangUp,    // the module drops the line as this request arrives, without replying
};

struct FaultPlace {
    enum class Kind { Every, Packet, Detect, Block, Reset };
    Kind kind = Kind::Every;
    int packet = 0;   // Packet: 1-based number of the request
    int block = -1;   // Block: 0..511, -1 for every block
    int attempt = 0;  // Detect, Block, Reset: 1-based attempt, 0 for every attempt
    int times = 0;    // at most this many firings, 0 for no limit
};

struct Fault {
    FaultKind kind = FaultKind::None;
    int value = 0;  // Short, Extra: byte count; Split, Late: milliseconds
    FaultPlace where;
};

// What a request is, as far as the choice of a fault goes.
enum class RequestKind { Detect, Write, Reset, Other };

struct RequestContext {
    int packet = 0;  // 1-based number of the complete frame
    RequestKind kind = RequestKind::Other;
    int block = -1;  // Write: address / 128
    int attempt = 0;
};

// Parses one --fault argument; a refusal carries a one-line reason.
lcdprog::platform::Result<Fault> Parse_Fault(std::string_view text);

// The canonical text of a fault, as Parse_Fault accepts it (used in the log).
std::string Describe_Fault(const Fault& fault);

// One line of --help's lists: `lead` and `name`, then `text` from the column every list shares;
// each line break in `text` continues in that column.
void Add_Help_Entry(std::string& help, std::string_view lead, std::string_view name,
                    std::string_view text);
// KIND and WHERE as --help explains them, the kinds from the table the parser reads.
std::string Fault_Help();

// Whether the place of `fault` selects this request (firing limits are the caller's business).
bool Fault_Place_Matches(const FaultPlace& where, const RequestContext& request);

}  // namespace lcdsim
