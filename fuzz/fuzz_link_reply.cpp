// Arbitrary module behaviour on a virtual line: whatever arrives, in whatever pieces and at
// whatever times, detection, the EEPROM run and the reset must end, within their time limits,
// without spinning, and only ever accept a reply that validates.
//
// Input:
//   byte 0      operation (mod 3: detection, EEPROM run, reset); for the EEPROM run, (byte 0 / 3)
//               mod 6 + 1 is the number of blocks after which Stop is pressed
//   bytes 1..4  the clock's start value, little-endian (so waits cross the 2^32 wrap)
//   then, for each packet the link writes, one reply script:
//               a count byte (mod 4 chunks), and per chunk a header byte (bit 7: Stop is pressed
//               with this chunk; low 6 bits: chunk length), a delay byte (x 16 ms after the
//               packet) and the chunk's bytes
//   When the input runs out the module is silent.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/mod_RS232.h"
#include "link/mod_RS232_COD.h"
#include "state/mod_variabili.h"
#include "support/sim_line.h"

namespace {

using namespace lcdprog;
using namespace lcdprog::test;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Done() const { return pos_ >= size_; }
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::string Bytes(std::size_t n) {
        std::string out;
        while (n-- > 0 && pos_ < size_) {
            out.push_back(static_cast<char>(data_[pos_++]));
        }
        return out;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// The reply script for the packet just written: its chunks arrive on the line at their times.
void Schedule_Reply(Reader& in, SimLine& line) {
    if (in.Done()) {
        return;
    }
    const int chunks = in.Byte() % 4;
    for (int i = 0; i < chunks && !in.Done(); ++i) {
        const std::uint8_t header = in.Byte();
        const std::uint32_t delay = in.Byte() * 16u;
        const std::string bytes = in.Bytes(header & 0x3Fu);
        const bool stop = (header & 0x80u) != 0;
        line.At(line.Now() + delay, [&line, bytes, stop] {
            if (!bytes.empty()) {
                line.serial.Deliver(bytes);
            }
            line.state.StopRequested |= stop;
        });
    }
}

// The blocks the run has started: Stop is pressed after a number of them.
struct BlockRecord final : RunObserver {
    int started = 0;
    void Block_Started(int k) override { started = k; }
};

// The link's result and what a successful reply must look like, for the chosen operation.
struct Outcome {
    bool result = false;
    std::uint8_t command = 0;
    std::size_t expected = 0;
    std::uint64_t timeLimit = 0;
};

Outcome Run_Operation(int op, int stopAfterBlocks, SimLine& link) {
    switch (op) {
        case 0:
            return {Find_Module(link.Io()), COD_FIND_MODULE, 7, 9000};
        case 1:
            return {Write_EEPROM_I2C(link.Io()), COD_WRITE_EEPROM_I2C, 3,
                    9000u * static_cast<std::uint64_t>(stopAfterBlocks + 1)};
        default:
            return {Reset_PIC(link.Io()), COD_RESET_PIC, 3, 9000};
    }
}

// What the operator sees and what the link kept agree with how the operation ended.
void Check_Outcome(int op, int stopAfterBlocks, const Outcome& o, const SimLine& link,
                   const BlockRecord& blocks) {
    Check(link.Now() <= o.timeLimit);
    Check(link.state.RxLength <= link.state.RxBuffer.size());
    Check(!link.sent.empty());
    Check(link.sendCounter.text == std::to_string(link.sent.size()));
    // The trace starts with the last packet sent.
    const std::string requestLine = Trace_Line(link.sent.back().packet);
    Check(link.spy.text.compare(0, requestLine.size(), requestLine) == 0);

    const bool stopped = op == 1 && !o.result && link.state.StopRequested;
    if (o.result || !stopped) {
        Check(link.receivedCounter.text == link.sendCounter.text);
    } else {
        // A stop leaves the last wait uncounted and shows nothing.
        Check(std::stoi(link.receivedCounter.text) + 1 == std::stoi(link.sendCounter.text));
        Check(link.messages.shown.empty());
    }
    if (o.result) {
        Check(link.state.RxLength >= o.expected);
        Check(Reply_Is_Valid(link.state.RxBuffer, o.command, o.expected));
        Check(link.messages.shown.empty());
    } else if (!stopped) {
        Check(link.messages.shown.size() == 1);
    }
    if (op != 1) {
        Check(link.sent.size() <= 3);
    } else {
        Check(blocks.started <= stopAfterBlocks);
        Check(link.sent.size() <= 3u * static_cast<std::size_t>(stopAfterBlocks + 1));
        for (const auto& s : link.sent) {
            Check(s.packet.size() == 135);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    const std::uint8_t selector = in.Byte();
    const int op = selector % 3;
    const int stopAfterBlocks = (selector / 3) % 6 + 1;
    std::uint32_t start = 0;
    for (int i = 0; i < 4; ++i) {
        start |= static_cast<std::uint32_t>(in.Byte()) << (8 * i);
    }
    SimLine link;  // no module behind it: the input is the line
    for (std::size_t i = 0; i < kMemoryImageSize; i += 97) {
        link.state.MemoryImage[i] = static_cast<std::uint8_t>(i);
    }
    link.connected = false;
    link.Open();
    link.onSent = [&](const std::string&) { Schedule_Reply(in, link); };
    link.clock.now = start;
    link.sendCounter.text = "0";
    link.receivedCounter.text = "0";
    BlockRecord blocks;
    link.feed.Subscribe(blocks);
    link.onYield = [&](std::uint32_t maxWait) {
        // Every wait pass may sleep at most until its deadline; a runaway loop is a finding.
        Check(maxWait <= 3000);
        Check(link.yields.size() < 100000);
        if (op == 1 && maxWait == 0 && blocks.started >= stopAfterBlocks) {
            link.state.StopRequested = true;
        }
    };
    Check_Outcome(op, stopAfterBlocks, Run_Operation(op, stopAfterBlocks, link), link, blocks);
    return 0;
}
