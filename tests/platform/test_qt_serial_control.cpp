// The serial control on a pseudo-terminal, and the event pump the link sleeps in.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <ctime>
#include <tuple>

#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_control.h"

namespace lcdprog::platform {
namespace {

double Cpu_Ms() {
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// The control opens the slave as its serial port; the test plays the module on the master.
struct Pty {
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char* name = master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0
                               ? ptsname(master)
                               : nullptr;
        slave = name != nullptr ? name : "";
    }
    ~Pty() { Close(); }
    void Close() {
        if (master >= 0) {
            close(master);
        }
        master = -1;
    }
    std::string Receive(std::size_t count) {  // until `count` bytes, or 2 s without any
        std::string out;
        char buf[256];
        pollfd p{master, POLLIN, 0};
        ssize_t n = 0;
        while (out.size() < count && poll(&p, 1, 2000) > 0 && (n = read(master, buf, 256)) > 0) {
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }
    int master = -1;
    std::string slave;
};

TEST(LineSettings, ParsesEveryFieldAndRefusesMalformedText) {
    using P = QSerialPort;
    const std::pair<const char*, LineSettings> good[] = {
        {"115200,n,8,1", {115200, P::NoParity, P::Data8, P::OneStop}},
        {"9600,E,7,2", {9600, P::EvenParity, P::Data7, P::TwoStop}},
        {" 19200 , o , 5 , 1.5 ", {19200, P::OddParity, P::Data5, P::OneAndHalfStop}},
        {"300,m,6,1", {300, P::MarkParity, P::Data6, P::OneStop}},
        {"300,s,8,1", {300, P::SpaceParity, P::Data8, P::OneStop}},
    };
    for (const auto& [text, expected] : good) {
        EXPECT_EQ(Parse_Line_Settings(text), expected) << text;
    }
    for (const char* bad : {"", "115200,n,8", "115200,n,8,1,1", "115200,x,8,1", "115200,no,8,1",
                            "115200,n,9,1", "115200,n,4,1", "115200,n,8,3", "0,n,8,1",
                            "-9600,n,8,1", "99999999999,n,8,1", ",n,8,1"}) {
        EXPECT_FALSE(Parse_Line_Settings(bad).has_value()) << bad;
    }
}

TEST(QtSerialControl, OpensAPseudoTerminalAppliesSettingsWritesReadsAndNotifies) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    QtSerialControl rs(PortTable({pty.slave}));
    int notifications = 0;
    rs.SetCommHandler([&] { notifications += rs.CommEvent() == comm_event::kReceive; });
    ASSERT_TRUE(rs.SetPortOpen(true)) << rs.LastError();
    const std::tuple<const char*, speed_t, tcflag_t> applied[] = {
        {"115200,n,8,1", B115200, CS8}, {"9600,n,8,2", B9600, CS8 | CSTOPB}};
    termios t{};
    for (const auto& [text, speed, cflag] : applied) {
        ASSERT_TRUE(rs.SetSettings(text)) << rs.LastError();
        ASSERT_EQ(tcgetattr(pty.master, &t), 0);
        EXPECT_EQ(cfgetospeed(&t), speed) << text;
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), cflag) << text;
    }

    // Malformed text is refused before anything reaches the line; settings the device refuses
    // (a pty carries neither parity nor 7-bit data) put the line back as it was.
    const LineSettings kept{9600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::TwoStop};
    EXPECT_FALSE(rs.SetSettings("115200;n;8;1"));
    EXPECT_NE(rs.LastError().find("115200;n;8;1"), std::string::npos) << rs.LastError();
    EXPECT_FALSE(rs.SetSettings("115200,e,7,1"));
    EXPECT_EQ(rs.Settings(), kept);
    ASSERT_EQ(tcgetattr(pty.master, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

    // Bytes a cooked line would change (NUL, XON, XOFF, CR, LF, 0xFF) pass both ways unchanged.
    const std::string raw("\x87\x00\x11\x13\x0D\x0A\xFF", 7);
    ASSERT_TRUE(rs.Output(raw));
    EXPECT_EQ(pty.Receive(raw.size()), raw);
    ASSERT_EQ(write(pty.master, raw.data(), raw.size()), 7);
    QtEventPump pump;  // as the link waits: the bytes come in inside its yields
    QElapsedTimer wall;
    wall.start();
    std::string got;
    while (got.size() < raw.size() && wall.elapsed() < 2000) {
        pump.Yield(100);
        got += rs.Input();
    }
    EXPECT_EQ(got, raw);
    EXPECT_GE(notifications, 1);

    EXPECT_TRUE(rs.SetPortOpen(false));
    EXPECT_FALSE(rs.PortOpen());
    EXPECT_FALSE(rs.Output("x"));
}

// The other end going away (an unplugged adapter; here the pty master closed) must end in a
// closed port, not in a storm of read errors that eats a whole CPU.
TEST(QtSerialControl, RefusesAbsentOutOfTableOpenAndBusyPortsAndClosesOnHangUp) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    QtSerialControl rs(PortTable({pty.slave, "/dev/lcdprog-no-such-device"}));
    rs.SetCommPort(2);
    EXPECT_FALSE(rs.SetPortOpen(true));
    EXPECT_NE(rs.LastError().find("/dev/lcdprog-no-such-device"), std::string::npos);
    rs.SetCommPort(3);
    EXPECT_FALSE(rs.SetPortOpen(true));
    EXPECT_FALSE(rs.LastError().empty());
    rs.SetCommPort(1);
    ASSERT_TRUE(rs.SetPortOpen(true)) << rs.LastError();
    EXPECT_FALSE(rs.SetPortOpen(true));  // already open
    EXPECT_FALSE(rs.LastError().empty());
    EXPECT_TRUE(rs.PortOpen());
    QtSerialControl second(PortTable({pty.slave}));
    EXPECT_FALSE(second.SetPortOpen(true));  // held by the first control
    EXPECT_FALSE(second.PortOpen());
    EXPECT_FALSE(second.LastError().empty());

    pty.Close();
    const double cpuBefore = Cpu_Ms();
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = Cpu_Ms() - cpuBefore;
    EXPECT_FALSE(rs.PortOpen());
    EXPECT_FALSE(rs.LastError().empty());
    EXPECT_LT(cpu, 75.0) << cpu << " ms of CPU in 300 ms";
    EXPECT_FALSE(rs.Output("\x87"));
    EXPECT_EQ(rs.Input(), "");
    EXPECT_TRUE(rs.SetPortOpen(false));  // closing a closed port is not an error
}

TEST(QtEventPump, RunsPendingEventsAtOnceWakesOnAnEventAndOtherwiseSleeps) {
    QtEventPump pump;
    for (int i = 0; i < 50; ++i) {
        pump.Yield(0);  // drains what earlier tests left queued
    }
    int ran = 0;
    QTimer::singleShot(0, [&] { ++ran; });
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { ++ran; }, Qt::QueuedConnection);
    QElapsedTimer wall;
    wall.start();
    pump.Yield(2000);
    pump.Yield(0);
    EXPECT_EQ(ran, 2);
    EXPECT_LT(wall.elapsed(), 500);

    bool fired = false;
    QTimer::singleShot(30, [&] { fired = true; });
    wall.restart();
    while (!fired && wall.elapsed() < 2000) {
        pump.Yield(2000);
    }
    EXPECT_LT(wall.elapsed(), 1000);  // woke for the timer, long before the limit

    // Nothing to do: waiting 200 ms in a loop of yields, as the exchange does, sleeps.
    const double cpuBefore = Cpu_Ms();
    wall.restart();
    while (wall.elapsed() < 200) {
        pump.Yield(static_cast<std::uint32_t>(200 - wall.elapsed()));
    }
    EXPECT_LT(Cpu_Ms() - cpuBefore, 50.0);
    EXPECT_LT(wall.elapsed(), 400);
}

}  // namespace
}  // namespace lcdprog::platform
