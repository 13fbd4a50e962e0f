#include "e2e_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest/QTest>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "main_window/picture_files.h"
#include "state/mod_variabili.h"

extern char** environ;

namespace lcdprog::test {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

int Ms_Left(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::string Read_Whole_File(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Link names must differ between tests that run side by side: the serial port library keeps a
// lock file named after the port's last path component.
std::string Unique_Name(const char* stem) {
    static std::atomic<int> next{0};
    return std::string(stem) + "-" + std::to_string(getpid()) + "-" + std::to_string(next++);
}

const char kSyncFrame[] = {'\x55', '\x00', '\xAA'};
const char kSyncLogged[] = "unknown command 0x55";

}  // namespace

std::string Bin_Folder() {
    if (const char* bin = std::getenv("LCDPROG_BIN"); bin != nullptr && *bin != '\0') {
        return bin;
    }
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return (self.parent_path().parent_path() / "bin").string();
}

TempFolder::TempFolder() {
    const fs::path base = fs::temp_directory_path() / Unique_Name("lcdprog-e2e");
    fs::create_directories(base);
    path_ = base.string();
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

int LineCount::Total_Writes() const {
    int total = 0;
    for (const int n : writes) {
        total += n;
    }
    return total;
}

LineCount Count(const std::vector<LinePacket>& packets) {
    LineCount count;
    for (const LinePacket& p : packets) {
        switch (p.kind) {
            case LinePacket::Kind::Detect:
                ++count.detects;
                break;
            case LinePacket::Kind::Reset:
                ++count.resets;
                break;
            case LinePacket::Kind::Write:
                if (p.block >= 0 && p.block < kBlocks) {
                    ++count.writes[static_cast<std::size_t>(p.block)];
                } else {
                    ++count.others;
                }
                break;
            case LinePacket::Kind::Other:
                ++count.others;
                break;
        }
    }
    return count;
}

LinePacket Classify(const std::string& packet) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(packet[i]); };
    if (packet == std::string("\x87\x00\x78", 3)) {
        return {LinePacket::Kind::Detect, -1};
    }
    if (packet == std::string("\xFE\x00\x01", 3)) {
        return {LinePacket::Kind::Reset, -1};
    }
    if (packet.size() == 135 && byte(0) == 0x04 && byte(1) == 0x84) {
        const unsigned address = (byte(2) << 24) | (byte(3) << 16) | (byte(4) << 8) | byte(5);
        return {LinePacket::Kind::Write, static_cast<int>(address / 128)};
    }
    return {};
}

int Blocks_Written(const Eeprom& eeprom) {
    int written = 0;
    while (written < kBlocks) {
        const std::size_t at = static_cast<std::size_t>(written) * 128;
        if (!std::equal(eeprom.begin() + at, eeprom.begin() + at + 128, MemoryImage.begin() + at)) {
            break;
        }
        ++written;
    }
    for (std::size_t i = static_cast<std::size_t>(written) * 128; i < eeprom.size(); ++i) {
        if (eeprom[i] != 0xFF) {
            return -1;
        }
    }
    return written;
}

SimProcess::SimProcess(const TempFolder& folder, std::vector<std::string> extraArgs)
    : link_(folder / Unique_Name("lcd")),
      eepromFile_(folder / "eeprom.bin"),
      logFile_(folder / "sim.log") {
    int pipeFds[2] = {-1, -1};
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return;
    }
    const std::string exe = Bin_Folder() + "/lcdprog-sim";
    std::vector<std::string> args = {exe,         "--link", link_,    "--eeprom",
                                     eepromFile_, "--log",  "--quiet"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logFile_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // The child starts with every signal at its default and none blocked, whatever this
    // process (or its GUI library) has set up.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int spawned = posix_spawn(&pid_, exe.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    out_ = pipeFds[0];
    if (spawned != 0) {
        pid_ = -1;
        ADD_FAILURE() << "cannot start " << exe << ": " << std::strerror(spawned);
        return;
    }
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

SimProcess::~SimProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (pidFd_ >= 0) {
        close(pidFd_);
    }
    if (out_ >= 0) {
        close(out_);
    }
}

std::optional<std::string> SimProcess::Next_Device(int timeoutMs) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const std::size_t end = pendingOut_.find('\n');
        if (end != std::string::npos) {
            std::string line = pendingOut_.substr(0, end);
            pendingOut_.erase(0, end + 1);
            return line;
        }
        if (out_ < 0) {
            return std::nullopt;
        }
        pollfd p{out_, POLLIN, 0};
        const int left = Ms_Left(deadline);
        if (left == 0 || poll(&p, 1, left) <= 0) {
            return std::nullopt;
        }
        char buffer[256];
        const ssize_t n = read(out_, buffer, sizeof buffer);
        if (n <= 0) {
            return std::nullopt;  // the module ended
        }
        pendingOut_.append(buffer, static_cast<std::size_t>(n));
    }
}

bool SimProcess::Sync(platform::SerialControl& serial, int timeoutMs) {
    if (!serial.Output(std::string_view(kSyncFrame, sizeof kSyncFrame))) {
        return false;
    }
    ++syncs_;
    // The log is a file the module appends to; there is nothing to wait on but its content.
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const std::string log = Log();
        int seen = 0;
        for (std::size_t at = log.find(kSyncLogged); at != std::string::npos;
             at = log.find(kSyncLogged, at + 1)) {
            ++seen;
        }
        if (seen >= syncs_) {
            return true;
        }
        if (Ms_Left(deadline) == 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::optional<int> SimProcess::Wait_Exit(int timeoutMs) {
    if (pid_ <= 0) {
        return std::nullopt;
    }
    if (pidFd_ >= 0) {
        pollfd p{pidFd_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) {
            return std::nullopt;
        }
    }
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_) {
        return std::nullopt;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int SimProcess::Stop(int timeoutMs) {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, SIGTERM);
    if (const std::optional<int> status = Wait_Exit(timeoutMs)) {
        return *status;
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
}

std::string SimProcess::Log() const {
    return Read_Whole_File(logFile_);
}

std::vector<LinePacket> SimProcess::Packets() const {
    std::vector<LinePacket> packets;
    std::istringstream lines(Log());
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t rx = line.find("] rx #");
        if (rx == std::string::npos || line.find(kSyncLogged) != std::string::npos) {
            continue;
        }
        const std::size_t what = line.find(' ', rx + 6);
        if (what == std::string::npos) {
            continue;
        }
        const std::string rest = line.substr(what + 1);
        LinePacket p;
        if (rest.rfind("detect,", 0) == 0) {
            p.kind = LinePacket::Kind::Detect;
        } else if (rest.rfind("reset,", 0) == 0) {
            p.kind = LinePacket::Kind::Reset;
        } else if (rest.rfind("write block ", 0) == 0) {
            p.kind = LinePacket::Kind::Write;
            p.block = std::atoi(rest.c_str() + 12);
        }
        packets.push_back(p);
    }
    return packets;
}

std::optional<Eeprom> SimProcess::Saved_Eeprom() const {
    const std::string bytes = Read_Whole_File(eepromFile_);
    if (bytes.size() != 65536) {
        return std::nullopt;
    }
    Eeprom eeprom{};
    std::copy(bytes.begin(), bytes.end(), eeprom.begin());
    return eeprom;
}

namespace {
double Cpu_Ms() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}
}  // namespace

Stopwatch::Stopwatch() : wall_(SteadyClock::now()), cpu_(Cpu_Ms()) {}

Elapsed Stopwatch::Read() const {
    return {std::chrono::duration<double, std::milli>(SteadyClock::now() - wall_).count(),
            Cpu_Ms() - cpu_};
}

std::vector<std::string> Make_Noise_Pictures(const TempFolder& folder, const std::string& prefix,
                                             int width, int height, int count, unsigned seed) {
    std::vector<std::string> paths;
    std::uint32_t state = seed * 2654435761u + 1u;
    for (int k = 0; k < count; ++k) {
        std::string bytes = Make_Picture({width, height, 1, false, "BM", 0});
        // Everything after the 62-byte header is pixels.
        for (std::size_t i = 62; i < bytes.size(); ++i) {
            state = state * 1664525u + 1013904223u;
            bytes[i] = static_cast<char>(state >> 24);
        }
        const std::string path = folder / (prefix + "_" + std::to_string(k) + ".bmp");
        std::ofstream(path, std::ios::binary) << bytes;
        paths.push_back(path);
    }
    return paths;
}

Desk::Desk(platform::Services& services) : services_(services) {}

Desk::~Desk() {
    if (frm_RS232* serial = Current_frm_RS232()) {
        serial->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    main_.reset();
}

bool Desk::Open() {
    main_ = std::make_unique<frm_Config_LCD>(services_, [this] { Show_frm_RS232(services_); });
    if (!main_->Form_Load()) {
        ADD_FAILURE() << "the main window did not start (white backgrounds in " << Bin_Folder()
                      << "?)";
        return false;
    }
    main_->show();
    QAction* menuItem = main_->findChild<QAction*>(QStringLiteral("smnu_Comunicazione_0"));
    if (menuItem == nullptr) {
        ADD_FAILURE() << "no menu item smnu_Comunicazione_0";
        return false;
    }
    menuItem->trigger();
    if (Current_frm_RS232() == nullptr) {
        ADD_FAILURE() << "the serial port window did not open";
        return false;
    }
    return true;
}

bool Desk::Choose_Noise_Pictures(const TempFolder& folder, FakeFileDialog& dialog,
                                 const FakeMessageBox& messages) {
    struct Panel {
        const char* prefix;
        int width;
        int height;
        void (frm_Config_LCD::*mouseDown)(int, Qt::MouseButton);
    };
    const Panel panels[] = {
        {"p64128a", 128, 64, &frm_Config_LCD::pct_Image_64128A_MouseDown},
        {"p64128e", 128, 64, &frm_Config_LCD::pct_Image_64128E_MouseDown},
        {"p64240b", 240, 64, &frm_Config_LCD::pct_Image_64240B_MouseDown},
        {"p128240a", 240, 128, &frm_Config_LCD::pct_Image_128240A_MouseDown},
    };
    unsigned seed = 1;
    for (const Panel& panel : panels) {
        const auto paths =
            Make_Noise_Pictures(folder, panel.prefix, panel.width, panel.height, 4, seed++);
        for (int i = 0; i < 4; ++i) {
            dialog.answer = paths[static_cast<std::size_t>(i)];
            const std::size_t shownBefore = messages.shown.size();
            (main_.get()->*panel.mouseDown)(i, Qt::RightButton);
            if (messages.shown.size() != shownBefore) {
                ADD_FAILURE() << "picture refused: " << paths[static_cast<std::size_t>(i)];
                return false;
            }
        }
    }
    return true;
}

frm_RS232& Desk::Serial() const {
    frm_RS232* window = Current_frm_RS232();
    if (window == nullptr) {
        throw std::runtime_error("no serial port window");
    }
    return *window;
}

void Desk::Click(const char* button) const {
    auto* b = Serial().findChild<QPushButton*>(QString::fromLatin1(button));
    ASSERT_NE(b, nullptr) << button;
    QTest::mouseClick(b, Qt::LeftButton);
}

bool Desk::Enabled(const char* name) const {
    auto* w = Serial().findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w != nullptr && w->isEnabled();
}

std::string Desk::Text(const char* lineEdit) const {
    auto* w = Serial().findChild<QLineEdit*>(QString::fromLatin1(lineEdit));
    EXPECT_NE(w, nullptr) << lineEdit;
    return w != nullptr ? w->text().toStdString() : std::string();
}

std::string Desk::Trace() const {
    auto* w = Serial().findChild<QTextEdit*>(QStringLiteral("rtb_RS232_SPY"));
    EXPECT_NE(w, nullptr);
    return w != nullptr ? w->toPlainText().toStdString() : std::string();
}

QProgressBar& Desk::Progress() const {
    auto* w = Serial().findChild<QProgressBar*>(QStringLiteral("pgb_RS232"));
    if (w == nullptr) {
        throw std::runtime_error("no pgb_RS232");
    }
    return *w;
}

std::vector<std::string> Desk::Ports() const {
    std::vector<std::string> ports;
    auto* combo = Serial().findChild<QComboBox*>(QStringLiteral("cmb_RS232"));
    if (combo != nullptr) {
        for (int i = 0; i < combo->count(); ++i) {
            ports.push_back(combo->itemText(i).toStdString());
        }
    }
    return ports;
}

std::vector<std::string> Link_Messages(const FakeMessageBox& messages) {
    std::vector<std::string> texts;
    for (const ShownMessage& m : messages.shown) {
        EXPECT_EQ(m.title, "ERROR RS232") << m.text;
        EXPECT_EQ(m.icon, platform::MessageIcon::Critical) << m.text;
        texts.push_back(m.text);
    }
    return texts;
}

}  // namespace lcdprog::test
