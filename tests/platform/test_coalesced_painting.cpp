// The trace, the bar and the window follow a run at most ten times a second: the adapters' models
// change at once, the widgets catch up within 100 ms or on Flush(), and the event pump paints
// at most every 100 ms while the link waits and never in the yield before a packet.
#include <time.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPaintEvent>
#include <QProgressBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_event_pump.h"

namespace lcdprog::platform {
namespace {

// Timers on a loaded machine fire late; a bound this wide still tells "within the interval"
// from "never" or "only after the next change".
constexpr int kSlackMs = 400;

double Process_Cpu_Ms() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Yields as the link's wait loop does until `done` holds; the milliseconds it took, or -1.
qint64 Wait_Until(QtEventPump& pump, const std::function<bool()>& done, int limitMs) {
    QElapsedTimer wall;
    wall.start();
    while (!done()) {
        if (wall.elapsed() >= limitMs) {
            return -1;
        }
        pump.Yield(10);
    }
    return wall.elapsed();
}

// Lets a previous apply age past the interval, so the next change is applied at once.
void Age_Past_Interval(QtEventPump& pump) {
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() <= CoalescedApply::kIntervalMs) {
        pump.Yield(static_cast<std::uint32_t>(CoalescedApply::kIntervalMs + 1 - wall.elapsed()));
    }
}

// One letter per character shown: b blue, r red, - no colour, ? another; / between lines.
std::string Colours(QTextEdit& edit) {
    std::string out;
    for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next()) {
        if (block != edit.document()->begin()) {
            out += '/';
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            char letter = '?';
            if (!f.hasProperty(QTextFormat::ForegroundBrush)) {
                letter = '-';
            } else if (f.foreground().color() == QColor(0, 0, 255)) {
                letter = 'b';
            } else if (f.foreground().color() == QColor(255, 0, 0)) {
                letter = 'r';
            }
            out.append(static_cast<std::size_t>(it.fragment().length()), letter);
        }
    }
    return out;
}

struct Op {
    enum Kind { Text, Colour, Flush } kind;
    std::string text;  // Text
    int start = 0;     // Colour
    int length = 0;
    std::uint32_t rgb = 0;
};
Op T(std::string text) {
    return {Op::Text, std::move(text)};
}
Op C(int start, int length, std::uint32_t rgb) {
    return {Op::Colour, "", start, length, rgb};
}
const Op F{Op::Flush, ""};

TEST(CoalescedTrace, ModelAtOnceWidgetAfterFlushWithTheColoursOfEveryStep) {
    constexpr std::uint32_t B = 0x0000FF, R = 0xFF0000;
    const std::string req = "0x87; 0x00; 0x78\r\n";  // 16 characters and a break on screen
    const std::string rep = "0x87; 0x04\r\n";        // 10 and a break
    struct Case {
        const char* what;
        std::vector<Op> ops;
        QString shown;
        std::string colours;
    };
    const Case cases[] = {
        {"request blue, reply appended and red, in one interval",
         {T(req), C(0, 18, B), T(req + rep), C(0, 18, B), C(18, 100, R)},
         "0x87; 0x00; 0x78\n0x87; 0x04\n",
         std::string(16, 'b') + "/" + std::string(10, 'r') + "/"},
        {"the blue shown earlier survives the append, which does not inherit it",
         {T(req), C(0, 18, B), F, T(req + rep), F},
         "0x87; 0x00; 0x78\n0x87; 0x04\n",
         std::string(16, 'b') + "/" + std::string(10, '-') + "/"},
        {"a replacement drops the colours given before it, shown or not",
         {T(req), C(0, 18, B), F, T("x"), T("ab"), C(0, 1, R), C(0, 1, B), T("abc")},
         "abc",
         "b--"},
        {"a CR LF split over two applies is one break",
         {T("a\r"), F, T("a\r\nb"), C(2, 2, R)},
         "a\nb",
         "-/r"},
        {"emptied after a burst of packets",
         {T(req), C(0, 18, B), T(req + rep), C(18, 12, R), T(req), C(0, 18, B), T("")},
         "",
         ""},
    };
    for (const Case& c : cases) {
        QTextEdit edit;
        edit.setPlainText("old");
        QtRichTextControl spy(edit);
        std::string model;
        for (const Op& op : c.ops) {
            switch (op.kind) {
                case Op::Text:
                    spy.SetText(op.text);
                    model = op.text;
                    break;
                case Op::Colour:
                    spy.SetSelStart(op.start);
                    spy.SetSelLength(op.length);
                    spy.SetSelColor(op.rgb);
                    break;
                case Op::Flush:
                    spy.Flush();
                    break;
            }
            EXPECT_EQ(spy.Text(), model) << c.what;  // what the link reads back is exact at once
        }
        spy.Flush();
        EXPECT_EQ(edit.toPlainText(), c.shown) << c.what;
        EXPECT_EQ(Colours(edit), c.colours) << c.what;
    }
}

TEST(CoalescedTrace, ABurstReachesTheWidgetAtMostTwiceAndCatchesUpWithinTheInterval) {
    QtEventPump pump;
    QTextEdit edit;
    QtRichTextControl spy(edit);
    // Each apply replaces the document's text or extends it, so the texts it passes through
    // (empty ones aside) count the applies.
    int applies = 0;
    QString last_shown;
    QObject::connect(edit.document(), &QTextDocument::contentsChanged, [&] {
        const QString now = edit.toPlainText();
        if (!now.isEmpty() && now != last_shown) {
            ++applies;
        }
        last_shown = now;
    });

    // A single change after a quiet spell shows at once, without any event processing.
    Age_Past_Interval(pump);
    spy.SetText("0xFE; 0x00; 0x01\r\n");
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("0xFE; 0x00; 0x01\n"));
    EXPECT_EQ(applies, 1);

    // 100 packets in well under 100 ms: the first may be applied at once, the rest together.
    Age_Past_Interval(pump);
    applies = 0;
    QElapsedTimer burst;
    burst.start();
    std::string last;
    for (int i = 0; i < 100; ++i) {
        last = "0xA1; 0x02; " + std::to_string(i) + "\r\n";
        spy.SetText(last);
    }
    ASSERT_LT(burst.elapsed(), CoalescedApply::kIntervalMs) << "too slow to be a burst";
    EXPECT_EQ(spy.Text(), last);
    EXPECT_LE(applies, 1);
    const QString shown = QString::fromStdString(last.substr(0, last.size() - 2)) + "\n";
    const qint64 caughtUp = Wait_Until(
        pump, [&] { return edit.toPlainText() == shown; }, CoalescedApply::kIntervalMs + kSlackMs);
    EXPECT_GE(caughtUp, 0) << "the widget never caught up";
    EXPECT_LE(applies, 2);

    // Flush shows the model now, and a flush with nothing pending changes nothing.
    spy.SetText("0x87; 0x00; 0x78\r\n");
    spy.Flush();
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("0x87; 0x00; 0x78\n"));
    applies = 0;
    spy.Flush();
    EXPECT_EQ(applies, 0);
}

TEST(CoalescedProgress, ValueAtOnceBarWithinTheIntervalOrOnFlushClamped) {
    QtEventPump pump;
    QProgressBar bar;
    bar.setRange(0, 512);
    QtProgressControl progress(bar);
    Age_Past_Interval(pump);
    progress.SetValue(7);
    EXPECT_EQ(bar.value(), 7);  // a single change shows at once
    for (int n = 8; n < 200; ++n) {
        progress.SetValue(n);
        EXPECT_EQ(progress.Value(), n);
    }
    EXPECT_LT(bar.value(), 199);
    EXPECT_GE(Wait_Until(
                  pump, [&] { return bar.value() == 199; }, CoalescedApply::kIntervalMs + kSlackMs),
              0);
    const std::pair<int, int> values[] = {{513, 512}, {-1, 0}, {511, 511}};  // set, shown
    for (const auto& [set, shown] : values) {
        progress.SetValue(set);
        EXPECT_EQ(progress.Value(), shown) << set;
        progress.Flush();
        EXPECT_EQ(bar.value(), shown) << set;
    }
}

TEST(CoalescedCounter, TextAtOnceBoxWithinTheIntervalOrOnFlush) {
    QtEventPump pump;
    QLineEdit box(QStringLiteral("0"));
    QtTextControl counter(box);
    EXPECT_EQ(counter.Text(), "0");  // the model starts from what the box shows
    Age_Past_Interval(pump);
    counter.SetText("1");
    EXPECT_EQ(box.text(), QStringLiteral("1"));
    for (int n = 2; n <= 300; ++n) {
        counter.SetText(std::to_string(n));
        EXPECT_EQ(counter.Text(), std::to_string(n));
    }
    EXPECT_NE(box.text(), QStringLiteral("300"));
    counter.Flush();
    EXPECT_EQ(box.text(), QStringLiteral("300"));
}

class Probe final : public QWidget {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

TEST(PacedPainting, NoPaintBeforeAPacketAtMostOnePerIntervalWhileWaitingNoneLost) {
    auto pump = std::make_unique<QtEventPump>();
    Probe probe;
    probe.resize(50, 20);
    probe.show();
    ASSERT_GE(Wait_Until(
                  *pump, [&] { return probe.paints > 0; }, 2000),
              0);
    Age_Past_Interval(*pump);

    // The yield before a packet paints nothing, however old the last paint is; the wait that
    // follows paints what it held within the interval.
    const int before = probe.paints;
    probe.update();
    pump->Yield(0);
    pump->Yield(0);
    EXPECT_EQ(probe.paints, before);
    const qint64 painted = Wait_Until(
        *pump, [&] { return probe.paints > before; }, CoalescedApply::kIntervalMs + kSlackMs);
    EXPECT_GE(painted, 0) << "the held paint was lost";

    // Half a second of exchanges, the window dirty in every pass: it paints about five times,
    // and only in the first pass of a wait, never in a later one (a reply may be arriving then).
    const int start = probe.paints;
    int passes = 0;
    int paintsInLaterPasses = 0;
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < 500) {
        probe.update();
        pump->Yield(0);   // before the packet
        pump->Yield(20);  // the wait's first pass, right after it
        for (std::uint32_t later = 2; later > 0; --later) {
            probe.update();
            const int before = probe.paints;
            pump->Yield(later);
            paintsInLaterPasses += probe.paints - before;
        }
        ++passes;
    }
    const int paints = probe.paints - start;
    EXPECT_GE(paints, 1);
    EXPECT_LE(paints, 500 / CoalescedApply::kIntervalMs + 2) << passes << " exchanges";
    EXPECT_GT(passes, 2 * paints);
    EXPECT_EQ(paintsInLaterPasses, 0);

    // A later pass of a wait does not paint even when the last paint is old; the next wait's
    // first pass does.
    pump->Yield(50);
    for (const std::uint32_t later : {49u, 40u, 30u, 20u, 10u}) {
        pump->Yield(later);  // nothing dirty: each sleeps its whole time, 150 ms in all
    }
    const int old = probe.paints;
    probe.update();
    pump->Yield(1);
    EXPECT_EQ(probe.paints, old);
    pump->Yield(20);
    EXPECT_GT(probe.paints, old);

    // Held when the run ends: the window's own event loop paints it within the interval.
    Age_Past_Interval(*pump);
    int held = probe.paints;
    probe.update();
    pump->Yield(0);
    EXPECT_EQ(probe.paints, held);
    wall.restart();
    while (probe.paints == held && wall.elapsed() < CoalescedApply::kIntervalMs + kSlackMs) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    EXPECT_GT(probe.paints, held);

    // Held when the pump goes away: the window still paints.
    held = probe.paints;
    probe.update();
    pump->Yield(0);
    EXPECT_EQ(probe.paints, held);
    pump.reset();
    wall.restart();
    while (probe.paints == held && wall.elapsed() < kSlackMs) {
        QCoreApplication::processEvents();
    }
    EXPECT_GT(probe.paints, held);
}

TEST(PacedPainting, ASilentSecondOfWaitingCostsUnderTwoPercentOfACore) {
    QtEventPump pump;
    Probe probe;
    probe.resize(50, 20);
    probe.show();
    for (int i = 0; i < 20; ++i) {
        pump.Yield(1);  // what earlier cases left queued
    }
    // A wait that begins with the window dirtied just after its first pass, as the trace and
    // counters are after a packet went out: the held paint wakes the wait once, not constantly.
    const double cpuBefore = Process_Cpu_Ms();
    const int paintsBefore = probe.paints;
    QElapsedTimer wall;
    wall.start();
    int passes = 0;
    QTimer::singleShot(5, &probe, [&probe] { probe.update(); });
    while (wall.elapsed() < 1000) {
        pump.Yield(static_cast<std::uint32_t>(1000 - wall.elapsed()));
        ++passes;
    }
    const double cpu = Process_Cpu_Ms() - cpuBefore;
    EXPECT_LT(cpu, 20.0) << passes << " passes";
    EXPECT_LT(passes, 10);
    EXPECT_GT(probe.paints, paintsBefore);  // the held paint still came, once the wait was quiet
    EXPECT_LT(wall.elapsed(), 1000 + kSlackMs);
}

}  // namespace
}  // namespace lcdprog::platform
