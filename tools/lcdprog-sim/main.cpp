// lcdprog-sim: the virtual LCD module on a pseudo-terminal. The protocol lives in sim_module;
// this file is only the I/O around it: the pseudo-terminal, one poll loop whose time-out is the
// module's next deadline, stopSignals, the EEPROM file and the PNG pictures.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "compiler/image_decoder.h"
#include "platform/qt/log.h"
#include "platform/result.h"
#include "png/png_writer.h"
#include "sim_module.h"
#include "sim_options.h"

namespace {

using lcdsim::Nanos;

constexpr Nanos kNever = INT64_MAX;

Nanos Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<Nanos>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::string Errno_Text() {
    return std::strerror(errno);
}

// One pseudo-terminal. The module keeps a slave descriptor of its own open for the whole life of
// the line: without it the master reports a hang-up (and poll() wakes for ever) until the
// programmer opens the device, and again whenever the programmer closes it.
class Line {
  public:
    ~Line() { Close(); }

    lcdprog::platform::Result<> Open() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0) {
            return Refused("cannot open a pseudo-terminal: " + Errno_Text());
        }
        char name[128] = {};
        if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
            ptsname_r(master_, name, sizeof name) != 0) {
            std::string why = "cannot set up the pseudo-terminal: " + Errno_Text();
            Close();
            return Refused(std::move(why));
        }
        path_ = name;
        slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) {
            std::string why = "cannot open " + path_ + ": " + Errno_Text();
            Close();
            return Refused(std::move(why));
        }
        // Raw bytes both ways: no echo, no line editing, no CR/LF translation.
        termios tio{};
        if (tcgetattr(slave_, &tio) == 0) {
            cfmakeraw(&tio);
            cfsetispeed(&tio, B115200);
            cfsetospeed(&tio, B115200);
            tcsetattr(slave_, TCSANOW, &tio);
        }
        const int flags = fcntl(master_, F_GETFL);
        fcntl(master_, F_SETFL, flags | O_NONBLOCK);
        return lcdprog::platform::kDone;
    }

    static lcdprog::platform::Refusal Refused(std::string why) {
        return {lcdprog::platform::RefusalKind::Unreadable, std::move(why)};
    }

    void Close() {
        if (master_ >= 0) {
            close(master_);
        }
        if (slave_ >= 0) {
            close(slave_);
        }
        master_ = slave_ = -1;
    }

    bool Up() const { return master_ >= 0; }
    int Master() const { return master_; }
    const std::string& Path() const { return path_; }

    // Bytes written to the programmer that it has not read yet.
    int Unread() const {
        int count = 0;
        if (slave_ < 0 || ioctl(slave_, FIONREAD, &count) != 0) {
            return 0;
        }
        return count;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

class Simulator {
  public:
    explicit Simulator(lcdsim::Options options)
        : options_(std::move(options)), module_(lcdsim::Module_Config(options_)) {}

    int Run();

  private:
    void Info(const std::string& text) const {
        if (!options_.quiet) {
            std::fprintf(stderr, "lcdprog-sim: %s\n", text.c_str());
        }
    }
    void Error(const std::string& text) const {
        std::fprintf(stderr, "lcdprog-sim: %s\n", text.c_str());
    }
    double Seconds(Nanos t) const { return static_cast<double>(t - start_) / 1e9; }

    bool Start();
    void Take_Due_Actions(Nanos now);
    void Follow_Counters(Nanos now);
    void Check_Exit_And_Reopen(Nanos now);
    Nanos Next_Wake(Nanos now) const;
    bool Wait_And_Serve(Nanos now);
    int Finish();

    bool Bring_Line_Up();
    void Drop_Line();
    bool Update_Link();
    void Remove_Link();
    bool Load_Eeprom();
    bool Save_Eeprom();
    bool Write_Pictures();
    void Flush_Outbox();
    bool Read_Line();

    lcdsim::Options options_;
    lcdsim::Module module_;
    Line line_;
    Nanos start_ = Now();
    std::vector<std::uint8_t> outbox_;  // reply bytes the pseudo-terminal did not take yet
    Nanos lastSentAt_ = 0;
    int picturesAtWrites_ = -1;  // the write count when the pictures were last drawn

    // The poll loop's state.
    int signalFd_ = -1;
    Nanos reopenAt_ = kNever;
    Nanos exitBy_ = kNever;  // --exit-after-reset: the latest moment to leave
    int savedWrites_ = 0;
    int seenResets_ = 0;
    bool picturesDue_ = false;
    int status_ = 0;
    bool done_ = false;
};

bool Simulator::Bring_Line_Up() {
    if (const lcdprog::platform::Result<> opened = line_.Open(); !opened) {
        Error(opened.Text());
        return false;
    }
    if (!Update_Link()) {
        return false;
    }
    // The first line on standard output is the device; scripts wait for it, so it comes once
    // the link is in place and the module is ready to answer.
    std::printf("%s\n", line_.Path().c_str());
    std::fflush(stdout);
    Info("module on " + line_.Path());
    return true;
}

void Simulator::Drop_Line() {
    // An unplugged module takes its name with it, as a USB adapter's device node goes: a link
    // left on the closed device could lead a programmer reopening it to whatever terminal is
    // given that number next (another module, on a machine that runs several).
    Remove_Link();
    line_.Close();
    outbox_.clear();
    module_.Line_Dropped();
}

bool Simulator::Update_Link() {
    if (options_.link.empty()) {
        return true;
    }
    // Made beside the link and renamed over it, so that a reader never finds it missing.
    const std::string temp = options_.link + ".new" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(line_.Path().c_str(), temp.c_str()) != 0 ||
        rename(temp.c_str(), options_.link.c_str()) != 0) {
        Error("cannot make the link " + options_.link + ": " + Errno_Text());
        unlink(temp.c_str());
        return false;
    }
    return true;
}

void Simulator::Remove_Link() {
    if (options_.link.empty()) {
        return;
    }
    // Only a link that still names our device: another module may have taken the name over.
    char target[256] = {};
    const ssize_t n = readlink(options_.link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == line_.Path()) {
        unlink(options_.link.c_str());
    }
}

bool Simulator::Load_Eeprom() {
    std::error_code ec;
    if (!std::filesystem::exists(options_.eeprom, ec)) {
        Info("no " + options_.eeprom + " yet: the EEPROM starts blank");
        return true;
    }
    std::ifstream in(options_.eeprom, std::ios::binary);
    auto& memory = module_.Memory();
    lcdprog::MemoryImageBytes loaded{};
    in.read(reinterpret_cast<char*>(loaded.data()), static_cast<std::streamsize>(loaded.size()));
    const bool full = in.gcount() == static_cast<std::streamsize>(loaded.size());
    char extra = 0;
    if (!in || !full || in.read(&extra, 1)) {
        Error("cannot load " + options_.eeprom + ": it must be exactly 65536 bytes");
        return false;
    }
    memory = loaded;
    Info("EEPROM loaded from " + options_.eeprom);
    return true;
}

bool Simulator::Save_Eeprom() {
    if (options_.eeprom.empty()) {
        return true;
    }
    const std::string temp = options_.eeprom + ".tmp";
    const auto& memory = module_.Memory();
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    bool ok = file != nullptr;
    if (ok) {
        ok = std::fwrite(memory.data(), 1, memory.size(), file) == memory.size();
        ok = std::fclose(file) == 0 && ok;
    }
    if (!ok || std::rename(temp.c_str(), options_.eeprom.c_str()) != 0) {
        Error("cannot save the EEPROM to " + options_.eeprom + ": " + Errno_Text());
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool Simulator::Write_Pictures() {
    if (options_.pngDir.empty()) {
        return true;
    }
    std::error_code ec;
    std::filesystem::create_directories(options_.pngDir, ec);
    if (ec) {
        Error("cannot create " + options_.pngDir + ": " + ec.message());
        return false;
    }
    for (const auto& named : lcdprog::Named_Pictures(module_.Memory(), 2)) {
        const std::string path = (std::filesystem::path(options_.pngDir) / (named.name + ".png"));
        if (!lcdprog::Write_Png(path, named.picture, named.scale)) {
            Error("cannot write " + path);
            return false;
        }
    }
    picturesAtWrites_ = module_.Stats().writes;
    Info("pictures written to " + options_.pngDir);
    return true;
}

void Simulator::Flush_Outbox() {
    while (!outbox_.empty() && line_.Up()) {
        const ssize_t n = write(line_.Master(), outbox_.data(), outbox_.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN) {
                Error("write to the pseudo-terminal failed: " + Errno_Text());
                outbox_.clear();
            }
            return;  // EAGAIN: poll() says when there is room again
        }
        outbox_.erase(outbox_.begin(), outbox_.begin() + n);
        lastSentAt_ = Now();
    }
}

bool Simulator::Read_Line() {
    std::uint8_t buffer[4096];
    while (line_.Up()) {
        const ssize_t n = read(line_.Master(), buffer, sizeof buffer);
        if (n > 0) {
            module_.Receive(Now(), std::span<const std::uint8_t>(buffer, static_cast<size_t>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            return true;  // all read
        }
        // EIO or end of file: impossible while we hold a slave descriptor, and polling on it
        // again would spin, so it ends the program.
        Error("reading the pseudo-terminal failed: " + (n < 0 ? Errno_Text() : "end of file"));
        return false;
    }
    return true;
}

int Simulator::Run() {
    if (!Start()) {
        return 1;
    }
    while (!done_) {
        const Nanos now = Now();
        Take_Due_Actions(now);
        Follow_Counters(now);
        Check_Exit_And_Reopen(now);
        if (done_ || !Wait_And_Serve(now)) {
            break;
        }
    }
    return Finish();
}

// The EEPROM file, the stop signals as a descriptor, the log and the line.
bool Simulator::Start() {
    if (options_.load && !Load_Eeprom()) {
        return false;
    }
    if (!Save_Eeprom()) {
        return false;
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    signalFd_ = signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd_ < 0) {
        Error("signalfd: " + Errno_Text());
        return false;
    }
    ::signal(SIGPIPE, SIG_IGN);

    if (options_.log) {
        module_.Set_Logger([this](Nanos at, const std::string& text) {
            std::fprintf(stderr, "[%11.6f] %s\n", Seconds(at), text.c_str());
        });
    }
    if (!Bring_Line_Up()) {
        close(signalFd_);
        return false;
    }
    savedWrites_ = module_.Stats().writes;
    seenResets_ = module_.Stats().resets;
    return true;
}

// Replies whose time has come go out; a hang-up drops the line, for good or until the reopen.
void Simulator::Take_Due_Actions(Nanos now) {
    for (auto& action : module_.Take_Due(now)) {
        if (action.kind == lcdsim::Action::Kind::Send) {
            outbox_.insert(outbox_.end(), action.bytes.begin(), action.bytes.end());
            Flush_Outbox();
            continue;
        }
        Drop_Line();
        if (options_.reopenAfterMs >= 0) {
            reopenAt_ = now + options_.reopenAfterMs * lcdsim::kMillisecond;
            Info("hung up; back in " + std::to_string(options_.reopenAfterMs) + " ms");
        } else {
            Info("hung up");
            done_ = true;
        }
    }
}

// A stored write saves the EEPROM; a reset asks for the pictures and, with --exit-after-reset,
// for the end.
void Simulator::Follow_Counters(Nanos now) {
    if (module_.Stats().writes != savedWrites_) {
        savedWrites_ = module_.Stats().writes;
        Save_Eeprom();
    }
    if (module_.Stats().resets != seenResets_) {
        seenResets_ = module_.Stats().resets;
        picturesDue_ = true;
        if (options_.exitAfterReset && exitBy_ == kNever) {
            exitBy_ = now + 1000 * lcdsim::kMillisecond;
        }
    }
}

void Simulator::Check_Exit_And_Reopen(Nanos now) {
    const bool idle = !module_.Next_Deadline() && outbox_.empty();
    if (picturesDue_ && idle) {
        // After the reset's reply has left, so that drawing does not delay it.
        picturesDue_ = false;
        Write_Pictures();
    }
    if (exitBy_ != kNever) {
        // Leave once the reply is out and the programmer has read it: closing the master
        // earlier would throw away bytes it has not read yet.
        const bool read =
            !line_.Up() || (line_.Unread() == 0 && now - lastSentAt_ >= 50 * lcdsim::kMillisecond);
        if ((idle && read) || now >= exitBy_) {
            done_ = true;
        }
    }
    if (reopenAt_ != kNever && now >= reopenAt_) {
        reopenAt_ = kNever;
        if (!Bring_Line_Up()) {
            status_ = 1;
            done_ = true;
        }
    }
}

// The module's next deadline, the reopen, and while leaving a 10 ms check of the programmer.
Nanos Simulator::Next_Wake(Nanos now) const {
    Nanos wake = kNever;
    if (auto deadline = module_.Next_Deadline()) {
        wake = *deadline;
    }
    wake = std::min(wake, reopenAt_);
    if (exitBy_ != kNever) {
        wake = std::min({wake, exitBy_, now + 10 * lcdsim::kMillisecond});
    }
    return wake;
}

// Sleeps until a stop signal, bytes from the programmer, room for the outbox or the next wake,
// and serves what woke it. False: the loop ends.
bool Simulator::Wait_And_Serve(Nanos now) {
    const Nanos wake = Next_Wake(now);
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {-1, 0, 0}};
    nfds_t count = 1;
    if (line_.Up()) {
        fds[1] = {line_.Master(), static_cast<short>(POLLIN | (outbox_.empty() ? 0 : POLLOUT)), 0};
        count = 2;
    }
    timespec timeout{};
    timespec* timeoutPtr = nullptr;
    if (wake != kNever) {
        const Nanos wait = std::max<Nanos>(0, wake - now);
        timeout.tv_sec = wait / 1'000'000'000;
        timeout.tv_nsec = wait % 1'000'000'000;
        timeoutPtr = &timeout;
    }
    if (ppoll(fds, count, timeoutPtr, nullptr) < 0) {
        if (errno == EINTR) {
            return true;
        }
        Error("poll: " + Errno_Text());
        status_ = 1;
        return false;
    }
    if (fds[0].revents & POLLIN) {
        signalfd_siginfo info{};
        if (read(signalFd_, &info, sizeof info) == sizeof info) {
            Info(std::string("stopping on ") + strsignal(static_cast<int>(info.ssi_signo)));
        }
        return false;
    }
    if (count == 2) {
        if (fds[1].revents & POLLIN) {
            if (!Read_Line()) {
                status_ = 1;
                return false;
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            // Cannot happen while we hold a slave descriptor; never loop on it regardless.
            Error("the pseudo-terminal failed");
            status_ = 1;
            return false;
        }
        if (fds[1].revents & POLLOUT) {
            Flush_Outbox();
        }
    }
    return true;
}

int Simulator::Finish() {
    close(signalFd_);
    // The pictures are redrawn only if a write came after the last drawing.
    const bool picturesCurrent = picturesAtWrites_ == module_.Stats().writes;
    if (!Save_Eeprom() || (!picturesCurrent && !Write_Pictures())) {
        status_ = 1;
    }
    Remove_Link();
    line_.Close();
    return status_;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    lcdsim::Options options;
    const auto parsed = lcdsim::Parse_Command_Line(args, options);
    if (!parsed) {
        std::fprintf(stderr, "lcdprog-sim: %s\n", parsed.Text().c_str());
        return 2;
    }
    switch (*parsed) {
        case lcdsim::Parse_Outcome::Help:
            std::fputs(lcdsim::Help_Text().c_str(), stdout);
            return 0;
        case lcdsim::Parse_Outcome::Version:
            std::puts("lcdprog-sim " LCDPROG_VERSION);
            return 0;
        case lcdsim::Parse_Outcome::Run:
            break;
    }
    lcdprog::platform::Set_Log_Format();
    if (options.verbose) {
        lcdprog::platform::Enable_Verbose_Log();
    }
    Simulator simulator(std::move(options));
    return simulator.Run();
}
