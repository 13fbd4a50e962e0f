#pragma once

// Unpacking a gzip file held in memory, for the pixel fonts that X11 installs as .pcf.gz. The one
// file that uses zlib, which Qt already loads, so the program gains no new run-time library.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lcdprog::picture {

// A font file unpacks to well under a megabyte; this bounds what a damaged or hostile file can
// make us allocate.
inline constexpr std::size_t kGunzipLimit = std::size_t{16} << 20;

// The bytes of the first member of a gzip file, or nullopt when `bytes` are not gzip, are cut
// short or damaged, or unpack to more than `limit` bytes.
std::optional<std::string> Gunzip(std::string_view bytes, std::size_t limit = kGunzipLimit);

}  // namespace lcdprog::picture
