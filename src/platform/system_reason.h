#pragma once

#include <string>

namespace lcdprog::platform {

// The reason an operator reads for a failed system call: the program's own Italian sentence
// for the failures met in practice (a missing file, no permission, a folder where a file is
// needed, a full or read-only disk, a busy or absent device, a failing disk), the C library's
// text for the rest, which are rare enough that the system's words serve better than a guess.
std::string System_Reason(int error);

}  // namespace lcdprog::platform
