#pragma once

#include <string>
#include <string_view>

namespace lcdprog::platform {

// Lower-cases a path the way the picture selection stores it: ASCII letters, and the Latin
// letters of UTF-8 (Latin-1 Supplement and Latin Extended-A, U+00C0..U+017F). Every other byte,
// including bytes that are not valid UTF-8, is kept as it is, so the length in bytes never
// changes and no name can make it fail. The file service's case-insensitive lookup compares names
// through this same function, so a path stored in lower case always finds its file again.
std::string Lower_Case_Path(std::string_view path);

}  // namespace lcdprog::platform
