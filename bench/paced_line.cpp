#include "paced_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <tuple>

#include "support/processes.h"

namespace lcdprog::bench {

using test::Wall_Now_Ms;

int Raw_Open(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (fd >= 0 && tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetspeed(&tio, B115200);
        tcsetattr(fd, TCSANOW, &tio);
        tcflush(fd, TCIOFLUSH);
    }
    return fd;
}

// The virtual module starts its reply as soon as a request is complete on its side, and a
// pseudo-terminal carries the request's 135 bytes at once: the request's time on the wire is
// not charged. This relay gives the programmer a pseudo-terminal of its own and
// hands the bytes on to the module only when they would have arrived at 115200 baud (10 bits a
// byte, one after the other); replies pass back at once (the module paces them itself).
int Run_Paced_Line(const std::string& moduleDevice) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    char name[128] = {};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        return 1;
    }
    // The slave is held open for the relay's life, so the master never sees a hang-up between
    // users.
    const int keep = Raw_Open(name);
    const int module = Raw_Open(moduleDevice);
    if (keep < 0 || module < 0 || std::printf("%s\n", name) < 0 || std::fflush(stdout) != 0) {
        return 1;
    }
    std::string queue;  // request bytes not yet handed on
    double due = 0;     // when the last of them has fully arrived, ms
    for (char buf[4096];;) {
        // Handed on once the last queued byte is in: the module only acts on whole packets.
        if (!queue.empty() && due <= Wall_Now_Ms() &&
            write(module, queue.data(), queue.size()) == std::ssize(queue)) {
            queue.clear();
        }
        pollfd fds[2] = {{master, POLLIN, 0}, {module, POLLIN, 0}};
        const double waitMs = std::max(0.0, due - Wall_Now_Ms());
        const timespec ts{static_cast<time_t>(waitMs / 1e3),
                          static_cast<long>(std::fmod(waitMs, 1e3) * 1e6)};
        if (ppoll(fds, 2, queue.empty() ? nullptr : &ts, nullptr) < 0 && errno != EINTR) {
            return 1;
        }
        if (const ssize_t n = (fds[0].revents & POLLIN) ? read(master, buf, sizeof buf) : 0;
            n > 0) {
            due = std::max(due, Wall_Now_Ms()) + static_cast<double>(n) * kByteMs;
            queue.append(buf, static_cast<std::size_t>(n));
        }
        // With the programmer's side closed a reply is lost, as on a real line.
        if (const ssize_t n = (fds[1].revents & POLLIN) ? read(module, buf, sizeof buf) : 0;
            n > 0) {
            std::ignore = write(master, buf, static_cast<std::size_t>(n));
        }
    }
}

FleetOptions Parse_Fleet_Options(int argc, char** argv, std::vector<int> defaultCounts) {
    FleetOptions options{3, std::move(defaultCounts)};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--bin") {
            setenv("LCDPROG_BIN", argv[i + 1], 1);
        } else if (opt == "--repeat") {
            options.repeat = std::max(1, std::atoi(argv[i + 1]));
        } else if (opt == "--modules") {
            options.counts.clear();
            for (char* p = argv[i + 1]; *p != '\0';) {
                options.counts.push_back(static_cast<int>(std::strtol(p, &p, 10)));
                p += *p == ',' ? 1 : 0;
            }
        }
    }
    return options;
}

}  // namespace lcdprog::bench
