#include "platform/qt/qt_event_pump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <limits>

namespace lcdprog::platform {

QtEventPump::QtEventPump() {
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
}

void QtEventPump::Yield(std::uint32_t maxWaitMs) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    QCoreApplication::sendPostedEvents();
    if (dispatcher == nullptr) {
        return;
    }
    const bool processed = dispatcher->processEvents(QEventLoop::AllEvents);
    if (processed || maxWaitMs == 0) {
        return;
    }
    // The timer's only job is to end the sleep: its expiry is itself an event.
    const auto ms =
        static_cast<int>(std::min<std::uint32_t>(maxWaitMs, std::numeric_limits<int>::max()));
    wake_.start(ms);
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake_.stop();
}

}  // namespace lcdprog::platform
