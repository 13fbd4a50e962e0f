#pragma once

#include <cstdint>

namespace lcdprog {

constexpr std::uint8_t COD_FIND_MODULE = 0x87;
constexpr std::uint8_t COD_WRITE_EEPROM_I2C = 0x04;
constexpr std::uint8_t COD_RESET_PIC = 0xFE;

}  // namespace lcdprog
