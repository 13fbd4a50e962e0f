#pragma once

#include <cstdint>
#include <vector>

#include "sim_module.h"

namespace lcdsim::test {

using Bytes = std::vector<std::uint8_t>;

inline const Bytes kDetect = {0x87, 0x00, 0x78};
inline const Bytes kReset = {0xFE, 0x00, 0x01};

// A write request for `address` whose data byte i is fill + i * step.
inline Bytes Write_Packet(std::uint32_t address, std::uint8_t fill = 0, std::uint8_t step = 0) {
    Bytes p = {0x04, 0x84};
    for (int shift = 24; shift >= 0; shift -= 8) {
        p.push_back(static_cast<std::uint8_t>(address >> shift));
    }
    for (int i = 0; i < 128; ++i) {
        p.push_back(static_cast<std::uint8_t>(fill + i * step));
    }
    p.push_back(Checksum(p));
    return p;
}

inline Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Block(int n) {
    return Write_Packet(static_cast<std::uint32_t>(n) * 128);
}

}  // namespace lcdsim::test
