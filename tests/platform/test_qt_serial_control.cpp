#include <termios.h>
#include <time.h>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include "platform/qt/qt_serial_control.h"
#include "pty_pair.h"

namespace lcdprog::platform {
namespace {

using test::PtyPair;

double Process_Cpu_Ms() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Runs the event loop until `done` holds or `limitMs` have passed.
template <typename Done>
void Run_Events_Until(Done done, int limitMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < limitMs) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

TEST(LineSettings, ParsesEveryFieldAndRefusesMalformedText) {
    struct Case {
        const char* text;
        bool ok;
        LineSettings expected;
    };
    const Case cases[] = {
        {"115200,n,8,1",
         true,
         {115200, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop}},
        {"9600,E,7,2",
         true,
         {9600, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop}},
        {" 19200 , o , 5 , 1.5 ",
         true,
         {19200, QSerialPort::OddParity, QSerialPort::Data5, QSerialPort::OneAndHalfStop}},
        {"300,m,6,1",
         true,
         {300, QSerialPort::MarkParity, QSerialPort::Data6, QSerialPort::OneStop}},
        {"300,s,8,1",
         true,
         {300, QSerialPort::SpaceParity, QSerialPort::Data8, QSerialPort::OneStop}},
        {"", false, {}},
        {"115200", false, {}},
        {"115200,n,8", false, {}},
        {"115200,n,8,1,1", false, {}},
        {"115200,x,8,1", false, {}},
        {"115200,no,8,1", false, {}},
        {"115200,n,9,1", false, {}},
        {"115200,n,4,1", false, {}},
        {"115200,n,8,3", false, {}},
        {"0,n,8,1", false, {}},
        {"-9600,n,8,1", false, {}},
        {"fast,n,8,1", false, {}},
        {"99999999999,n,8,1", false, {}},
        {",n,8,1", false, {}},
    };
    for (const Case& c : cases) {
        const auto parsed = Parse_Line_Settings(c.text);
        EXPECT_EQ(parsed.has_value(), c.ok) << c.text;
        if (c.ok && parsed) {
            EXPECT_EQ(*parsed, c.expected) << c.text;
        }
    }
}

TEST(QtSerialControl, OpensAPseudoTerminalWritesAndReadsBytes) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    QtSerialControl rs(PortTable({pty.SlavePath()}));
    int notifications = 0;
    rs.SetCommHandler([&] {
        if (rs.CommEvent() == comm_event::kReceive) {
            ++notifications;
        }
    });
    rs.SetCommPort(1);
    EXPECT_EQ(rs.DevicePath(1), pty.SlavePath());
    ASSERT_TRUE(rs.SetPortOpen(true)) << rs.LastError();
    EXPECT_TRUE(rs.PortOpen());
    ASSERT_TRUE(rs.SetSettings("115200,n,8,1"));

    // Every byte value passes both ways unchanged: the line is raw.
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    ASSERT_TRUE(rs.Output(all));
    EXPECT_EQ(pty.Receive(all.size(), 2000), all);

    std::string got;
    ASSERT_TRUE(pty.Send(all));
    Run_Events_Until(
        [&] {
            if (notifications > 0) {
                got += rs.Input();
            }
            return got.size() >= all.size();
        },
        2000);
    EXPECT_EQ(got, all);
    EXPECT_GE(notifications, 1);
    EXPECT_EQ(rs.CommEvent(), comm_event::kReceive);
    EXPECT_EQ(rs.Input(), "");

    EXPECT_TRUE(rs.SetPortOpen(false));
    EXPECT_FALSE(rs.PortOpen());
    EXPECT_FALSE(rs.Output("x"));
}

TEST(QtSerialControl, AppliesSettingsToTheLineAndKeepsThemOnMalformedText) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    QtSerialControl rs(PortTable({pty.SlavePath()}));
    ASSERT_TRUE(rs.SetPortOpen(true)) << rs.LastError();
    ASSERT_TRUE(rs.SetSettings("115200,n,8,1"));
    termios t{};
    ASSERT_EQ(tcgetattr(pty.Master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);

    ASSERT_TRUE(rs.SetSettings("9600,n,8,2")) << rs.LastError();
    ASSERT_EQ(tcgetattr(pty.Master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);

    const LineSettings kept{9600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::TwoStop};
    // Malformed: refused before anything reaches the line.
    EXPECT_FALSE(rs.SetSettings("115200;n;8;1"));
    EXPECT_NE(rs.LastError().find("115200;n;8;1"), std::string::npos) << rs.LastError();
    EXPECT_EQ(rs.Settings(), kept);
    // Well formed but refused by the device (a pty carries neither parity nor 7-bit data): the
    // line goes back to what it had.
    EXPECT_FALSE(rs.SetSettings("115200,e,7,1"));
    EXPECT_FALSE(rs.LastError().empty());
    EXPECT_EQ(rs.Settings(), kept);
    ASSERT_EQ(tcgetattr(pty.Master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(rs.PortOpen());
}

TEST(QtSerialControl, RefusesAbsentOutOfTableAndAlreadyOpenPorts) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    QtSerialControl rs(PortTable({pty.SlavePath(), "/dev/lcdprog-no-such-device"}));

    rs.SetCommPort(2);
    EXPECT_FALSE(rs.SetPortOpen(true));
    EXPECT_FALSE(rs.PortOpen());
    EXPECT_NE(rs.LastError().find("/dev/lcdprog-no-such-device"), std::string::npos)
        << rs.LastError();

    rs.SetCommPort(3);
    EXPECT_FALSE(rs.SetPortOpen(true));
    EXPECT_FALSE(rs.PortOpen());
    EXPECT_FALSE(rs.LastError().empty());
    EXPECT_EQ(rs.DevicePath(3), "");
    EXPECT_EQ(rs.DevicePath(0), "");

    rs.SetCommPort(1);
    ASSERT_TRUE(rs.SetPortOpen(true)) << rs.LastError();
    EXPECT_TRUE(rs.LastError().empty());
    EXPECT_FALSE(rs.SetPortOpen(true));
    EXPECT_FALSE(rs.LastError().empty());
    EXPECT_TRUE(rs.PortOpen());
}

TEST(QtSerialControl, APortHeldByAnotherControlIsBusy) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    QtSerialControl holder(PortTable({pty.SlavePath()}));
    ASSERT_TRUE(holder.SetPortOpen(true)) << holder.LastError();
    QtSerialControl second(PortTable({pty.SlavePath()}));
    EXPECT_FALSE(second.SetPortOpen(true));
    EXPECT_FALSE(second.PortOpen());
    EXPECT_FALSE(second.LastError().empty());
}

// The other end going away (an unplugged adapter; here the pty master closed) must end in a
// closed port, not in a storm of read errors that eats a whole CPU.
TEST(QtSerialControl, HangUpClosesThePortWithoutACpuStorm) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    QtSerialControl rs(PortTable({pty.SlavePath()}));
    ASSERT_TRUE(rs.SetPortOpen(true)) << rs.LastError();
    ASSERT_TRUE(rs.SetSettings("115200,n,8,1"));
    pty.CloseMaster();

    const double cpuBefore = Process_Cpu_Ms();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = Process_Cpu_Ms() - cpuBefore;
    const auto elapsed = wall.elapsed();

    EXPECT_FALSE(rs.PortOpen());
    EXPECT_FALSE(rs.LastError().empty());
    EXPECT_LT(cpu, 0.25 * static_cast<double>(elapsed)) << cpu << " ms of CPU in " << elapsed;
    // Later writes fail quietly and reading gives nothing.
    EXPECT_FALSE(rs.Output("\x87"));
    EXPECT_EQ(rs.Input(), "");
    // Closing an already closed port is not an error.
    EXPECT_TRUE(rs.SetPortOpen(false));
}

}  // namespace
}  // namespace lcdprog::platform
