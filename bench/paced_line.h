#pragma once

// What both whole-run benchmarks put in front of a virtual module: a line paced at 115200 baud.

#include <string>
#include <vector>

namespace lcdprog::bench {

constexpr double kByteMs = 10.0 / 115.2;  // 8N1 at 115200 baud: 10 bits per byte, 86.8 us

// A device opened raw and non-blocking, at 115200 baud where the device has a speed.
int Raw_Open(const std::string& path);

// Runs the paced line in front of `moduleDevice` until the process is killed, after printing the
// programmer's device on standard output; returns 1 when it cannot start. A benchmark runs it in
// a child of its own (`BENCH relay DEVICE`).
int Run_Paced_Line(const std::string& moduleDevice);

// The fleet benchmarks' options: --bin FOLDER (sets LCDPROG_BIN, for lcdprog-cli and the
// modules alike), --repeat N and --modules N,N,...; `counts` starts as the caller's default.
struct FleetOptions {
    int repeat = 3;
    std::vector<int> counts;
};
FleetOptions Parse_Fleet_Options(int argc, char** argv, std::vector<int> defaultCounts);

}  // namespace lcdprog::bench
