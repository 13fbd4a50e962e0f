#include <QCursor>

#include "serial_window_fixture.h"

namespace lcdprog::test {
namespace {

using Port = FakeSerialControl::Port;

std::vector<std::string> Entries(const QComboBox& combo) {
    std::vector<std::string> out;
    for (int i = 0; i < combo.count(); ++i) {
        out.push_back(combo.itemText(i).toStdString());
    }
    return out;
}

// Remembers the pointer shape at every open request: the probe runs under the busy pointer.
class CursorWatchingSerial : public FakeSerialControl {
  public:
    bool SetPortOpen(bool open) override {
        const QCursor* c = QApplication::overrideCursor();
        shapes.push_back(c != nullptr ? c->shape() : Qt::ArrowCursor);
        return FakeSerialControl::SetPortOpen(open);
    }
    std::vector<Qt::CursorShape> shapes;
};

using ProbeTest = SerialWindowTest;

TEST_F(ProbeTest, ListsTheRunOfOpenablePortsFromPortOne) {
    struct Case {
        const char* what;
        std::map<int, Port> ports;
        std::vector<std::string> entries;
        int lastTried;  // the port whose open request ended the probe (17: none failed)
    };
    std::map<int, Port> all16;
    std::vector<std::string> com1to16;
    std::map<int, Port> upTo10;
    std::vector<std::string> com1to10;
    for (int n = 1; n <= 17; ++n) {
        all16[n] = Port::Free;  // 17 would open, but is never asked for
        if (n <= 16) {
            com1to16.push_back("COM " + std::to_string(n));
        }
        if (n <= 10) {
            upTo10[n] = Port::Free;
            com1to10.push_back("COM " + std::to_string(n));
        }
    }
    const Case cases[] = {
        {"1-3 present",
         {{1, Port::Free}, {2, Port::Free}, {3, Port::Free}},
         {"COM 1", "COM 2", "COM 3"},
         4},
        {"2 absent", {{1, Port::Free}, {3, Port::Free}}, {"COM 1"}, 2},
        {"2 busy", {{1, Port::Free}, {2, Port::Busy}, {3, Port::Free}}, {"COM 1"}, 2},
        {"1-16", all16, com1to16, 17},
        {"1-10", upTo10, com1to10, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        serial.ports = c.ports;
        serial.log.clear();
        Open_Window();
        auto* combo = Find<QComboBox>("cmb_RS232");
        EXPECT_EQ(Entries(*combo), c.entries);
        EXPECT_EQ(combo->currentText(), QStringLiteral("COM 1"));
        EXPECT_EQ(combo->currentIndex(), 0);
        for (int i = 0; i < combo->count(); ++i) {
            EXPECT_EQ(combo->itemData(i, Qt::ToolTipRole).toString().toStdString(),
                      serial.DevicePath(i + 1));
        }
        // Each port: number, open, close; the probe ends at the first failed open.
        std::vector<std::string> expected;
        for (int n = 1; n < c.lastTried; ++n) {
            const std::string s = std::to_string(n);
            expected.insert(expected.end(), {"port " + s, "open " + s, "close " + s});
        }
        if (c.lastTried <= 16) {
            const std::string s = std::to_string(c.lastTried);
            expected.insert(expected.end(), {"port " + s, "open " + s + " failed"});
        }
        EXPECT_EQ(serial.log, expected);
        EXPECT_FALSE(serial.PortOpen());
        EXPECT_TRUE(Enabled("cmd_ON"));
        EXPECT_FALSE(Enabled("cmd_OFF"));
        EXPECT_FALSE(Enabled("fra_Comandi"));
        EXPECT_FALSE(Enabled("cmd_Write_RS232"));
        EXPECT_TRUE(Enabled("cmd_Exit"));
        EXPECT_TRUE(Enabled("cmd_Stop_RS232"));
        EXPECT_TRUE(Enabled("cmb_RS232"));
        EXPECT_TRUE(messages.shown.empty());
        window.reset();
    }
}

TEST(ProbeCursor, RunsUnderTheBusyPointerAndRestoresIt) {
    Reset_Program_State();
    CursorWatchingSerial serial;
    serial.ports = {{1, FakeSerialControl::Port::Free}};
    FakeMessageBox messages;
    FakeFileService files;
    VirtualClock clock;
    StepPump pump(clock);
    FakeFileDialog dialog;
    FakeProgram program;
    platform::Services services{files, messages, clock, pump, serial, dialog, program};
    {
        frm_RS232 window(services);
        EXPECT_EQ(serial.shapes,
                  (std::vector<Qt::CursorShape>{Qt::WaitCursor, Qt::WaitCursor, Qt::WaitCursor}));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

TEST_F(ProbeTest, NoPortOpensTheWindowWithOneMessageAndOnDisabled) {
    serial.ports = {{1, Port::Busy}, {2, Port::Free}};
    Open_Window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Find<QComboBox>("cmb_RS232")->count(), 0);
    EXPECT_FALSE(Enabled("cmd_ON"));
    EXPECT_FALSE(Enabled("cmd_OFF"));
    EXPECT_FALSE(Enabled("cmd_Write_RS232"));
    EXPECT_TRUE(Enabled("cmd_Exit"));
    EXPECT_FALSE(serial.PortOpen());
    EXPECT_EQ(serial.log, (std::vector<std::string>{"port 1", "open 1 failed"}));
    ASSERT_EQ(messages.shown.size(), 1u);
    const ShownMessage& m = messages.shown[0];
    EXPECT_EQ(m.title, "Porte seriali");
    EXPECT_EQ(m.icon, platform::MessageIcon::Exclamation);
    EXPECT_EQ(m.text.rfind("Nessuna porta seriale utilizzabile.\r\n", 0), 0u) << m.text;
    EXPECT_NE(m.text.find("busy"), std::string::npos) << "the control's own reason is shown";
    EXPECT_NE(m.text.find("dialout"), std::string::npos);
    EXPECT_NE(m.text.find("rientrare nella sessione"), std::string::npos);
    // The disabled ON button does nothing when clicked.
    Click("cmd_ON");
    EXPECT_EQ(serial.log.size(), 2u);
}

TEST_F(ProbeTest, ShowingTheOpenWindowAgainNeitherProbesNorChangesStates) {
    Ports_Free(1, 2);
    Show_frm_RS232(services);
    frm_RS232* first = Current_frm_RS232();
    ASSERT_NE(first, nullptr);
    auto* combo = first->findChild<QComboBox*>(QStringLiteral("cmb_RS232"));
    combo->setCurrentIndex(1);
    QTest::mouseClick(first->findChild<QPushButton*>(QStringLiteral("cmd_ON")), Qt::LeftButton);
    ASSERT_TRUE(serial.PortOpen());
    const auto log = serial.log;

    Show_frm_RS232(services);
    EXPECT_EQ(Current_frm_RS232(), first);
    EXPECT_EQ(serial.log, log);
    EXPECT_TRUE(serial.PortOpen());
    EXPECT_EQ(combo->currentText(), QStringLiteral("COM 2"));
    EXPECT_FALSE(first->findChild<QPushButton*>(QStringLiteral("cmd_ON"))->isEnabled());
    EXPECT_TRUE(first->findChild<QPushButton*>(QStringLiteral("cmd_OFF"))->isEnabled());

    // Closing closes the port and ends the window; the next showing creates it and probes again.
    EXPECT_TRUE(first->close());
    EXPECT_FALSE(serial.PortOpen());
    EXPECT_EQ(serial.log.back(), "close 2");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Current_frm_RS232(), nullptr);

    serial.log.clear();
    Show_frm_RS232(services);
    frm_RS232* second = Current_frm_RS232();
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(serial.log.front(), "port 1");
    EXPECT_EQ(second->findChild<QComboBox*>(QStringLiteral("cmb_RS232"))->currentText(),
              QStringLiteral("COM 1"));
    EXPECT_TRUE(second->findChild<QPushButton*>(QStringLiteral("cmd_ON"))->isEnabled());
    EXPECT_FALSE(second->findChild<QPushButton*>(QStringLiteral("cmd_Write_RS232"))->isEnabled());
}

}  // namespace
}  // namespace lcdprog::test
