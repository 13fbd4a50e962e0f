#include "link/mod_RS232.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/mod_RS232_COD.h"
#include "state/mod_variabili.h"

namespace lcdprog {

namespace {

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
    bool watchStop;  // only the EEPROM run can be stopped
};

enum class ExchangeResult { Succeeded, Failed, Stopped };

// Milliseconds still to wait before the reply deadline; the clock wraps at 2^32, so elapsed time
// is always the unsigned difference of two readings.
std::uint32_t Remaining_Ms(platform::Clock& clock, std::uint32_t start) {
    const std::uint32_t elapsed = clock.Milliseconds() - start;
    return elapsed >= kReplyTimeoutMs ? 0 : kReplyTimeoutMs - elapsed;
}

bool Port_Gone(const LinkIo& io) {
    return io.endOnClosedPort && !io.serial.PortOpen();
}

// Send, wait, report and validate, up to three times. The packet is sent as given at every
// attempt: a retry repeats exactly the bytes of the first.
ExchangeResult Exchange(const LinkIo& io, const std::string& packet,
                        const ExchangeOptions& options) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (Port_Gone(io)) {
            return ExchangeResult::Failed;
        }
        io.observer.Attempt(attempt + 1);
        // A write that fails (port gone) is not reported here: it shows as a missing reply.
        io.serial.Output(packet);
        io.observer.Packet_Sent(packet);
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
            if (io.clock.Milliseconds() - start >= kReplyTimeoutMs || Port_Gone(io)) {
                break;
            }
        }
        const bool valid =
            io.state.RxLength >= options.expectedLength &&
            Reply_Is_Valid(io.state.RxBuffer, options.command, options.expectedLength);
        io.observer.Reply_Received(io.state.RxBuffer, valid);
        if (valid) {
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

bool Find_Module(const LinkIo& io) {
    io.observer.Phase_Changed(RunPhase::Detection);
    const std::string packet = Build_Request(COD_FIND_MODULE, {});
    const ExchangeResult result =
        Exchange(io, packet, {COD_FIND_MODULE, kFindReplyLength, /*watchStop=*/false});
    if (result == ExchangeResult::Succeeded) {
        return true;
    }
    Show_Link_Failure(io, "Impossibile trovare il modulo, verificare la connessione!");
    return false;
}

bool Write_EEPROM_I2C(const LinkIo& io) {
    io.state.StopRequested = false;
    io.observer.Phase_Changed(RunPhase::Writing);
    // One buffer for every block: the data bytes go straight from MemoryImage into it.
    std::string packet;
    packet.reserve(kWritePacketLength);
    for (int n = 0; n < kBlocks; ++n) {
        packet.clear();
        packet.push_back(static_cast<char>(COD_WRITE_EEPROM_I2C));
        packet.push_back(static_cast<char>(kWritePayloadLength));
        // The operator sees the block number before it goes out, and can press Stop here; the
        // stop is read in the wait that follows, after this block has been sent.
        io.observer.Block_Started(n);
        io.pump.Yield(0);
        const auto address = static_cast<std::uint32_t>(n * kBlockSize);
        packet.push_back(static_cast<char>((address >> 24) & 0xFFu));
        packet.push_back(static_cast<char>((address >> 16) & 0xFFu));
        packet.push_back(static_cast<char>((address >> 8) & 0xFFu));
        packet.push_back(static_cast<char>(address & 0xFFu));
        packet.append(reinterpret_cast<const char*>(io.state.MemoryImage.data() + address),
                      kBlockSize);
        packet.push_back(static_cast<char>(Packet_Checksum(packet)));

        const ExchangeResult result =
            Exchange(io, packet, {COD_WRITE_EEPROM_I2C, kWriteReplyLength, /*watchStop=*/true});
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
    io.observer.Phase_Changed(RunPhase::Reset);
    const std::string packet = Build_Request(COD_RESET_PIC, {});
    const ExchangeResult result =
        Exchange(io, packet, {COD_RESET_PIC, kResetReplyLength, /*watchStop=*/false});
    if (result == ExchangeResult::Succeeded) {
        return true;
    }
    Show_Link_Failure(io, "Impossibile resettare PIC!");
    return false;
}

}  // namespace lcdprog
