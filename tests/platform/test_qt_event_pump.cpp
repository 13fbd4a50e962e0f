#include <time.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include "platform/qt/qt_event_pump.h"

namespace lcdprog::platform {
namespace {

double Process_Cpu_Ms() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Drains whatever an earlier test left queued, so that the next Yield starts from an idle loop.
void Drain() {
    QtEventPump pump;
    for (int i = 0; i < 50; ++i) {
        pump.Yield(0);
    }
}

TEST(QtEventPump, RunsPendingEventsAndReturnsAtOnce) {
    Drain();
    QtEventPump pump;
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
}

TEST(QtEventPump, SleepsUntilTheDeadlineWhenNothingHappens) {
    Drain();
    QtEventPump pump;
    const double cpuBefore = Process_Cpu_Ms();
    QElapsedTimer wall;
    wall.start();
    // A caller waiting 200 ms yields in a loop, as the exchange does.
    while (wall.elapsed() < 200) {
        pump.Yield(static_cast<std::uint32_t>(200 - wall.elapsed()));
    }
    const double cpu = Process_Cpu_Ms() - cpuBefore;
    EXPECT_LT(cpu, 50.0) << cpu << " ms of CPU while waiting 200 ms";
    EXPECT_LT(wall.elapsed(), 400);
}

TEST(QtEventPump, WakesEarlyWhenAnEventArrives) {
    Drain();
    QtEventPump pump;
    bool fired = false;
    QTimer::singleShot(30, [&] { fired = true; });
    QElapsedTimer wall;
    wall.start();
    while (!fired && wall.elapsed() < 2000) {
        pump.Yield(2000);
    }
    EXPECT_TRUE(fired);
    EXPECT_LT(wall.elapsed(), 1000);
}

TEST(QtEventPump, ZeroWaitNeverSleeps) {
    Drain();
    QtEventPump pump;
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < 100; ++i) {
        pump.Yield(0);
    }
    EXPECT_LT(wall.elapsed(), 100);
}

}  // namespace
}  // namespace lcdprog::platform
