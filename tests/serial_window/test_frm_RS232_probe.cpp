#include "serial_window_fixture.h"

namespace lcdprog::test {
namespace {

using Port = FakeSerialControl::Port;
using ProbeTest = SerialWindowTest;

TEST_F(ProbeTest, ListsTheRunOfOpenablePortsFromPortOneUnderTheBusyPointer) {
    std::map<int, Port> upTo17;
    for (int n = 1; n <= 17; ++n) {
        upTo17[n] = Port::Free;  // 17 would open, but is never asked for
    }
    const struct {
        std::map<int, Port> ports;
        int listed;  // ports 1..listed; the open of listed + 1 failed (16: none failed)
    } cases[] = {
        {{{1, Port::Free}, {2, Port::Free}, {3, Port::Free}}, 3},
        {{{1, Port::Free}, {3, Port::Free}}, 1},
        {{{1, Port::Free}, {2, Port::Busy}, {3, Port::Free}}, 1},
        {upTo17, 16},
        {{{1, Port::Busy}, {2, Port::Free}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listed);
        serial.ports = c.ports;
        serial.log.clear();
        shapes.clear();
        messages.shown.clear();
        Open_Window();
        auto* combo = Find<QComboBox>("cmb_RS232");
        std::vector<std::string> expectedLog;
        ASSERT_EQ(combo->count(), c.listed);
        for (int n = 1; n <= c.listed; ++n) {
            EXPECT_EQ(combo->itemText(n - 1).toStdString(), "COM " + std::to_string(n));
            const std::string s = std::to_string(n);
            expectedLog.insert(expectedLog.end(), {"port " + s, "open " + s, "close " + s});
        }
        if (c.listed < 16) {
            const std::string s = std::to_string(c.listed + 1);
            expectedLog.insert(expectedLog.end(), {"port " + s, "open " + s + " failed"});
        }
        EXPECT_EQ(serial.log, expectedLog);
        EXPECT_EQ(shapes, std::vector<Qt::CursorShape>(shapes.size(), Qt::WaitCursor));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(serial.PortOpen());
        EXPECT_TRUE(window->isVisible());
        if (c.listed == 0) {
            EXPECT_EQ(Now(), kNoPort);
            ASSERT_EQ(messages.shown.size(), 1u);  // said once, without a list to choose from
            EXPECT_EQ(messages.shown[0].title, "Porte seriali");
            EXPECT_EQ(
                messages.shown[0].text,
                "Nessuna porta seriale utilizzabile.\r\nCOM 1 (/dev/fake1) non si apre: busy");
        } else {
            EXPECT_EQ(combo->currentText(), QStringLiteral("COM 1"));
            EXPECT_EQ(combo->currentIndex(), 0);
            EXPECT_EQ(Now(), kPortClosed);
            EXPECT_TRUE(messages.shown.empty());
        }
    }
}

}  // namespace
}  // namespace lcdprog::test
