#include <QLabel>

#include <tuple>

#include <gmock/gmock.h>

#include "serial_window_fixture.h"
#include "support/screen_reader.h"

namespace lcdprog::test {
namespace {

const std::string kError = "Comunicazione seriale interrotta.\r\n";

using CommandTest = SerialWindowTest;

TEST_F(CommandTest, OnOpensThePortReadFromTheFourthCharacterOrSaysWhyAndChangesNothing) {
    using Port = FakeSerialControl::Port;
    serial.ports = {{1, Port::Free}, {3, Port::Free}, {12, Port::Free}, {5, Port::Busy}};
    const std::pair<const char*, std::string> cases[] = {
        {"COM 3", ""},      {"COM12", ""},     {"COM  3 ", ""},      {"", "bad"},
        {"COM x", "bad"},   {"COM 0", "bad"},  {"COM 40000", "bad"}, {"Combo1", "bad"},
        {"COM 2 3", "bad"}, {"COM 5", "busy"}, {"COM 9", "absent"}};
    for (const auto& [text, reason] : cases) {
        SCOPED_TRACE(text);
        Open_Window();
        messages.shown.clear();
        serial.log.clear();
        const int portBefore = serial.CommPort();
        Find<QComboBox>("cmb_RS232")->setEditText(QString::fromLatin1(text));
        Click("cmd_ON");
        if (reason.empty()) {
            const std::string n = QString(text).mid(3).trimmed().toStdString();
            EXPECT_EQ(serial.log, (std::vector<std::string>{"port " + n, "open " + n,
                                                            "settings 115200,n,8,1"}));
            EXPECT_EQ(Now(), kPortOpen);
            EXPECT_TRUE(messages.shown.empty());
            continue;
        }
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].title, "ERROR RS232");
        EXPECT_EQ(messages.shown[0].text,
                  kError + (reason == "bad" ? "Porta seriale non valida: \"" + std::string(text) +
                                                  "\". Scegliere una porta dall'elenco, per "
                                                  "esempio \"COM 1\"."
                                            : reason));
        EXPECT_EQ(serial.CommPort(), portBefore);
        EXPECT_FALSE(serial.PortOpen());
        EXPECT_EQ(Now(), kPortClosed);
    }
}

// From the keyboard: ON hands the focus to OFF and OFF back to ON, straight, and each is heard
// saying what became of the port wherever the focus is.
TEST_F(CommandTest, OnAndOffHandTheFocusToEachOtherAndAreHeard) {
    serial.ports = {{1, FakeSerialControl::Port::Free}};
    Open_Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ScreenReader reader;
    Find("cmd_ON")->setFocus();
    const std::tuple<const char*, const char*, const char*> steps[] = {
        {"cmd_ON", "cmd_OFF", "COM 1 aperta"}, {"cmd_OFF", "cmd_ON", "Porta chiusa"}};
    for (const auto& [pressed, focused, heard] : steps) {
        SCOPED_TRACE(pressed);
        reader.Clear();
        QTest::keyClick(Find(pressed), Qt::Key_Space);
        EXPECT_EQ(reader.Focused(), std::vector<std::string>{focused});
        EXPECT_EQ(reader.Announced(), std::vector<std::string>{heard});
    }
}

TEST_F(CommandTest, ShowingAgainChangesNothingOffEmptiesTheTraceAndExitEndsTheWindow) {
    using Port = FakeSerialControl::Port;
    serial.ports = {{1, Port::Free}, {2, Port::Free}};
    holder.ShowWindow();
    frm_RS232* first = holder.Window();
    ASSERT_NE(first, nullptr);
    Find<QComboBox>("cmb_RS232")->setCurrentIndex(1);
    Click("cmd_ON");
    const auto log = serial.log;
    holder.ShowWindow();  // neither probes again nor changes a state
    EXPECT_EQ(holder.Window(), first);
    EXPECT_EQ(serial.log, log);
    EXPECT_EQ(Find<QComboBox>("cmb_RS232")->currentText(), "COM 2");
    EXPECT_EQ(Now(), kPortOpen);

    Find<QTextEdit>("rtb_RS232_SPY")->setPlainText("0x87; 0x00; 0x78");
    Find<QLineEdit>("txt_Send_Packet")->setText("514");
    serial.log.clear();
    Click("cmd_OFF");
    EXPECT_EQ(serial.log, (std::vector<std::string>{"close 2"}));
    EXPECT_TRUE(Find<QTextEdit>("rtb_RS232_SPY")->toPlainText().isEmpty());
    EXPECT_EQ(Text("txt_Send_Packet"), "514");
    EXPECT_EQ(Now(), kPortClosed);

    // Exit closes the port and ends the window; the next showing creates it and probes again.
    Click("cmd_ON");
    Click("cmd_Exit");
    EXPECT_EQ(serial.log.back(), "close 2");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(holder.Window(), nullptr);
    serial.log.clear();
    holder.ShowWindow();
    ASSERT_NE(holder.Window(), nullptr);
    EXPECT_EQ(serial.log.front(), "port 1");
}

class RunTest : public SerialWindowTest {
  protected:
    void Ready_To_Run() {
        state = ProgramState{};
        serial.ports = {{1, FakeSerialControl::Port::Free}};
        Open_Window();
        Click("cmd_ON");
        Fill_Slots_With_Noise(state, files);
        // What a run must clear first.
        Find<QTextEdit>("rtb_RS232_SPY")->setPlainText("old trace");
        Find<QLineEdit>("txt_Send_Packet")->setText("12");
        Find<QLineEdit>("txt_Received_Packet")->setText("11");
        state.StopRequested = true;
        serial.log.clear();
        serial.written.clear();
        messages.shown.clear();
    }
};

TEST_F(RunTest, CompileDetectProgramAndResetUnlessStoppedWhileProgramming) {
    enum Stop { Never, DuringDetection, AfterTenBlocks };
    const struct {
        const char* what;
        bool present, pictureMissing;
        std::vector<std::string> faults;
        Stop stop;
        int detects, writes, resets;
        std::string title;   // of the one message shown; "" for none
        const char* status;  // the status line at the end (a regular expression)
    } cases[] = {
        // clang-format off
        {"missing picture", true, true, {}, Never, 0, 0, 0, "ERROR",
         "Immagine non compilata: il modulo non è stato contattato"},
        {"no module", false, false, {}, Never, 3, 0, 0, "ERROR RS232",
         "Modulo non trovato: verificare la connessione"},
        {"block 3 fails", true, false, {"badsum:block=3"}, Never, 1, 6, 1, "ERROR RS232",
         "Scrittura fallita al blocco 4 di 512: il modulo non ha confermato"},
        {"reset fails", true, false, {"badsum:reset"}, Never, 1, 512, 3, "ERROR RS232",
         "Memoria scritta, ma il reset del PIC non ha risposto"},
        {"stop while programming", true, false, {}, AfterTenBlocks, 1, 10, 0, "",
         "Interrotto dall'operatore al blocco 10 di 512"},
        {"stop while detecting", true, false, {}, DuringDetection, 1, 512, 1, "",
         "Programmazione completata: 65536 byte in [1-9][0-9]*,[0-9] s"},
        // clang-format on
    };
    ScreenReader reader;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Ready_To_Run();
        QFont large = window->font();  // as at 120 dpi and more: the status line wraps further
        large.setPointSizeF(16);
        window->setFont(large);
        line.connected = c.present;
        line.Replace_Module(c.faults);
        if (c.pictureMissing) {
            files.Remove(state.Images_64240B[2].FullPath);
        }
        bool stopped = false;
        line.onYield = [&](std::uint32_t) {
            if (!stopped && c.stop != Never &&
                (c.stop == AfterTenBlocks ? Count_Sent('\x04') == 10 : Count_Sent('\x87') == 1)) {
                stopped = true;
                Click("cmd_Stop_RS232");
            }
        };
        reader.Clear();
        Click("cmd_Write_RS232");
        // The end, whatever it was, is heard in the status line's words.
        EXPECT_EQ(reader.Announced(),
                  std::vector<std::string>{Find<QLabel>("lbl_Stato")->text().toStdString()});
        EXPECT_EQ(Count_Sent('\x87'), c.detects);
        EXPECT_EQ(Count_Sent('\x04'), c.writes);
        EXPECT_EQ(Count_Sent('\xFE'), c.resets);
        // The texts are the compiler's tests' and the fault matrix's to check.
        ASSERT_EQ(messages.shown.size(), c.title.empty() ? 0u : 1u);
        if (!c.title.empty()) {
            EXPECT_EQ(messages.shown[0].title, c.title);
        }
        EXPECT_FALSE(Find<QTextEdit>("rtb_RS232_SPY")->toPlainText().contains("old"));
        EXPECT_THAT(Find<QLabel>("lbl_Stato")->text().toStdString(),
                    ::testing::MatchesRegex(c.status));
        const QLabel* status = Find<QLabel>("lbl_Stato");
        EXPECT_TRUE(status->height() >= status->heightForWidth(status->width()) &&
                    window->height() > status->geometry().bottom());
        EXPECT_EQ(Text("txt_Send_Packet"), std::to_string(serial.written.size()));
        EXPECT_EQ(state.StopRequested, c.stop == AfterTenBlocks);
        EXPECT_EQ(Now(), kPortOpen);
        EXPECT_FALSE(window->Run_In_Progress());
    }
}

TEST_F(RunTest, AWholeRunWhileASecondClickAndAWindowCloseWaitForItsEnd) {
    Ready_To_Run();
    std::vector<States> during;
    QString titleDuringRun;
    bool closeRefused = false;
    line.onYield = [&](std::uint32_t) {
        if (during.empty()) {
            during.push_back(Now());
        }
        if (Count_Sent('\x04') == 5 && titleDuringRun.isEmpty()) {
            Click("cmd_Write_RS232");
            closeRefused = !window->close();
            titleDuringRun = window->windowTitle();
        }
    };
    Click("cmd_Write_RS232");
    // What the window shows after a whole run is checked on the real line (tests/e2e).
    ASSERT_EQ(serial.written.size(), 514u) << "the second click started a nested run";
    EXPECT_TRUE(line.module.Memory() == state.MemoryImage);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(during, std::vector<States>{kRunning});
    EXPECT_TRUE(closeRefused);
    EXPECT_TRUE(titleDuringRun.endsWith(" - Attendere la fine della programmazione"));
    // The close asked for during the run happens once it has ended.
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(serial.log.back(), "close 1");
}

}  // namespace
}  // namespace lcdprog::test
