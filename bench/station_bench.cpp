// The production station programming 1 and 8 virtual modules at once, each behind its own line
// paced at 115200 baud (as lcdprog-bench-cli does): wall time from "Avvia" until every port has
// ended, the window's own CPU over that time (its ports' processes are children, not counted),
// and whether every module's EEPROM holds the image the station shows.
//
//   lcdprog-bench-station [--bin DIR] [--repeat N] [--modules 1,8]
//   lcdprog-bench-station relay DEVICE    (child mode: the paced line in front of DEVICE)

#include <signal.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "paced_line.h"
#include "platform/posix_file_service.h"
#include "project/project_file.h"
#include "station/frm_Stazione.h"
#include "support/processes.h"

namespace {

using namespace lcdprog;
using namespace lcdprog::test;

struct Result {
    double openMs = 0;  // from creating the window until it has answered its first event
    double wallS = 0;
    double cpuS = 0;  // the window's process only
    int equal = 0;    // modules whose EEPROM is the image
};

double Own_Cpu_S() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto s = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

Result Run(int modules) {
    TempFolder tmp;
    const std::string project = tmp / "job.lcdprj";
    std::ofstream(project) << Serialize_Project(Project{}, project);
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::unique_ptr<ChildProcess>> lines;
    std::string ports;
    for (int i = 0; i < modules; ++i) {
        const std::string name = "module" + std::to_string(i);
        sims.push_back(std::make_unique<SimProcess>(tmp, std::vector<std::string>{}, name));
        if (!sims.back()->Next_Device()) {
            std::fprintf(stderr, "lcdprog-bench-station: lcdprog-sim did not start\n");
            std::exit(1);
        }
        lines.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{"/proc/self/exe", "relay", sims.back()->Link()}));
        if (!ports.empty()) {
            ports += ':';
        }
        ports += lines.back()->Next_Line().value_or("");
    }
    qputenv("LCDPROG_PORTS", QByteArray::fromStdString(ports));
    Result r;
    // Opening: until the window answers its first event, while the image is prepared behind it.
    const double opening = Wall_Now_Ms();
    // The white backgrounds lie beside lcdprog-cli, not beside this program.
    frm_Stazione station({project, false, QString::fromStdString(Bin_Folder()) + "/lcdprog-cli",
                          nullptr, std::make_shared<platform::PosixFileService>(Bin_Folder())});
    station.show();
    QCoreApplication::processEvents();
    r.openMs = Wall_Now_Ms() - opening;
    for (int i = 0; i < modules; ++i) {
        station.findChild<QCheckBox*>("chk_Porta_" + QString::number(i))->setChecked(true);
    }
    // Waits in the event loop, as the window does, looking at the station now and then.
    const auto wait = [](const std::function<bool()>& done) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (done()) {
                loop.quit();
            }
        });
        poll.start(10);
        loop.exec();
    };
    wait([&] { return !station.Preparing_Image(); });
    if (!station.Image_Ready()) {
        std::fprintf(stderr, "lcdprog-bench-station: the project's image was not prepared\n");
        std::exit(1);
    }
    const double cpu0 = Own_Cpu_S();
    const double t0 = Wall_Now_Ms();
    station.findChild<QPushButton*>("cmd_Avvia")->click();
    wait([&] { return !station.Running(); });
    r.wallS = (Wall_Now_Ms() - t0) / 1e3;
    r.cpuS = Own_Cpu_S() - cpu0;
    lines.clear();
    for (const auto& sim : sims) {
        sim->Stop();  // it saves its EEPROM on the way out
        const std::optional<MemoryImageBytes> eeprom = sim->Saved_Eeprom();
        r.equal += eeprom && Image_Sha256(*eeprom) == station.Sha256() ? 1 : 0;
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "relay") {
        return lcdprog::bench::Run_Paced_Line(argv[2]);
    }
    const lcdprog::bench::FleetOptions options =
        lcdprog::bench::Parse_Fleet_Options(argc, argv, {1, 8});
    const int repeat = options.repeat;
    const std::vector<int>& counts = options.counts;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);

    std::printf("Production station, modules behind lines paced at 115200 baud (median of %d)\n",
                repeat);
    std::printf("%8s %10s %10s %10s %16s %8s\n", "modules", "open ms", "wall s", "x one",
                "window CPU %", "EEPROMs");
    double one = 0;
    int failures = 0;
    for (const int n : counts) {
        std::vector<Result> runs;
        for (int k = 0; k < repeat; ++k) {
            runs.push_back(Run(n));
        }
        std::sort(runs.begin(), runs.end(),
                  [](const Result& a, const Result& b) { return a.wallS < b.wallS; });
        const Result& m = runs[runs.size() / 2];
        if (n == counts.front()) {
            one = m.wallS;
        }
        for (const Result& r : runs) {
            failures += r.equal != n ? 1 : 0;
        }
        std::printf("%8d %10.1f %10.3f %10.3f %15.2f%% %5d/%d\n", n, m.openMs, m.wallS,
                    m.wallS / one, 100.0 * m.cpuS / m.wallS, m.equal, n);
        std::fflush(stdout);
    }
    if (failures > 0) {
        std::printf("%d run(s) did not program every module\n", failures);
        return 1;
    }
    return 0;
}
