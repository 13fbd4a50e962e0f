#include "link/mod_RS232.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/mod_RS232_COD.h"
#include "state/mod_variabili.h"

namespace lcdprog {

namespace {

constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kRed = 0xFF0000;

constexpr int kAttempts = 3;
constexpr std::uint32_t kReplyTimeoutMs = 3000;

constexpr std::size_t kWriteReplyLength = 3;
constexpr std::size_t kResetReplyLength = 3;

// 4 address bytes and one block of data.
constexpr std::uint8_t kWritePayloadLength = 4 + kBlockSize;
constexpr std::size_t kWritePacketLength = 2 + kWritePayloadLength + 1;

const std::string kMessageTitle = "ERROR RS232";
const std::string kMessageHead = "Comunicazione seriale interrotta.\r\n";

struct ExchangeOptions {
    std::uint8_t command;
    std::size_t expectedLength;
    bool traceReply;  // the reset does not trace its replies
    bool watchStop;   // only the EEPROM run can be stopped
};

enum class ExchangeResult { Succeeded, Failed, Stopped };

// Milliseconds still to wait before the reply deadline; the clock wraps at 2^32, so elapsed time
// is always the unsigned difference of two readings.
std::uint32_t Remaining_Ms(platform::Clock& clock, std::uint32_t start) {
    const std::uint32_t elapsed = clock.Milliseconds() - start;
    return elapsed >= kReplyTimeoutMs ? 0 : kReplyTimeoutMs - elapsed;
}

// Send, wait, trace, count and validate, up to three times. The packet is sent as given at
// every attempt: a retry repeats exactly the bytes of the first.
ExchangeResult Exchange(const LinkIo& io, const std::string& packet,
                        const ExchangeOptions& options) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        // A write that fails (port gone) is not reported here: it shows as a missing reply.
        io.serial.Output(packet);
        Increment_Counter(io.sendCounter);
        Spy_Send_Packet(io.spy, packet);
        io.state.RxLength = 0;
        io.state.RxBuffer.clear();
        const std::uint32_t start = io.clock.Milliseconds();
        for (;;) {
            // Received bytes and the Stop click are handled inside the yield; it sleeps at most
            // until the deadline, so the loop never spins while nothing happens.
            io.pump.Yield(Remaining_Ms(io.clock, start));
            if (options.watchStop && io.state.StopRequested) {
                return ExchangeResult::Stopped;
            }
            if (io.state.RxLength >= options.expectedLength) {
                break;
            }
            if (io.clock.Milliseconds() - start >= kReplyTimeoutMs) {
                break;
            }
        }
        if (options.traceReply) {
            Spy_Received_Packet(io.spy, io.state.RxBuffer);
        }
        Increment_Counter(io.receivedCounter);
        if (io.state.RxLength >= options.expectedLength &&
            Reply_Is_Valid(io.state.RxBuffer, options.command, options.expectedLength)) {
            return ExchangeResult::Succeeded;
        }
    }
    return ExchangeResult::Failed;
}

void Show_Link_Failure(const LinkIo& io, const char* what) {
    io.messages.Show(kMessageHead + what, kMessageTitle, platform::MessageIcon::Critical);
}

}  // namespace

void RS232_Interface_OnComm(platform::SerialControl& serial, ProgramState& state) {
    if (serial.CommEvent() != platform::comm_event::kReceive) {
        // Line changes and error events are not acted on: a damaged reply simply fails to
        // validate and the exchange tries again.
        return;
    }
    state.RxBuffer += serial.Input();
    if (state.RxBuffer.size() <= 255) {
        state.RxLength = static_cast<std::uint8_t>(state.RxBuffer.size());
    }
}

void Attach_Receive_Handler(platform::SerialControl& serial, ProgramState& state) {
    serial.SetCommHandler([&serial, &state] { RS232_Interface_OnComm(serial, state); });
}

std::uint8_t Packet_Checksum(std::string_view bytes) {
    unsigned sum = 0;
    for (const char c : bytes) {
        sum += static_cast<unsigned char>(c);
    }
    return static_cast<std::uint8_t>(~sum & 0xFFu);
}

std::string Build_Request(std::uint8_t command, std::string_view payload) {
    std::string packet;
    packet.reserve(payload.size() + 3);
    packet.push_back(static_cast<char>(command));
    packet.push_back(static_cast<char>(payload.size() & 0xFFu));
    packet.append(payload);
    packet.push_back(static_cast<char>(Packet_Checksum(packet)));
    return packet;
}

bool Reply_Is_Valid(std::string_view buffer, std::uint8_t command, std::size_t expected) {
    if (expected < 2 || buffer.size() < expected) {
        return false;
    }
    return static_cast<std::uint8_t>(buffer[0]) == command &&
           static_cast<std::uint8_t>(buffer[expected - 1]) ==
               Packet_Checksum(buffer.substr(0, expected - 1));
}

void Increment_Counter(platform::TextControl& counter) {
    // The box holds what this program wrote into it, so anything that is not a whole number
    // within the 16-bit range (empty, edited by hand, out of range) counts as 0 rather than
    // stopping the exchange.
    const std::string text = counter.Text();
    std::string_view digits = text;
    while (!digits.empty() && digits.front() == ' ') {
        digits.remove_prefix(1);
    }
    while (!digits.empty() && digits.back() == ' ') {
        digits.remove_suffix(1);
    }
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    std::int16_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size()) {
        value = 0;
    }
    // 16-bit arithmetic: 32767 + 1 wraps to -32768, as the box's type would.
    const auto next = static_cast<std::int16_t>(static_cast<std::uint16_t>(value) + 1u);
    counter.SetText(std::to_string(next));
}

std::string Trace_Line(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string line;
    line.reserve(bytes.empty() ? 2 : bytes.size() * 6);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) {
            line += "; ";
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        line += '0';
        line += 'x';
        line += kHex[b >> 4];
        line += kHex[b & 0x0F];
    }
    line += "\r\n";
    return line;
}

void Spy_Send_Packet(platform::RichTextControl& spy, const std::string& packet) {
    const std::string line = Trace_Line(packet);
    spy.SetText(line);
    spy.SetSelStart(0);
    spy.SetSelLength(static_cast<int>(line.size()));
    spy.SetSelColor(kBlue);
}

void Spy_Received_Packet(platform::RichTextControl& spy, const std::string& buffer) {
    const std::string line = Trace_Line(buffer);
    const int lineLength = static_cast<int>(line.size()) - 2;  // without its CR LF
    const std::string before = spy.Text();
    const std::string text = before + line;
    spy.SetText(text);
    // Setting the whole text may drop the colours of what was already there (a plain rich text
    // box does). The text before the reply is the request line, so it is painted blue again:
    // after every exchange the trace reads request in blue, reply in red, whatever the box does.
    if (!before.empty()) {
        spy.SetSelStart(0);
        spy.SetSelLength(static_cast<int>(before.size()));
        spy.SetSelColor(kBlue);
    }
    const int length = static_cast<int>(text.size());
    spy.SetSelStart(length - lineLength - 2);
    spy.SetSelLength(length);
    spy.SetSelColor(kRed);
}

bool Find_Module(const LinkIo& io) {
    io.sendCounter.SetText("0");
    io.receivedCounter.SetText("0");
    io.spy.SetText("");
    io.progress.SetValue(0);
    const std::string packet = Build_Request(COD_FIND_MODULE, {});
    const ExchangeResult result = Exchange(
        io, packet, {COD_FIND_MODULE, kFindReplyLength, /*traceReply=*/true, /*watchStop=*/false});
    if (result == ExchangeResult::Succeeded) {
        return true;
    }
    Show_Link_Failure(io, "Impossibile trovare il modulo, verificare la connessione!");
    return false;
}

bool Write_EEPROM_I2C(const LinkIo& io) {
    io.state.StopRequested = false;
    // One buffer for every block: the data bytes go straight from MemoryImage into it.
    std::string packet;
    packet.reserve(kWritePacketLength);
    for (int n = 0; n < kBlocks; ++n) {
        packet.clear();
        packet.push_back(static_cast<char>(COD_WRITE_EEPROM_I2C));
        packet.push_back(static_cast<char>(kWritePayloadLength));
        // The operator sees the block number before it goes out, and can press Stop here; the
        // stop is read in the wait that follows, after this block has been sent.
        io.progress.SetValue(n);
        io.pump.Yield(0);
        const auto address = static_cast<std::uint32_t>(n * kBlockSize);
        packet.push_back(static_cast<char>((address >> 24) & 0xFFu));
        packet.push_back(static_cast<char>((address >> 16) & 0xFFu));
        packet.push_back(static_cast<char>((address >> 8) & 0xFFu));
        packet.push_back(static_cast<char>(address & 0xFFu));
        packet.append(reinterpret_cast<const char*>(io.state.MemoryImage.data() + address),
                      kBlockSize);
        packet.push_back(static_cast<char>(Packet_Checksum(packet)));

        const ExchangeResult result = Exchange(
            io, packet,
            {COD_WRITE_EEPROM_I2C, kWriteReplyLength, /*traceReply=*/true, /*watchStop=*/true});
        if (result == ExchangeResult::Stopped) {
            // The operator asked for it: no message, and the caller sends no reset.
            return false;
        }
        if (result == ExchangeResult::Failed) {
            Show_Link_Failure(io, "Scrittura EEPROM I2C fallita!");
            return false;
        }
    }
    return true;
}

bool Reset_PIC(const LinkIo& io) {
    const std::string packet = Build_Request(COD_RESET_PIC, {});
    const ExchangeResult result = Exchange(
        io, packet, {COD_RESET_PIC, kResetReplyLength, /*traceReply=*/false, /*watchStop=*/false});
    if (result == ExchangeResult::Succeeded) {
        return true;
    }
    Show_Link_Failure(io, "Impossibile resettare PIC!");
    return false;
}

}  // namespace lcdprog
