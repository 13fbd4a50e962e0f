// The Qt side of the platform: the widgets follow a run at most ten times a second, the event pump
// paints at most every 100 ms while the link waits and otherwise sleeps, and the serial control
// works a pseudo-terminal whose master end the test plays the module on.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/port_diagnostics.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_serial_control.h"
#include "support/fakes.h"

namespace lcdprog::platform {
namespace {

constexpr int kIntervalMs = CoalescedApply::kIntervalMs;
static_assert(kIntervalMs == QtEventPump::kPaintIntervalMs);
// Only ends a wait for an event that never comes; nothing here is timed against it.
constexpr int kNeverMs = 20000;

// Yields as the link's wait loops do, or without a pump runs the window's own event loop, until
// `done` holds; false at the deadline.
bool Wait_Until(QtEventPump* pump, int limitMs, const std::function<bool()>& done) {
    QTimer deadline;  // also wakes an event loop that has nothing else to do
    deadline.setSingleShot(true);
    deadline.start(limitMs);
    while (!done() && deadline.isActive()) {
        if (pump != nullptr)
            pump->Yield(10);
        else
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

// One letter per character shown: b blue, r red, - no colour, ? another; / for a line break.
std::string Colours(QTextEdit& edit) {
    std::string out;
    const QString text = edit.toPlainText();
    QTextCursor cursor(edit.document());
    for (int i = 0; i < text.size(); ++i) {
        cursor.setPosition(i + 1);
        const QTextCharFormat f = cursor.charFormat();
        const QColor c = f.foreground().color();
        out += text[i] == '\n'                                ? '/'
               : !f.hasProperty(QTextFormat::ForegroundBrush) ? '-'
               : c == QColor(0, 0, 255)                       ? 'b'
               : c == QColor(255, 0, 0)                       ? 'r'
                                                              : '?';
    }
    return out;
}

TEST(CoalescedTrace, ShownAtFlushWithTheColoursOfEveryStep) {
    QTextEdit edit;
    edit.setPlainText("old");
    QtRichTextControl spy(edit);
    const auto colour = [&](int start, int length, std::uint32_t rgb) {
        spy.SetSelStart(start);
        spy.SetSelLength(length);
        spy.SetSelColor(rgb);
    };
    const std::string req = "0x87; 0x00; 0x78\r\n", rep = "0x87; 0x04\r\n";
    const std::string shown = std::string(16, 'b') + "/" + std::string(10, 'r') + "/";
    // In one interval: the request blue, the reply appended and red; selections are clamped.
    spy.SetText(req);
    colour(0, 18, 0x0000FF);
    spy.SetText(req + rep);
    colour(18, 100, 0xFF0000);
    colour(50, 3, 0x00FF00);
    spy.Flush();
    EXPECT_EQ(Colours(edit), shown);
    // What was shown survives an append, which inherits none of it.
    spy.SetText(req + rep + rep);
    spy.Flush();
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("0x87; 0x00; 0x78\n0x87; 0x04\n0x87; 0x04\n"));
    EXPECT_EQ(Colours(edit), shown + std::string(10, '-') + "/");
    // A replacement drops the colours given before it, shown or not, and keeps those after it.
    colour(0, 1, 0xFF0000);
    spy.SetText("ab");
    colour(0, 1, 0x0000FF);
    spy.SetText("abc");
    spy.Flush();
    EXPECT_EQ(Colours(edit), "b--");
    // A CR LF split over two applies is one break.
    spy.SetText("a\r");
    spy.Flush();
    spy.SetText("a\r\nb");
    colour(2, 2, 0xFF0000);
    spy.Flush();
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("a\nb"));
    EXPECT_EQ(Colours(edit), "-/r");
}

TEST(CoalescedApply, ModelsAtOnceWidgetsTogetherWithinTheIntervalOrAtFlush) {
    QtEventPump pump;
    QTextEdit edit;
    QLineEdit box;
    QProgressBar bar;
    bar.setRange(0, 512);
    QLabel label;
    test::VirtualClock clock;  // the interval is exact; the timer that ends it runs in real time
    CoalescedApply together(&clock);
    QtRichTextControl spy(edit, &together);
    QtTextControl counter(box, &together);
    QtProgressControl progress(bar, &together);
    QtLabelControl status(label, together);
    counter.SetText("1");  // a single change after a quiet spell shows at once
    EXPECT_EQ(box.text(), QStringLiteral("1"));

    // A burst of packets: the models are exact at once, the widgets catch up together.
    for (int i = 0; i < 100; ++i) {
        const std::string n = std::to_string(i);
        spy.SetText("0xA1; " + n + "\r\n");
        counter.SetText(n);
        progress.SetValue(6 * i - 6);
        status.SetText("Blocco " + n);
        EXPECT_EQ(spy.Text() + counter.Text(), "0xA1; " + n + "\r\n" + n);
        EXPECT_EQ(progress.Value(), std::clamp(6 * i - 6, 0, 512));
    }
    EXPECT_EQ(box.text(), QStringLiteral("1"));
    ASSERT_TRUE(Wait_Until(&pump, kNeverMs, [&] { return box.text() == "99"; }));
    EXPECT_EQ(edit.toPlainText() + label.text(), QStringLiteral("0xA1; 99\nBlocco 99"));
    EXPECT_EQ(bar.value(), 512);

    // The interval counts from the last apply: a change a millisecond short of it waits (or
    // for a flush), one at its end shows at once.
    clock.now += kIntervalMs - 1;
    counter.SetText("100");
    EXPECT_EQ(box.text(), QStringLiteral("99"));
    together.Flush();
    EXPECT_EQ(box.text(), QStringLiteral("100"));
    clock.now += kIntervalMs;
    counter.SetText("101");
    EXPECT_EQ(box.text(), QStringLiteral("101"));
}

class Probe final : public QWidget {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

// The pacing runs on a virtual clock, so every count is exact; only the pump's own timer, which
// delivers a held paint, runs in real time, and each wait for it ends when it fires.
TEST(PacedPainting, NoPaintBeforeAPacketAtMostOnePerIntervalWhileWaitingNoneLost) {
    test::VirtualClock clock;
    auto pump = std::make_unique<QtEventPump>(&clock);
    Probe probe;
    probe.show();
    ASSERT_TRUE(Wait_Until(pump.get(), kNeverMs, [&] { return probe.paints > 0; }));

    // Half a second of exchanges, 10 ms each, the window dirty in every pass: the yield before a
    // packet never paints, nor does a later pass of a wait (a reply may be arriving then); the
    // first pass paints when the last paint is an interval old, at 0, 100, ... 400 ms. A timer
    // that is always due keeps every pass from sleeping.
    QTimer due;
    due.start(0);
    clock.now = 1000;
    std::vector<std::uint32_t> paintedAt;
    int paintsOutsideFirstPasses = 0;
    for (int exchange = 0; exchange < 50; ++exchange, clock.now += 10) {
        for (const std::uint32_t ms : {0, 20, 2}) {  // before the packet, first pass, a later one
            probe.update();
            const int pass = probe.paints;
            pump->Yield(ms);
            if (ms == 20 && probe.paints > pass) {
                paintedAt.push_back(clock.now - 1000);
            }
            paintsOutsideFirstPasses += ms == 20 ? 0 : probe.paints - pass;
        }
    }
    EXPECT_EQ(paintedAt, (std::vector<std::uint32_t>{0, 100, 200, 300, 400}));
    EXPECT_EQ(paintsOutsideFirstPasses, 0);

    // A later pass does not paint even when the last paint is old; the next wait's first does.
    // The wait is opened with nothing to paint, so that it is young while the last paint is
    // old: then the pump's timer, whenever it fires in real time, has nothing to deliver yet.
    clock.now += 1000;
    pump->Yield(20);  // delivers what the exchanges left held
    clock.now += 200;
    pump->Yield(2);
    pump->Yield(20);
    int before = probe.paints;
    probe.update();
    pump->Yield(1);
    EXPECT_EQ(probe.paints, before);
    pump->Yield(20);
    EXPECT_GT(probe.paints, before);

    // A paint held in a wait stays held while the wait is young, even when the pump's timer
    // wakes it; once the wait has gone quiet that timer delivers it, in the pass it wakes
    // (a wait that spins makes a pass per wake-up; its CPU is measured in bench/).
    clock.now += 1000;
    probe.update();
    before = probe.paints;
    pump->Yield(1000);  // a new wait's first pass, the last paint old: paints at once
    EXPECT_EQ(probe.paints, before + 1);
    before = probe.paints;
    probe.update();
    clock.now += 10;
    pump->Yield(990);
    EXPECT_EQ(probe.paints, before);
    due.stop();
    pump->Yield(980);  // sleeps until the timer fires
    EXPECT_EQ(probe.paints, before);
    clock.now += QtEventPump::kPaintIntervalMs;
    int passes = 0;
    while (probe.paints == before && passes < 10) {
        pump->Yield(static_cast<std::uint32_t>(970 - passes));
        ++passes;
    }
    EXPECT_LE(passes, 2);
    EXPECT_EQ(probe.paints, before + 1);

    // Held when the run ends, or when the pump goes away: the window's own event loop paints it.
    for (const bool pumpGone : {false, true}) {
        before = probe.paints;
        probe.update();
        pump->Yield(0);
        EXPECT_EQ(probe.paints, before);
        clock.now += QtEventPump::kPaintIntervalMs;
        if (pumpGone)
            pump.reset();
        EXPECT_TRUE(Wait_Until(nullptr, kNeverMs, [&] { return probe.paints > before; }));
    }
}

TEST(QtSerialControl, EmptiedOnOpenSettingsRawBytesBothWaysBusyAndHangUp) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string slave = ptsname(master);
    // Left in the line by an earlier user: they must not look like the start of a reply.
    termios t{};
    ASSERT_EQ(tcgetattr(master, &t), 0);
    cfmakeraw(&t);
    ASSERT_EQ(tcsetattr(master, TCSANOW, &t), 0);
    ASSERT_EQ(write(master, "stale", 5), 5);
    QtSerialControl rs(PortTable({slave}));
    std::vector<int> events;
    rs.SetCommHandler([&] { events.push_back(rs.CommEvent()); });
    ASSERT_TRUE(rs.SetPortOpen(true)) << rs.LastError();
    ASSERT_TRUE(rs.SetSettings("9600,n,8,2")) << rs.LastError();
    ASSERT_EQ(tcgetattr(master, &t), 0);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8 | CSTOPB));
    // Malformed text is refused before anything reaches the line; settings the device refuses
    // (a pty carries neither parity nor 7-bit data) put the line back as it was.
    EXPECT_FALSE(rs.SetSettings("115200;n;8;1"));
    EXPECT_NE(rs.LastError().find("115200;n;8;1"), std::string::npos) << rs.LastError();
    EXPECT_FALSE(rs.SetSettings("115200,e,7,1"));
    EXPECT_EQ(rs.Settings(), (LineSettings{9600, QSerialPort::NoParity, QSerialPort::Data8,
                                           QSerialPort::TwoStop}));
    ASSERT_EQ(tcgetattr(master, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));

    // Bytes a cooked line would change (NUL, XON, XOFF, CR, LF, 0xFF) pass both ways unchanged,
    // and what comes in is announced with the receive event, code 2.
    const std::string raw("\x87\x00\x11\x13\x0D\x0A\xFF", 7);
    ASSERT_TRUE(rs.Output(raw));
    std::string got(16, '\0');
    pollfd p{master, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    got.resize(static_cast<std::size_t>(std::max<ssize_t>(read(master, got.data(), 16), 0)));
    EXPECT_EQ(got, raw);
    ASSERT_EQ(write(master, raw.data(), raw.size()), 7);
    QtEventPump pump;
    got.clear();
    Wait_Until(&pump, kNeverMs, [&] { return (got += rs.Input()).size() >= raw.size(); });
    EXPECT_EQ(got, raw);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events, std::vector<int>(events.size(), 2));

    EXPECT_FALSE(rs.SetPortOpen(true));
    EXPECT_EQ(rs.LastError(), "La porta COM 1 è già aperta.");
    QtSerialControl second(PortTable({slave}));
    EXPECT_FALSE(second.SetPortOpen(true));  // held by the first control
    EXPECT_NE(second.LastError().find("(PID " + std::to_string(getpid()) + ")"), std::string::npos)
        << second.LastError();
    // What the advice is made from; a pty has no name a udev rule could use.
    const PortFacts facts = Gather_Port_Facts(slave);
    struct stat st {};
    ASSERT_EQ(stat(slave.c_str(), &st), 0);
    EXPECT_TRUE(facts.exists && facts.isCharDevice && facts.kernelName.empty() &&
                facts.mode == (st.st_mode & 0777u) && facts.ownerId == st.st_uid);
    // An unplugged adapter: the port closes, instead of reporting read errors at full speed.
    close(master);
    EXPECT_TRUE(Wait_Until(&pump, kNeverMs, [&] { return !rs.PortOpen(); }));
    EXPECT_EQ(rs.LastError(),
              "Il dispositivo " + slave + " non risponde più (scollegato?): porta chiusa.");
    EXPECT_FALSE(rs.Output("\x87"));
    EXPECT_TRUE(rs.SetPortOpen(false));  // closing a closed port is not an error
}

// A refusal's box keeps its title and text, and its reason is behind an Italian detail button,
// whether or not Qt's own translations are installed.
TEST(QtMessageBoxDetail, TheReasonIsBehindMostraDettagli) {
    std::vector<QString> seen;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                seen = {box->windowTitle(), box->text(), box->detailedText()};
                for (const QAbstractButton* button : box->buttons()) {
                    seen.push_back(button->text());
                }
                box->accept();
            }
        }
    });
    QtMessageBox().ShowDetailed("Selezionata immagine non valida", "ERROR", MessageIcon::Critical,
                                "supera i 32767 byte");
    EXPECT_EQ(seen, (std::vector<QString>{"ERROR", "Selezionata immagine non valida",
                                          "supera i 32767 byte", "OK", "Mostra dettagli..."}));
}

}  // namespace
}  // namespace lcdprog::platform
