#pragma once

// Packets as a programmer sends them, for the virtual module's tests.

#include <cstdint>
#include <vector>

#include "sim_module.h"

namespace lcdsim::test {

using Bytes = std::vector<std::uint8_t>;

inline const Bytes kDetect = {0x87, 0x00, 0x78};
inline const Bytes kReset = {0xFE, 0x00, 0x01};

// 04 84 A3 A2 A1 A0, 128 data bytes, checksum; data byte i is fill + i * step.
inline Bytes Write_Packet(std::uint32_t address, std::uint8_t fill = 0, std::uint8_t step = 0) {
    Bytes packet = {0x04,
                    0x84,
                    static_cast<std::uint8_t>(address >> 24),
                    static_cast<std::uint8_t>(address >> 16),
                    static_cast<std::uint8_t>(address >> 8),
                    static_cast<std::uint8_t>(address)};
    for (int i = 0; i < 128; ++i) {
        packet.push_back(static_cast<std::uint8_t>(fill + i * step));
    }
    packet.push_back(Checksum(packet));
    return packet;
}

inline Bytes Block(int n) {
    return Write_Packet(static_cast<std::uint32_t>(n) * 128);
}

}  // namespace lcdsim::test
