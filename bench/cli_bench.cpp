// lcdprog-cli programming 1, 4 and 8 virtual modules at once, each behind its own line paced at
// 115200 baud: wall time of the whole command, its CPU (the parent and every port's process),
// and whether every EEPROM ended up equal to the image.
//
// lcdprog-sim paces its replies but not the request's own time on the wire: a pseudo-terminal
// carries the 135 bytes of a write at once. So each module sits behind the paced line the
// whole-run benchmark uses too (paced_line.h), run in a child of this bench.
//
//   lcdprog-bench-cli [--bin DIR] [--repeat N] [--modules 1,4,8]
//   lcdprog-bench-cli relay DEVICE    (child mode: the paced line in front of DEVICE)

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "paced_line.h"
#include "support/processes.h"

extern char** environ;

namespace {

using namespace lcdprog::bench;
using namespace lcdprog::test;

[[noreturn]] void Die(const std::string& what, int error = errno) {
    std::fprintf(stderr, "lcdprog-bench-cli: %s: %s\n", what.c_str(), std::strerror(error));
    std::exit(1);
}

pid_t Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    // posix_spawn returns its error rather than setting errno.
    if (const int error = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
        error != 0) {
        Die("cannot start " + args[0], error);
    }
    return pid;
}

struct Result {
    double wallS = 0;
    double cpuS = 0;  // lcdprog-cli and its ports' processes, user + system
    int status = -1;
    int equal = 0;  // modules whose EEPROM is the image
};

Result Run(const std::string& image, int modules) {
    TempFolder tmp;
    std::ofstream(tmp / "image.bin", std::ios::binary) << image;
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::unique_ptr<ChildProcess>> lines;
    std::vector<std::string> args = {Bin_Folder() + "/lcdprog-cli", "write", tmp / "image.bin",
                                     "--quiet"};
    for (int i = 0; i < modules; ++i) {
        const std::string name = "module" + std::to_string(i);
        sims.push_back(std::make_unique<SimProcess>(tmp, std::vector<std::string>{}, name));
        if (!sims.back()->Next_Device()) {
            Die("lcdprog-sim did not start");
        }
        lines.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{"/proc/self/exe", "relay", sims.back()->Link()}));
        args.push_back("--port");
        args.push_back(lines.back()->Next_Line().value_or(""));
    }
    Result r;
    const double t0 = Wall_Now_Ms();
    const pid_t cli = Spawn(args);
    int raw = 0;
    rusage usage{};
    wait4(cli, &raw, 0, &usage);
    r.wallS = (Wall_Now_Ms() - t0) / 1e3;
    const auto s = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    // wait4 of the command counts the ports' processes too: it waited for them.
    r.cpuS = s(usage.ru_utime) + s(usage.ru_stime);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    lines.clear();
    for (const auto& sim : sims) {
        sim->Stop();  // it saves its EEPROM on the way out
        const std::optional<lcdprog::MemoryImageBytes> eeprom = sim->Saved_Eeprom();
        r.equal += eeprom && std::string(eeprom->begin(), eeprom->end()) == image ? 1 : 0;
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "relay") {
        return Run_Paced_Line(argv[2]);
    }
    const FleetOptions options = Parse_Fleet_Options(argc, argv, {1, 4, 8});
    const int repeat = options.repeat;
    const std::vector<int>& counts = options.counts;
    signal(SIGPIPE, SIG_IGN);
    // Noise, so that every block differs from its neighbours.
    std::string image(65536, '\0');
    std::mt19937 random(42);
    for (char& c : image) {
        c = static_cast<char>(random() & 0xFF);
    }

    std::printf("lcdprog-cli write, modules behind lines paced at 115200 baud (median of %d)\n",
                repeat);
    std::printf("%8s %10s %10s %14s %12s %8s\n", "modules", "wall s", "x one", "CPU s (all)",
                "CPU/module", "EEPROMs");
    double one = 0;
    int failures = 0;
    for (const int n : counts) {
        std::vector<Result> runs;
        for (int k = 0; k < repeat; ++k) {
            runs.push_back(Run(image, n));
        }
        std::sort(runs.begin(), runs.end(),
                  [](const Result& a, const Result& b) { return a.wallS < b.wallS; });
        const Result& m = runs[runs.size() / 2];
        if (n == counts.front()) {
            one = m.wallS;
        }
        for (const Result& r : runs) {
            failures += r.status != 0 || r.equal != n ? 1 : 0;
        }
        std::printf("%8d %10.3f %10.3f %14.3f %11.2f%% %5d/%d\n", n, m.wallS, m.wallS / one, m.cpuS,
                    100.0 * m.cpuS / m.wallS / n, m.equal, n);
        std::fflush(stdout);
    }
    if (failures > 0) {
        std::printf("%d run(s) did not program every module\n", failures);
        return 1;
    }
    return 0;
}
