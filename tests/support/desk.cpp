#include "support/desk.h"

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
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

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

ChildProcess::ChildProcess(std::vector<std::string> args, const std::string& errorFile) {
    int pipeFds[2] = {-1, -1};
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return;
    }
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    if (!errorFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
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
    const int spawned = posix_spawn(&pid_, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    out_ = pipeFds[0];
    if (spawned != 0) {
        pid_ = -1;
        ADD_FAILURE() << "cannot start " << args[0] << ": " << std::strerror(spawned);
        return;
    }
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::~ChildProcess() {
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

std::optional<std::string> ChildProcess::Next_Line(int timeoutMs) {
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
            return std::nullopt;  // the child ended
        }
        pendingOut_.append(buffer, static_cast<std::size_t>(n));
    }
}

std::optional<int> ChildProcess::Wait_Exit(int timeoutMs) {
    pollfd p{pidFd_, POLLIN, 0};
    int status = 0;
    if (pid_ <= 0 || (pidFd_ >= 0 && poll(&p, 1, timeoutMs) <= 0) ||
        waitpid(pid_, &status, 0) != pid_) {
        return std::nullopt;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int ChildProcess::Stop() {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, SIGTERM);
    return Wait_Exit(5000).value_or(-1);  // the destructor kills it otherwise
}

namespace {

std::vector<std::string> Sim_Command(const std::string& link, const std::string& eeprom,
                                     const std::vector<std::string>& extraArgs) {
    std::vector<std::string> args = {Bin_Folder() + "/lcdprog-sim", "--link", link, "--quiet"};
    if (!eeprom.empty()) {
        args.insert(args.end(), {"--eeprom", eeprom, "--log"});
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return args;
}

}  // namespace

SimProcess::SimProcess(const TempFolder& folder, std::vector<std::string> extraArgs,
                       const std::string& name, bool record)
    : link_(folder / Unique_Name(name.c_str())),
      eepromFile_(record ? folder / (name + "-eeprom.bin") : ""),
      logFile_(folder / (name + ".log")),
      process_(Sim_Command(link_, eepromFile_, extraArgs), logFile_) {}

std::string SimProcess::Log() const {
    return Read_Whole_File(logFile_);
}

std::optional<Eeprom> SimProcess::Saved_Eeprom() const {
    const std::string bytes = Read_Whole_File(eepromFile_);
    if (bytes.size() != Eeprom().size()) {
        return std::nullopt;
    }
    Eeprom eeprom;
    std::copy(bytes.begin(), bytes.end(), eeprom.begin());
    return eeprom;
}

namespace {

platform::Services Tapped(const platform::Services& s, const Desk::SerialTap& tap) {
    if (!tap) {
        return s;
    }
    return platform::Services{s.files,       s.messages, s.clock,  s.pump,
                              tap(s.serial), s.dialog,   s.program};
}

}  // namespace

Desk::Desk(std::vector<std::string> ports, const SerialTap& tap)
    : qt(Bin_Folder(), platform::PortTable(ports)),
      services(Tapped(qt.With(messages, dialog, program), tap)),
      ports_(static_cast<int>(ports.size())) {}

Desk::~Desk() {
    if (frm_RS232* serial = Current_frm_RS232()) {
        serial->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    main_.reset();
}

bool Desk::Open() {
    main_ = std::make_unique<frm_Config_LCD>(services, [this] { Show_frm_RS232(services); });
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
    EXPECT_TRUE(combo != nullptr && combo->count() == ports_) << "the probe missed a port";
    return combo != nullptr && combo->count() == ports_;
}

bool Desk::Choose_Noise_Pictures(const TempFolder& folder) {
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

void Desk::Choose_Port(int com) const {
    auto* combo = Current_frm_RS232()->findChild<QComboBox*>(QStringLiteral("cmb_RS232"));
    ASSERT_TRUE(combo != nullptr && com >= 1 && com <= combo->count()) << "COM " << com;
    combo->setCurrentIndex(com - 1);
    combo->setEditText(combo->itemText(com - 1));
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

DeskReading Desk::Read() const {
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
    return r;
}

}  // namespace lcdprog::test
