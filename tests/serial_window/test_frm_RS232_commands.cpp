#include "serial_window_fixture.h"

namespace lcdprog::test {
namespace {

const std::string kDetect("\x87\x00\x78", 3);
const std::string kReset("\xFE\x00\x01", 3);

struct States {
    bool on, off, comandi, write, exit, stop;
    bool operator==(const States&) const = default;
};

std::ostream& operator<<(std::ostream& os, const States& s) {
    return os << "ON " << s.on << " OFF " << s.off << " fra_Comandi " << s.comandi << " Write "
              << s.write << " Exit " << s.exit << " Stop " << s.stop;
}

class CommandTest : public SerialWindowTest {
  protected:
    States Now() const {
        return {Enabled("cmd_ON"),          Enabled("cmd_OFF"),  Enabled("fra_Comandi"),
                Enabled("cmd_Write_RS232"), Enabled("cmd_Exit"), Enabled("cmd_Stop_RS232")};
    }
    void Choose(const QString& text) { Find<QComboBox>("cmb_RS232")->setEditText(text); }

    static constexpr States kPortClosed{true, false, false, false, true, true};
    static constexpr States kPortOpen{false, true, true, true, true, true};
};

TEST_F(CommandTest, OnOpensTheChosenPortWithTheFixedSettings) {
    struct Case {
        const char* text;
        int port;
    };
    const Case cases[] = {{"COM 3", 3}, {"COM 12", 12}, {"COM12", 12}, {"COM  7 ", 7}};
    Ports_Free(1, 16);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Open_Window();
        Choose(QString::fromLatin1(c.text));
        serial.log.clear();
        Click("cmd_ON");
        const std::string n = std::to_string(c.port);
        EXPECT_EQ(serial.log,
                  (std::vector<std::string>{"port " + n, "open " + n, "settings 115200,n,8,1"}));
        EXPECT_TRUE(serial.PortOpen());
        EXPECT_EQ(Now(), kPortOpen);
        EXPECT_TRUE(messages.shown.empty());
        window->close();  // closing the window closes the port
        EXPECT_FALSE(serial.PortOpen());
        window.reset();
    }
}

TEST_F(CommandTest, UnreadablePortTextIsReportedAndChangesNothing) {
    Ports_Free(1, 3);
    Open_Window();
    const int portBefore = serial.CommPort();
    const char* texts[] = {"",       "COM",       "COM ",    "COM x",  "COM 0",
                           "COM -1", "COM 40000", "COM 1.5", "Combo1", "COM 2 3"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        messages.shown.clear();
        serial.log.clear();
        Choose(QString::fromLatin1(text));
        Click("cmd_ON");
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].title, "ERROR RS232");
        EXPECT_EQ(messages.shown[0].icon, platform::MessageIcon::Critical);
        EXPECT_EQ(messages.shown[0].text.rfind("Comunicazione seriale interrotta.\r\n", 0), 0u);
        std::string quoted = "\"";
        quoted.append(text).push_back('"');
        EXPECT_NE(messages.shown[0].text.find(quoted), std::string::npos);
        EXPECT_TRUE(serial.log.empty());
        EXPECT_EQ(serial.CommPort(), portBefore);
        EXPECT_FALSE(serial.PortOpen());
        EXPECT_EQ(Now(), kPortClosed);
    }
}

TEST_F(CommandTest, APortThatWillNotOpenIsReportedAndStatesStay) {
    serial.ports = {{1, FakeSerialControl::Port::Free},
                    {2, FakeSerialControl::Port::Free},
                    {5, FakeSerialControl::Port::Busy}};
    Open_Window();
    const int portBefore = serial.CommPort();
    for (const char* text : {"COM 5", "COM 9"}) {
        SCOPED_TRACE(text);
        messages.shown.clear();
        Choose(QString::fromLatin1(text));
        Click("cmd_ON");
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].title, "ERROR RS232");
        EXPECT_EQ(messages.shown[0].icon, platform::MessageIcon::Critical);
        // The control's own reason follows the fixed first line.
        EXPECT_EQ(messages.shown[0].text,
                  "Comunicazione seriale interrotta.\r\n" +
                      std::string(text == std::string("COM 5") ? "busy" : "absent"));
        EXPECT_FALSE(serial.PortOpen());
        EXPECT_EQ(serial.CommPort(), portBefore);
        EXPECT_EQ(Now(), kPortClosed);
    }
}

TEST_F(CommandTest, OffClosesEmptiesTheTraceAndKeepsTheCounters) {
    Ports_Free(1, 1);
    Open_Window();
    Click("cmd_ON");
    Find<QTextEdit>("rtb_RS232_SPY")->setPlainText(QStringLiteral("0x87; 0x00; 0x78"));
    Find<QLineEdit>("txt_Send_Packet")->setText(QStringLiteral("514"));
    Find<QLineEdit>("txt_Received_Packet")->setText(QStringLiteral("513"));
    serial.log.clear();
    Click("cmd_OFF");
    EXPECT_EQ(serial.log, (std::vector<std::string>{"close 1"}));
    EXPECT_FALSE(serial.PortOpen());
    EXPECT_TRUE(Find<QTextEdit>("rtb_RS232_SPY")->toPlainText().isEmpty());
    EXPECT_EQ(Text("txt_Send_Packet"), "514");
    EXPECT_EQ(Text("txt_Received_Packet"), "513");
    EXPECT_EQ(Now(), kPortClosed);
    // And the port opens again.
    Click("cmd_ON");
    EXPECT_TRUE(serial.PortOpen());
    EXPECT_EQ(Now(), kPortOpen);
}

TEST_F(CommandTest, StopOnlySetsTheFlagAndExitClosesWindowAndPort) {
    Ports_Free(1, 1);
    Open_Window();
    Click("cmd_ON");
    Click("cmd_Stop_RS232");
    EXPECT_TRUE(StopRequested);
    EXPECT_EQ(Now(), kPortOpen);
    EXPECT_TRUE(serial.PortOpen());
    Click("cmd_Exit");
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(serial.PortOpen());
    EXPECT_EQ(serial.log.back(), "close 1");
    EXPECT_TRUE(StopRequested) << "closing the window does not touch the stop flag";
}

// --- The programming run -------------------------------------------------------------------

class RunTest : public CommandTest {
  protected:
    void SetUp() override {
        CommandTest::SetUp();
        Ports_Free(1, 1);
        Open_Window();
        Click("cmd_ON");
        serial.log.clear();
    }
    int Block_Of(const std::string& packet) const {
        return ((static_cast<unsigned char>(packet[4]) << 8) |
                static_cast<unsigned char>(packet[5])) /
               128;
    }
};

TEST_F(RunTest, AWholeRunCompilesDetectsProgramsAndResets) {
    Give_Every_Slot_A_Picture();
    std::vector<States> during;
    duringRun = [&] {
        if (during.empty()) {
            during.push_back(Now());
            EXPECT_TRUE(RunInProgress);
        }
    };
    Click("cmd_Write_RS232");
    ASSERT_EQ(serial.written.size(), 514u);
    EXPECT_EQ(serial.written.front(), kDetect);
    EXPECT_EQ(serial.written.back(), kReset);
    for (std::size_t i = 1; i <= 512; ++i) {
        ASSERT_EQ(serial.written[i].size(), 135u);
        EXPECT_EQ(Block_Of(serial.written[i]), static_cast<int>(i - 1));
    }
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Text("txt_Send_Packet"), "514");
    EXPECT_EQ(Text("txt_Received_Packet"), "514");
    // The bar shows the block being sent; nothing moves it past the last one.
    EXPECT_EQ(Find<QProgressBar>("pgb_RS232")->value(), 511);
    EXPECT_EQ(Find<QTextEdit>("rtb_RS232_SPY")->toPlainText(),
              QStringLiteral("0xFE; 0x00; 0x01\n"));
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(during[0], (States{false, false, true, true, false, true}));
    EXPECT_EQ(Now(), kPortOpen);
    EXPECT_FALSE(RunInProgress);
    EXPECT_TRUE(serial.PortOpen());
}

TEST_F(RunTest, AMissingPictureEndsTheRunBeforeTheLineIsTouched) {
    Give_Every_Slot_A_Picture();
    files.Remove(Images_64240B[2].FullPath);
    Find<QTextEdit>("rtb_RS232_SPY")->setPlainText(QStringLiteral("old trace"));
    Find<QLineEdit>("txt_Send_Packet")->setText(QStringLiteral("12"));
    Find<QLineEdit>("txt_Received_Packet")->setText(QStringLiteral("11"));
    StopRequested = true;
    Click("cmd_Write_RS232");
    EXPECT_TRUE(serial.written.empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "ERROR");
    EXPECT_NE(messages.shown[0].text.find(Images_64240B[2].FileName), std::string::npos);
    // The run started from an empty trace, zero counters and a cleared flag.
    EXPECT_TRUE(Find<QTextEdit>("rtb_RS232_SPY")->toPlainText().isEmpty());
    EXPECT_EQ(Text("txt_Send_Packet"), "0");
    EXPECT_EQ(Text("txt_Received_Packet"), "0");
    EXPECT_FALSE(StopRequested);
    EXPECT_EQ(Now(), kPortOpen);
    EXPECT_FALSE(RunInProgress);
}

TEST_F(RunTest, NoModuleMeansDetectionOnlyThenTheButtonsComeBack) {
    Give_Every_Slot_A_Picture();
    module.present = false;
    Click("cmd_Write_RS232");
    EXPECT_EQ(serial.written, (std::vector<std::string>{kDetect, kDetect, kDetect}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "ERROR RS232");
    EXPECT_EQ(messages.shown[0].text,
              "Comunicazione seriale interrotta.\r\n"
              "Impossibile trovare il modulo, verificare la connessione!");
    EXPECT_EQ(Now(), kPortOpen);
}

TEST_F(RunTest, AFailedBlockWithoutStopIsStillFollowedByTheReset) {
    Give_Every_Slot_A_Picture();
    module.badBlock = 3;
    Click("cmd_Write_RS232");
    EXPECT_EQ(Count_Sent(0x87), 1);
    EXPECT_EQ(Count_Sent(0x04), 3 + 3);  // blocks 0-2, then block 3 three times
    EXPECT_EQ(serial.written.back(), kReset);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Comunicazione seriale interrotta.\r\nScrittura EEPROM I2C fallita!");
    EXPECT_EQ(Now(), kPortOpen);
}

TEST_F(RunTest, StopDuringProgrammingSkipsTheReset) {
    Give_Every_Slot_A_Picture();
    duringRun = [&] {
        if (Count_Sent(0x04) == 10 && !StopRequested) {
            Click("cmd_Stop_RS232");
        }
    };
    Click("cmd_Write_RS232");
    EXPECT_EQ(Count_Sent(0x04), 10);
    EXPECT_EQ(Count_Sent(0xFE), 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Now(), kPortOpen);
    EXPECT_TRUE(StopRequested);
}

TEST_F(RunTest, StopDuringDetectionIsClearedWhenProgrammingStarts) {
    Give_Every_Slot_A_Picture();
    bool clicked = false;
    duringRun = [&] {
        if (Count_Sent(0x87) == 1 && Count_Sent(0x04) == 0 && !clicked) {
            clicked = true;
            Click("cmd_Stop_RS232");
            EXPECT_TRUE(StopRequested);
        }
    };
    Click("cmd_Write_RS232");
    EXPECT_TRUE(clicked);
    EXPECT_EQ(Count_Sent(0x04), 512);
    EXPECT_EQ(serial.written.back(), kReset);
}

TEST_F(RunTest, ASecondWriteClickAndAWindowCloseWaitForTheRunToEnd) {
    Give_Every_Slot_A_Picture();
    bool closeRefused = false;
    QString titleDuringRun;
    duringRun = [&] {
        if (Count_Sent(0x04) == 5 && titleDuringRun.isEmpty()) {
            Click("cmd_Write_RS232");
            closeRefused = !window->close();
            titleDuringRun = window->windowTitle();
        }
    };
    Click("cmd_Write_RS232");
    EXPECT_EQ(Count_Sent(0x87), 1) << "the second click started a nested run";
    EXPECT_EQ(Count_Sent(0x04), 512);
    EXPECT_EQ(serial.written.back(), kReset);
    EXPECT_TRUE(closeRefused);
    EXPECT_TRUE(titleDuringRun.contains(QStringLiteral("Attendere la fine della programmazione")));
    // The close asked for during the run happens once the run has ended.
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(serial.PortOpen());
    EXPECT_EQ(serial.log.back(), "close 1");
    EXPECT_FALSE(RunInProgress);
}

}  // namespace
}  // namespace lcdprog::test
