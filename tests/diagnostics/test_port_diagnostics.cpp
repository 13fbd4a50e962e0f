
#include <gtest/gtest.h>

#include <string>

#include "platform/port_diagnostics.h"

namespace lcdprog::platform {
namespace {

using Groups = std::vector<std::string>;

// A device of user "anna" may not open, by its owner, group and mode and her groups (in the group
// database, and in this session). A /dev/tty* device has a kernel name for a udev rule.
PortFacts Denied(const std::string& device, unsigned mode, const std::string& owner,
                 const std::string& group, Groups user = {"anna"}, Groups session = {"anna"}) {
    return {.device = device,
            .exists = true,
            .isCharDevice = true,
            .kernelName = device.starts_with("/dev/tty") ? device.substr(5) : "",
            .mode = mode,
            .ownerId = owner == "root" ? 0u : 1001u,
            .ownerName = owner,
            .groupId = group == "root" ? 0u : 20u,
            .groupName = group,
            .userName = "anna",
            .userGroups = std::move(user),
            .sessionGroups = std::move(session),
            .holders = {},
            .grabbers = {}};
}

TEST(PortDiagnostics, AdviceFollowsOwnerGroupModeAndTheUsersGroupsAndNeverSuggestsRoot) {
    const std::string udev =
        "solo root può usarlo. Per darlo al gruppo dialout, scrivere la riga\r\nKERNEL==\"ttyS0\", "
        "GROUP=\"dialout\", MODE=\"0660\"\r\nin un file /etc/udev/rules.d/60-lcdprog.rules ed "
        "eseguire sudo udevadm trigger";
    PortFacts held = Denied("/dev/ttyACM0", 0660, "root", "dialout");
    PortFacts busy = Denied("/dev/ttyS1", 0660, "root", "dialout");
    PortFacts missing = Denied("/dev/ttyUSB0", 0660, "root", "dialout");
    PortFacts plainFile = Denied("/tmp/x", 0660, "root", "dialout");
    missing.exists = plainFile.isCharDevice = false;
    held.accessible = busy.accessible = true;
    held.holders = {{4242, "minicom"}, {12, "ModemManager"}};
    held.grabbers = {"ModemManager"};
    busy.grabbers = {"brltty"};  // they take only USB adapters: no note for a built-in port
    PortFacts crowded = busy;
    crowded.holders = {{1, "p1"}, {2, "p2"}, {3, "p3"}, {4, "p4"}, {5, "p5"}, {6, "p6"}, {7, "p7"}};
    const std::pair<PortFacts, std::string> cases[] = {
        {PortFacts{},
         "La porta scelta non corrisponde a nessun dispositivo seriale di questo sistema."},
        {missing,
         "Il dispositivo /dev/ttyUSB0 non esiste: l'adattatore è scollegato o il modulo virtuale "
         "non è in esecuzione."},
        {plainFile, "/tmp/x non è un dispositivo seriale."},
        {Denied("/dev/ttyUSB0", 0660, "root", "dialout"),
         "Permesso negato su /dev/ttyUSB0 (crw-rw---- root dialout): il dispositivo appartiene al "
         "gruppo \"dialout\" e l'utente \"anna\" non ne fa parte. Eseguire: sudo adduser anna "
         "dialout, poi uscire e rientrare nella sessione."},
        {Denied("/dev/ttyUSB0", 0660, "root", "uucp", {"anna", "uucp"}),
         "Permesso negato su /dev/ttyUSB0 (crw-rw---- root uucp): il dispositivo appartiene al "
         "gruppo \"uucp\" e l'utente \"anna\" ne fa parte, ma la sessione è stata aperta prima: "
         "uscire e rientrare nella sessione."},
        {Denied("/dev/ttyUSB0", 0660, "root", "dialout", {"dialout"}, {"dialout"}),
         "Permesso negato su /dev/ttyUSB0 (crw-rw---- root dialout): il dispositivo appartiene al "
         "gruppo \"dialout\" e la sessione ne fa parte, ma il sistema nega comunque l'accesso "
         "(ACL o regole di sicurezza): rivolgersi all'amministratore."},
        {Denied("/dev/ttyS0", 0600, "root", "root"),
         "Permesso negato su /dev/ttyS0 (crw------- root root): " + udev +
             "; inoltre eseguire sudo adduser anna dialout, poi uscire e rientrare nella "
             "sessione."},
        {Denied("/dev/ttyS0", 0660, "root", "root", {"anna", "dialout"}),
         "Permesso negato su /dev/ttyS0 (crw-rw---- root root): " + udev +
             ", poi uscire e rientrare nella sessione."},
        {Denied("/dev/ttyS0", 0640, "root", "dialout", {"dialout"}, {"dialout"}),
         "Permesso negato su /dev/ttyS0 (crw-r----- root dialout): " + udev + "."},
        {Denied("/dev/pts/4", 0620, "bruno", "tty", {"anna", "tty"}, {"anna", "tty"}),
         "Permesso negato su /dev/pts/4 (crw--w---- bruno tty): solo l'utente \"bruno\" può "
         "usarlo. Avviare come utente \"anna\" il programma che lo crea (per esempio il modulo "
         "virtuale)."},
        {Denied("/dev/ttyUSB1", 0060, "anna", "dialout", {"dialout"}, {"dialout"}),
         "Permesso negato su /dev/ttyUSB1 (c---rw---- anna dialout): il dispositivo è "
         "dell'utente \"anna\" ma non gli permette di leggere e scrivere. Eseguire: chmod u+rw "
         "/dev/ttyUSB1."},
        {held,
         "La porta /dev/ttyACM0 è occupata da minicom (PID 4242), ModemManager (PID 12): chiudere "
         "quel programma e riprovare.\r\nNota: ModemManager è in esecuzione e può impadronirsi "
         "degli adattatori USB-seriale; se la porta resta occupata, disattivarlo (sudo systemctl "
         "stop ModemManager)."},
        {crowded,
         "La porta /dev/ttyS1 è occupata da p1 (PID 1), p2 (PID 2), p3 (PID 3), p4 (PID 4), p5 "
         "(PID 5) e altri 2: chiudere quel programma e riprovare."},
        // Held open by nearly every process: still no serial port.
        {Gather_Port_Facts("/dev/null"), "/dev/null non è un dispositivo seriale."},
        {busy,
         "La porta /dev/ttyS1 è occupata da un altro programma o non risponde: chiuderlo e "
         "riprovare."},
    };
    for (const auto& [facts, expected] : cases) {
        EXPECT_EQ(Explain_Port_Failure(facts), expected);
    }
}

}  // namespace
}  // namespace lcdprog::platform
