#pragma once

// The module's EEPROM content as one value: what the compiler makes, the link sends, the
// command line loads and saves, the virtual module keeps and the record names by its hash.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace lcdprog {

// Index is the EEPROM address.
constexpr std::size_t kMemoryImageSize = 65536;
using MemoryImageBytes = std::array<std::uint8_t, kMemoryImageSize>;

// The image's SHA-256 in lower-case hex: what the record names and the operator checks against
// the work order. Written out here rather than taken from Qt, so that the Qt-free layers and the
// virtual module can name an image the same way.
std::string Image_Sha256(const MemoryImageBytes& image);

}  // namespace lcdprog
