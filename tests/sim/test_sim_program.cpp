// The one real-time test: the program itself, over a real pseudo-terminal, bounded to 2 s.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "sim_test_util.h"

namespace lcdsim::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Waits for `fd` to become readable until `deadline`; false on time-out.
bool Wait_Readable(int fd, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
        return false;
    }
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, static_cast<int>(left.count())) > 0;
}

class SimProgram : public ::testing::Test {
  protected:
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : {out_, line_}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        if (!dir_.empty()) {
            std::error_code ec;
            fs::remove_all(dir_, ec);
        }
    }

    // Sends a request and collects `n` reply bytes (fewer on time-out).
    Bytes Exchange(const Bytes& request, std::size_t n, Clock::time_point deadline) {
        EXPECT_EQ(write(line_, request.data(), request.size()),
                  static_cast<ssize_t>(request.size()));
        Bytes reply;
        while (reply.size() < n && Wait_Readable(line_, deadline)) {
            std::uint8_t buffer[64];
            const ssize_t got = read(line_, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            reply.insert(reply.end(), buffer, buffer + got);
        }
        return reply;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int line_ = -1;
    fs::path dir_;
};

TEST_F(SimProgram, AnswersOverItsPseudoTerminalAndSavesWhatItWasSent) {
    const char* bin = std::getenv("LCDPROG_BIN");
    if (bin == nullptr || !fs::exists(fs::path(bin) / "lcdprog-sim")) {
        GTEST_SKIP() << "lcdprog-sim not built (LCDPROG_BIN unset or without it)";
    }
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    char pattern[] = "/tmp/lcdprog-sim-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;

    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    out_ = pipeFds[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const std::string exe = (fs::path(bin) / "lcdprog-sim").string();
    const std::string eeprom = (dir_ / "eeprom.bin").string();
    const std::string png = (dir_ / "png").string();
    const std::string link = (dir_ / "lcd").string();
    std::vector<std::string> args = {exe,      "--quiet", "--eeprom",          eeprom, "--png", png,
                                     "--link", link,      "--exit-after-reset"};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    ASSERT_EQ(spawned, 0);

    // The first line is the device, and the link already names it.
    std::string device;
    while (device.find('\n') == std::string::npos && Wait_Readable(out_, deadline)) {
        char buffer[128];
        const ssize_t got = read(out_, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        device.append(buffer, static_cast<std::size_t>(got));
    }
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    device.resize(device.find('\n'));
    EXPECT_EQ(fs::read_symlink(link).string(), device);

    line_ = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(line_, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(line_, &tio), 0);
    cfmakeraw(&tio);
    ASSERT_EQ(tcsetattr(line_, TCSANOW, &tio), 0);

    EXPECT_EQ(Exchange(kDetect, 7, deadline), (Bytes{0x87, 0x04, 0x4C, 0x53, 0x49, 0x4D, 0x3F}));
    const auto writeSent = Clock::now();
    EXPECT_EQ(Exchange(Write_Packet(0x8000, 0x10, 1), 3, deadline), (Bytes{0x04, 0x00, 0xFB}));
    // Never earlier than the page-write time.
    EXPECT_GE(Clock::now() - writeSent, std::chrono::milliseconds(5));
    EXPECT_EQ(Exchange(kReset, 3, deadline), (Bytes{0xFE, 0x00, 0x01}));

    // --exit-after-reset: the program ends by itself, closing its standard output.
    char rest[64];
    while (Wait_Readable(out_, deadline) && read(out_, rest, sizeof rest) > 0) {
    }
    ASSERT_LT(Clock::now(), deadline) << "still running";
    int status = -1;
    ASSERT_EQ(waitpid(pid_, &status, 0), pid_);
    pid_ = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    std::ifstream in(eeprom, std::ios::binary);
    const Bytes saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(saved.size(), 65536u);
    for (std::size_t a = 0; a < saved.size(); ++a) {
        const bool written = a >= 0x8000 && a < 0x8080;
        ASSERT_EQ(saved[a], written ? 0x10 + (a - 0x8000) : 0xFF) << a;
    }
    int pictures = 0;
    for (const auto& entry : fs::directory_iterator(png)) {
        pictures += entry.path().extension() == ".png" && fs::file_size(entry.path()) > 8;
    }
    EXPECT_EQ(pictures, 18);
    EXPECT_TRUE(fs::exists(fs::path(png) / "128240A_4.png"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "link left behind";
}

}  // namespace
}  // namespace lcdsim::test
