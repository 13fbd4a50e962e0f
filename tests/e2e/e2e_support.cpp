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
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest/QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "link/mod_RS232.h"
#include "main_window/picture_files.h"
#include "state/mod_variabili.h"

extern char** environ;

namespace lcdprog::test {

namespace fs = std::filesystem;

double Wall_Now_Ms() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double Cpu_Now_Ms() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

namespace {

std::string Read_Whole_File(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The serial port library keeps a lock file named after the port's last path component, so
// links of tests running side by side must differ.
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
    return (fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "bin").string();
}

TempFolder::TempFolder()
    : path_((fs::temp_directory_path() / Unique_Name("lcdprog-e2e")).string()) {
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

LinePacket Classify(const std::string& p) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(p[i]); };
    if (p == std::string("\x87\x00\x78", 3)) {
        return {LinePacket::Kind::Detect, -1};
    }
    if (p == std::string("\xFE\x00\x01", 3)) {
        return {LinePacket::Kind::Reset, -1};
    }
    if (p.size() == 135 && byte(0) == 0x04 && byte(1) == 0x84) {
        const unsigned address = (byte(2) << 24) | (byte(3) << 16) | (byte(4) << 8) | byte(5);
        return {LinePacket::Kind::Write, static_cast<int>(address / 128)};
    }
    return {};
}

LineCount Count(const std::vector<LinePacket>& packets) {
    LineCount count;
    for (const LinePacket& p : packets) {
        if (p.kind == LinePacket::Kind::Detect) {
            ++count.detects;
        } else if (p.kind == LinePacket::Kind::Reset) {
            ++count.resets;
        } else if (p.kind == LinePacket::Kind::Write && p.block >= 0 && p.block < kBlocks) {
            ++count.writes[static_cast<std::size_t>(p.block)];
        } else {
            ++count.others;
        }
    }
    return count;
}

std::vector<int> Writes(int last, int block, int times) {
    std::vector<int> w(kBlocks, 0);
    for (int b = 0; b <= last; ++b) {
        w[static_cast<std::size_t>(b)] = b == block ? times : 1;
    }
    return w;
}

int Blocks_Written(const Eeprom& eeprom) {
    std::size_t at = 0;
    while (at < eeprom.size() &&
           std::equal(eeprom.begin() + at, eeprom.begin() + at + 128, MemoryImage.begin() + at)) {
        at += 128;
    }
    const bool blankAfter =
        std::all_of(eeprom.begin() + at, eeprom.end(), [](std::uint8_t b) { return b == 0xFF; });
    return blankAfter ? static_cast<int>(at / 128) : -1;
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
    // Every signal at its default and none blocked, whatever the GUI library set up here.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
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
    for (const int fd : {pidFd_, out_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

std::optional<std::string> SimProcess::Next_Device(int timeoutMs) {
    const double deadline = Wall_Now_Ms() + timeoutMs;
    while (true) {
        if (const std::size_t end = pendingOut_.find('\n'); end != std::string::npos) {
            std::string line = pendingOut_.substr(0, end);
            pendingOut_.erase(0, end + 1);
            return line;
        }
        pollfd p{out_, POLLIN, 0};
        const int left = static_cast<int>(deadline - Wall_Now_Ms());
        char buffer[256];
        if (out_ < 0 || left <= 0 || poll(&p, 1, left) <= 0) {
            return std::nullopt;
        }
        const ssize_t n = read(out_, buffer, sizeof buffer);
        if (n <= 0) {
            return std::nullopt;  // the module ended
        }
        pendingOut_.append(buffer, static_cast<std::size_t>(n));
    }
}

bool SimProcess::Sync(platform::SerialControl& serial) {
    if (!serial.Output(std::string_view(kSyncFrame, sizeof kSyncFrame))) {
        return false;
    }
    ++syncs_;
    // The log is a file the module appends to; there is nothing to wait on but its content.
    for (const double deadline = Wall_Now_Ms() + 3000; Wall_Now_Ms() < deadline;) {
        const std::string log = Log();
        int seen = 0;
        for (std::size_t at = log.find(kSyncLogged); at != std::string::npos;
             at = log.find(kSyncLogged, at + 1)) {
            ++seen;
        }
        if (seen >= syncs_) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

std::optional<int> SimProcess::Wait_Exit(int timeoutMs) {
    pollfd p{pidFd_, POLLIN, 0};
    int status = 0;
    if (pid_ <= 0 || (pidFd_ >= 0 && poll(&p, 1, timeoutMs) <= 0) ||
        waitpid(pid_, &status, 0) != pid_) {
        return std::nullopt;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int SimProcess::Stop() {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, SIGTERM);
    return Wait_Exit(5000).value_or(-1);  // the destructor kills it otherwise
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
        const std::size_t what = rx == std::string::npos ? rx : line.find(' ', rx + 6);
        if (what == std::string::npos || line.find(kSyncLogged) != std::string::npos) {
            continue;
        }
        const std::string rest = line.substr(what + 1);
        LinePacket p;
        if (rest.rfind("detect,", 0) == 0) {
            p.kind = LinePacket::Kind::Detect;
        } else if (rest.rfind("reset,", 0) == 0) {
            p.kind = LinePacket::Kind::Reset;
        } else if (rest.rfind("write block ", 0) == 0) {
            p = {LinePacket::Kind::Write, std::atoi(rest.c_str() + 12)};
        }
        packets.push_back(p);
    }
    return packets;
}

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
    auto* menuItem = main_->findChild<QAction*>(QStringLiteral("smnu_Comunicazione_0"));
    if (menuItem == nullptr || (menuItem->trigger(), Current_frm_RS232() == nullptr)) {
        ADD_FAILURE() << "the serial port window did not open";
        return false;
    }
    auto* combo = Current_frm_RS232()->findChild<QComboBox*>(QStringLiteral("cmb_RS232"));
    EXPECT_TRUE(combo != nullptr && combo->count() == 1 && combo->itemText(0) == "COM 1");
    return combo != nullptr && combo->count() == 1;
}

bool Desk::Choose_Noise_Pictures(const TempFolder& folder, FakeFileDialog& dialog,
                                 const FakeMessageBox& messages) {
    struct Panel {
        int width;
        int height;
        void (frm_Config_LCD::*mouseDown)(int, Qt::MouseButton);
    };
    const Panel panels[] = {
        {128, 64, &frm_Config_LCD::pct_Image_64128A_MouseDown},
        {128, 64, &frm_Config_LCD::pct_Image_64128E_MouseDown},
        {240, 64, &frm_Config_LCD::pct_Image_64240B_MouseDown},
        {240, 128, &frm_Config_LCD::pct_Image_128240A_MouseDown},
    };
    std::uint32_t state = 1;
    int k = 0;
    for (const Panel& panel : panels) {
        for (int i = 0; i < 4; ++i) {
            std::string bytes = Make_Picture({panel.width, panel.height, 1, false, "BM", 0});
            for (std::size_t b = 62; b < bytes.size(); ++b) {  // after the header: pixels
                state = state * 1664525u + 1013904223u;
                bytes[b] = static_cast<char>(state >> 24);
            }
            const std::string path = folder / ("noise_" + std::to_string(k++) + ".bmp");
            std::ofstream(path, std::ios::binary) << bytes;
            dialog.answer = path;
            const std::size_t shownBefore = messages.shown.size();
            (main_.get()->*panel.mouseDown)(i, Qt::RightButton);
            if (messages.shown.size() != shownBefore) {
                ADD_FAILURE() << "picture refused: " << path;
                return false;
            }
        }
    }
    return true;
}

void Desk::Click(const char* button) const {
    auto* b = Current_frm_RS232()->findChild<QPushButton*>(QString::fromLatin1(button));
    ASSERT_NE(b, nullptr) << button;
    QTest::mouseClick(b, Qt::LeftButton);
}

bool Desk::Enabled(const char* name) const {
    auto* w = Current_frm_RS232()->findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w != nullptr && w->isEnabled();
}

QProgressBar& Desk::Progress() const {
    return *Current_frm_RS232()->findChild<QProgressBar*>(QStringLiteral("pgb_RS232"));
}

DeskReading Desk::Read(const FakeMessageBox& messages) const {
    DeskReading r;
    for (const ShownMessage& m : messages.shown) {
        EXPECT_EQ(m.title, "ERROR RS232") << m.text;
        EXPECT_EQ(m.icon, platform::MessageIcon::Critical) << m.text;
        r.messages.push_back(m.text);
    }
    const frm_RS232& w = *Current_frm_RS232();
    r.sent = w.findChild<QLineEdit*>(QStringLiteral("txt_Send_Packet"))->text().toStdString();
    r.received =
        w.findChild<QLineEdit*>(QStringLiteral("txt_Received_Packet"))->text().toStdString();
    r.trace = w.findChild<QTextEdit*>(QStringLiteral("rtb_RS232_SPY"))->toPlainText().toStdString();
    r.progress = Progress().value();
    r.status = w.findChild<QLabel*>(QStringLiteral("lbl_Stato"))->text().toStdString();
    return r;
}

LineBench::LineBench(std::vector<std::string> simArgs)
    : sim(folder, std::move(simArgs)), serial(platform::PortTable({sim.Link()})) {
    serial.SetCommHandler([this] { RS232_Interface_OnComm(serial); });
}

bool LineBench::Ready() {
    if (!sim.Next_Device()) {
        ADD_FAILURE() << "lcdprog-sim printed no device line; its log:\n" << sim.Log();
        return false;
    }
    return desk.Open();
}

ModuleAfter LineBench::Finish(bool hungUp) {
    if (hungUp) {
        EXPECT_EQ(sim.Wait_Exit(5000), std::optional<int>(0));
    } else {
        EXPECT_TRUE(sim.Sync(serial)) << sim.Log();
        EXPECT_EQ(sim.Stop(), 0);
    }
    ModuleAfter after;
    after.packets = sim.Packets();
    after.line = Count(after.packets);
    const std::string bytes = Read_Whole_File(sim.Eeprom_File());
    EXPECT_EQ(bytes.size(), after.eeprom.size()) << "the module saved no EEPROM";
    if (bytes.size() == after.eeprom.size()) {
        std::copy(bytes.begin(), bytes.end(), after.eeprom.begin());
    }
    return after;
}

}  // namespace lcdprog::test
