#include "link/scripted_module.h"

#include <utility>

#include "link/mod_RS232_COD.h"
#include "state/mod_variabili.h"

namespace lcdprog::test {

void VirtualPump::Advance(std::uint64_t to) {
    if (to > now_) {
        clock_.now += static_cast<std::uint32_t>(to - now_);  // wraps like the real clock
        now_ = to;
    }
}

void VirtualPump::Schedule(std::uint64_t at, Arrival arrival) {
    due_.emplace(at, std::move(arrival));
}

void VirtualPump::Yield(std::uint32_t maxWaitMs) {
    yields.push_back({maxWaitMs, now_});
    if (onYield) {
        onYield(maxWaitMs);
    }
    // Like the real pump: run what is pending, otherwise sleep until the next event or the limit.
    if (due_.empty() || due_.begin()->first > now_ + maxWaitMs) {
        Advance(now_ + maxWaitMs);
        return;
    }
    Advance(due_.begin()->first);
    while (!due_.empty() && due_.begin()->first <= now_) {
        Arrival arrival = std::move(due_.begin()->second);
        due_.erase(due_.begin());
        if (!arrival.bytes.empty()) {
            serial_.Deliver(arrival.bytes);
        }
        if (arrival.action) {
            arrival.action();
        }
    }
}

ScriptedLink::ScriptedLink(Script s) : script(std::move(s)) {
    serial.ports[1] = FakeSerialControl::Port::Free;
    serial.SetCommPort(1);
    serial.SetPortOpen(true);
    serial.SetCommHandler([this] { RS232_Interface_OnComm(serial); });
    serial.onOutput = [this](const std::string& packet) {
        const std::size_t index = sent.size();
        sent.push_back({pump.Now(), packet});
        if (!script) {
            return;
        }
        for (Arrival& arrival : script(packet, index)) {
            const std::uint64_t at = pump.Now() + arrival.afterMs;
            pump.Schedule(at, std::move(arrival));
        }
    };
}

LinkIo ScriptedLink::Io() {
    return LinkIo{serial, clock, pump, messages, sendCounter, receivedCounter, spy, progress};
}

std::string Detection_Reply() {
    return std::string("\x87\x04\x41\x42\x43\x44\x6A", 7);
}
std::string Write_Acknowledgement() {
    return std::string("\x04\x00\xFB", 3);
}
std::string Reset_Acknowledgement() {
    return std::string("\xFE\x00\x01", 3);
}

Script Answer_Everything(std::uint32_t delayMs) {
    return [delayMs](const std::string& packet, std::size_t) -> std::vector<Arrival> {
        if (packet.empty()) {
            return {};
        }
        switch (static_cast<std::uint8_t>(packet[0])) {
            case COD_FIND_MODULE:
                return {{delayMs, Detection_Reply(), {}}};
            case COD_WRITE_EEPROM_I2C:
                return {{delayMs, Write_Acknowledgement(), {}}};
            case COD_RESET_PIC:
                return {{delayMs, Reset_Acknowledgement(), {}}};
            default:
                return {};
        }
    };
}

std::string Expected_Write_Packet(std::size_t block) {
    const auto address = static_cast<std::uint32_t>(block * 128);
    std::string packet = {'\x04',
                          static_cast<char>(0x84),
                          0,
                          0,
                          static_cast<char>((address >> 8) & 0xFF),
                          static_cast<char>(address & 0xFF)};
    for (std::size_t i = 0; i < 128; ++i) {
        packet.push_back(static_cast<char>(MemoryImage[address + i]));
    }
    unsigned sum = 0;
    for (const char c : packet) {
        sum += static_cast<unsigned char>(c);
    }
    packet.push_back(static_cast<char>(~sum & 0xFF));
    return packet;
}

}  // namespace lcdprog::test
