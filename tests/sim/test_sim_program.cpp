// The one real-time test: the program itself over a real pseudo-terminal, bounded by timeout(1).

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "sim_test_util.h"

namespace lcdsim::test {
namespace {

namespace fs = std::filesystem;

TEST(SimProgram, AnswersOverItsPseudoTerminalAndSavesWhatItWasSent) {
    const char* bin = std::getenv("LCDPROG_BIN");
    if (bin == nullptr || !fs::exists(fs::path(bin) / "lcdprog-sim")) {
        GTEST_SKIP() << "lcdprog-sim not built (LCDPROG_BIN unset or without it)";
    }
    char pattern[] = "/tmp/lcdprog-sim-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const std::shared_ptr<void> removeDir(nullptr, [&](void*) {
        std::error_code ec;
        fs::remove_all(dir, ec);
    });
    const std::string eeprom = dir / "eeprom.bin", png = dir / "png", link = dir / "lcd";
    const std::string command = "timeout 3 " + (fs::path(bin) / "lcdprog-sim").string() +
                                " --quiet --exit-after-reset --eeprom " + eeprom + " --png " + png +
                                " --link " + link;
    std::unique_ptr<FILE, int (*)(FILE*)> out(popen(command.c_str(), "r"), pclose);
    ASSERT_NE(out, nullptr);

    // The first line is the device, and the link already names it.
    char device[256] = {};
    ASSERT_NE(fgets(device, sizeof device, out.get()), nullptr);
    ASSERT_EQ(std::string(device).rfind("/dev/pts/", 0), 0u) << device;
    EXPECT_EQ(fs::read_symlink(link).string() + "\n", device);
    const int line = open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(line, 0);
    const std::shared_ptr<void> closeLine(nullptr, [line](void*) { close(line); });
    termios tio{};
    ASSERT_EQ(tcgetattr(line, &tio), 0);
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 13;   // the three replies
    tio.c_cc[VTIME] = 20;  // or 2 s of silence
    ASSERT_EQ(tcsetattr(line, TCSANOW, &tio), 0);
    const Bytes requests = Cat(Cat(kDetect, Write_Packet(0x8000, 0x10, 1)), kReset);
    ASSERT_EQ(write(line, requests.data(), requests.size()), std::ssize(requests));
    Bytes replies(13);
    replies.resize(static_cast<std::size_t>(std::max(0L, read(line, replies.data(), 13))));
    EXPECT_EQ(replies, (Bytes{0x87, 0x04, 0x4C, 0x53, 0x49, 0x4D, 0x3F, 0x04, 0x00, 0xFB, 0xFE,
                              0x00, 0x01}));

    // --exit-after-reset: it ends by itself, well before timeout(1) would stop it.
    const int status = pclose(out.release());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::ifstream in(eeprom, std::ios::binary);
    const Bytes saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Bytes expected(65536, 0xFF);
    for (int i = 0; i < 128; ++i) {
        expected[0x8000 + i] = static_cast<std::uint8_t>(0x10 + i);
    }
    EXPECT_TRUE(saved == expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(png), fs::directory_iterator()), 18);
    EXPECT_GT(fs::file_size(fs::path(png) / "128240A_4.png"), 8u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "link left behind";
}

}  // namespace
}  // namespace lcdsim::test
