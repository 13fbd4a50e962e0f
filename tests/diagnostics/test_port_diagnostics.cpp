#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
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
    f.mode = 0660;
    f.ownerName = "root";
    f.groupId = 20;
    f.groupName = "dialout";
    f.userName = "anna";
    f.userGroups = {"anna"};
    f.sessionGroups = {"anna"};
    return f;
}

using Groups = std::vector<std::string>;

// A device this user may not open, by its owner, group and mode and the user's groups (in the
// group database, and in this session).
PortFacts Denied(const char* device, const char* kernel, unsigned mode, const char* owner,
                 const char* group, Groups user, Groups session) {
    PortFacts f = Facts(device);
    f.accessible = false;
    f.kernelName = kernel;
    f.mode = mode;
    f.ownerName = owner;
    f.ownerId = f.ownerName == "root" ? 0 : 1001;
    f.groupName = group;
    f.groupId = f.groupName == "root" ? 0 : 20;
    f.userGroups = std::move(user);
    f.sessionGroups = std::move(session);
    return f;
}

TEST(PortDiagnostics, AdviceFollowsOwnerGroupModeAndTheUsersGroups) {
    const std::string udevLine =
        "Per darlo al gruppo dialout, scrivere la riga\r\nKERNEL==\"ttyS0\", GROUP=\"dialout\", "
        "MODE=\"0660\"\r\nin un file /etc/udev/rules.d/60-lcdprog.rules ed eseguire sudo udevadm "
        "trigger";
    const std::string rootOnly =
        "Permesso negato su /dev/ttyS0 (crw------- root root): solo root "
        "può usarlo. " +
        udevLine;
    PortFacts missing = Facts("/dev/ttyUSB0");
    missing.exists = false;
    PortFacts plainFile = Facts("/tmp/x");
    plainFile.isCharDevice = false;
    PortFacts held = Facts("/dev/ttyS0");
    held.holders = {{4242, "minicom"}, {77, "screen"}};
    PortFacts grabbed = Facts("/dev/ttyACM0");
    grabbed.holders = {{12, "ModemManager"}};
    grabbed.grabbers = {"ModemManager"};
    PortFacts grabbersIgnoredOnBuiltin = Facts("/dev/ttyS1");
    grabbersIgnoredOnBuiltin.grabbers = {"brltty"};

    const struct {
        const char* name;
        PortFacts facts;
        std::string expected;
    } cases[] = {
        {"outside table", PortFacts{},
         "La porta scelta non corrisponde a nessun dispositivo seriale di questo sistema."},
        {"missing", missing,
         "Il dispositivo /dev/ttyUSB0 non esiste: l'adattatore è scollegato o il modulo virtuale "
         "non è in esecuzione."},
        {"not a device", plainFile, "/tmp/x non è un dispositivo seriale."},
        {"group may use it, user outside",
         Denied("/dev/ttyUSB0", "ttyUSB0", 0660, "root", "dialout", {"anna"}, {"anna"}),
         "Permesso negato su /dev/ttyUSB0 (crw-rw---- root dialout): il dispositivo appartiene al "
         "gruppo \"dialout\" e l'utente \"anna\" non ne fa parte. Eseguire: sudo adduser anna "
         "dialout, poi uscire e rientrare nella sessione."},
        {"group joined, session older",
         Denied("/dev/ttyUSB0", "ttyUSB0", 0660, "root", "uucp", {"anna", "uucp"}, {"anna"}),
         "Permesso negato su /dev/ttyUSB0 (crw-rw---- root uucp): il dispositivo appartiene al "
         "gruppo \"uucp\" e l'utente \"anna\" ne fa parte, ma la sessione è stata aperta prima: "
         "uscire e rientrare nella sessione."},
        {"group in session, still denied",
         Denied("/dev/ttyUSB0", "ttyUSB0", 0660, "root", "dialout", {"dialout"}, {"dialout"}),
         "Permesso negato su /dev/ttyUSB0 (crw-rw---- root dialout): il dispositivo appartiene al "
         "gruppo \"dialout\" e la sessione ne fa parte, ma il sistema nega comunque l'accesso "
         "(ACL o regole di sicurezza): rivolgersi all'amministratore."},
        {"root only, user outside dialout",
         Denied("/dev/ttyS0", "ttyS0", 0600, "root", "root", {"anna"}, {"anna"}),
         rootOnly + "; inoltre eseguire sudo adduser anna dialout, poi uscire e rientrare nella "
                    "sessione."},
        {"group root may use it: still root only",
         Denied("/dev/ttyS0", "ttyS0", 0660, "root", "root", {"anna", "dialout"}, {"anna"}),
         "Permesso negato su /dev/ttyS0 (crw-rw---- root root): solo root può usarlo. " + udevLine +
             ", poi uscire e rientrare nella sessione."},
        {"group without write",
         Denied("/dev/ttyS0", "ttyS0", 0640, "root", "dialout", {"dialout"}, {"dialout"}),
         "Permesso negato su /dev/ttyS0 (crw-r----- root dialout): solo root può usarlo. " +
             udevLine + "."},
        {"another user's pty",
         Denied("/dev/pts/4", "", 0620, "bruno", "tty", {"anna", "tty"}, {"anna", "tty"}),
         "Permesso negato su /dev/pts/4 (crw--w---- bruno tty): solo l'utente \"bruno\" può "
         "usarlo. Avviare come utente \"anna\" il programma che lo crea (per esempio il modulo "
         "virtuale)."},
        {"own device, bits removed",
         Denied("/dev/ttyUSB1", "ttyUSB1", 0060, "anna", "dialout", {"dialout"}, {"dialout"}),
         "Permesso negato su /dev/ttyUSB1 (c---rw---- anna dialout): il dispositivo è "
         "dell'utente \"anna\" ma non gli permette di leggere e scrivere. Eseguire: chmod u+rw "
         "/dev/ttyUSB1."},
        {"held", held,
         "La porta /dev/ttyS0 è occupata da minicom (PID 4242), screen (PID 77): chiudere quel "
         "programma e riprovare."},
        {"busy, holder unseen", Facts("/dev/ttyS0"),
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
        const std::string text = Explain_Port_Failure(c.facts);
        EXPECT_EQ(text, c.expected) << c.name;
        EXPECT_EQ(text.find("adduser anna root"), std::string::npos) << c.name;
        EXPECT_EQ(text.find("gruppo \"root\""), std::string::npos) << c.name;
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
    struct stat st {};
    ASSERT_EQ(stat(slave_.c_str(), &st), 0);
    EXPECT_EQ(facts.mode, st.st_mode & 0777u);
    EXPECT_EQ(facts.ownerId, st.st_uid);
    EXPECT_EQ(facts.kernelName, "");  // a pty: no udev rule names it
    EXPECT_FALSE(Gather_Port_Facts("/dev/ttyUSB_lcdprog_absent").exists);
    bool found = false;
    for (const auto& h : facts.holders) {
        found = found || h.pid == getpid();
    }
    EXPECT_TRUE(found);
    EXPECT_NE(Explain_Port_Failure(facts).find("(PID " + std::to_string(getpid()) + ")"),
              std::string::npos);
}

}  // namespace
}  // namespace lcdprog::platform
