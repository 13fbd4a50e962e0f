#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/port_diagnostics.h"

namespace lcdprog::platform {
namespace {

PortFacts Facts(const std::string& device) {
    PortFacts f;
    f.device = device;
    f.exists = true;
    f.isCharDevice = true;
    f.accessible = true;
    f.groupName = "dialout";
    f.userName = "anna";
    return f;
}

TEST(PortDiagnostics, ExplainsEachCauseInOneMessage) {
    struct Case {
        const char* name;
        PortFacts facts;
        std::string expected;
    };
    PortFacts none;
    PortFacts missing = Facts("/dev/ttyUSB0");
    missing.exists = false;
    PortFacts plainFile = Facts("/tmp/x");
    plainFile.isCharDevice = false;
    PortFacts denied = Facts("/dev/ttyUSB0");
    denied.accessible = false;
    PortFacts stale = denied;
    stale.userInGroupDb = true;
    PortFacts held = Facts("/dev/ttyS0");
    held.holders = {{4242, "minicom"}, {77, "screen"}};
    PortFacts unknown = Facts("/dev/ttyS0");
    PortFacts grabbed = Facts("/dev/ttyACM0");
    grabbed.holders = {{12, "ModemManager"}};
    grabbed.grabbers = {"ModemManager"};
    PortFacts grabbersIgnoredOnBuiltin = Facts("/dev/ttyS1");
    grabbersIgnoredOnBuiltin.grabbers = {"brltty"};

    const Case cases[] = {
        {"outside table", none,
         "La porta scelta non corrisponde a nessun dispositivo seriale di questo sistema."},
        {"missing", missing,
         "Il dispositivo /dev/ttyUSB0 non esiste: l'adattatore è scollegato o il modulo virtuale "
         "non è in esecuzione."},
        {"not a device", plainFile, "/tmp/x non è un dispositivo seriale."},
        {"not in group", denied,
         "Permesso negato su /dev/ttyUSB0: il dispositivo appartiene al gruppo \"dialout\" e "
         "l'utente \"anna\" non ne fa parte. Eseguire: sudo adduser anna dialout, poi uscire e "
         "rientrare nella sessione."},
        {"group not in session yet", stale,
         "Permesso negato su /dev/ttyUSB0: il dispositivo appartiene al gruppo \"dialout\" e "
         "l'utente \"anna\" ne fa parte, ma la sessione è stata aperta prima: uscire e rientrare "
         "nella sessione."},
        {"held", held,
         "La porta /dev/ttyS0 è occupata da minicom (PID 4242), screen (PID 77): chiudere quel "
         "programma e riprovare."},
        {"busy, holder unseen", unknown,
         "La porta /dev/ttyS0 è occupata da un altro programma o non risponde: chiuderlo e "
         "riprovare."},
        {"ModemManager", grabbed,
         "La porta /dev/ttyACM0 è occupata da ModemManager (PID 12): chiudere quel programma e "
         "riprovare.\r\nNota: ModemManager è in esecuzione e può impadronirsi degli adattatori "
         "USB-seriale; se la porta resta occupata, disattivarlo (sudo systemctl stop "
         "ModemManager)."},
        {"grabbers only matter for USB", grabbersIgnoredOnBuiltin,
         "La porta /dev/ttyS1 è occupata da un altro programma o non risponde: chiuderlo e "
         "riprovare."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Explain_Port_Failure(c.facts), c.expected) << c.name;
    }
}

class PseudoTerminal : public testing::Test {
  protected:
    void SetUp() override {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        slave_ = ptsname(master_);
    }
    void TearDown() override { close(master_); }
    int master_ = -1;
    std::string slave_;
};

TEST_F(PseudoTerminal, NamesTheProcessThatHoldsIt) {
    const int fd = open(slave_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const PortFacts facts = Gather_Port_Facts(slave_);
    close(fd);
    EXPECT_TRUE(facts.exists);
    EXPECT_TRUE(facts.isCharDevice);
    bool found = false;
    for (const auto& h : facts.holders) {
        found = found || h.pid == getpid();
    }
    EXPECT_TRUE(found);
    EXPECT_NE(Explain_Port_Failure(facts).find("(PID " + std::to_string(getpid()) + ")"),
              std::string::npos);
}

TEST_F(PseudoTerminal, TellsWhichGroupAnUnprivilegedUserLacks) {
    ASSERT_EQ(chmod(slave_.c_str(), 0660), 0);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Root may open anything, so the check runs as an unprivileged user.
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        const std::string text = Explain_Port_Failure(Gather_Port_Facts(slave_));
        const ssize_t n = write(pipeFds[1], text.data(), text.size());
        _exit(n == static_cast<ssize_t>(text.size()) ? 0 : 4);
    }
    close(pipeFds[1]);
    std::string text;
    char buf[512];
    ssize_t n;
    while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) {
        text.append(buf, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    struct stat st {};
    ASSERT_EQ(stat(slave_.c_str(), &st), 0);
    if (getuid() != 0 && st.st_uid == getuid()) {
        GTEST_SKIP() << "the device belongs to this user, so access is not denied";
    }
    EXPECT_EQ(
        text.rfind("Permesso negato su " + slave_ + ": il dispositivo appartiene al gruppo", 0), 0u)
        << text;
    EXPECT_NE(text.find("sudo adduser"), std::string::npos) << text;
}

TEST(PortDiagnostics, AbsentDeviceIsReportedAsMissing) {
    const PortFacts facts = Gather_Port_Facts("/dev/ttyUSB_lcdprog_absent");
    EXPECT_FALSE(facts.exists);
    EXPECT_TRUE(facts.holders.empty());
}

}  // namespace
}  // namespace lcdprog::platform
