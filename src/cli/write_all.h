#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace lcdprog::cli {

// A pipe or a file may take a write in pieces, or a signal may cut it short. False when a write
// fails (errno says why).
inline bool Write_All(int fd, const char* p, std::size_t left) {
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace lcdprog::cli
