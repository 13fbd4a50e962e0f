#include "platform/qt/qt_event_pump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <algorithm>
#include <limits>

namespace lcdprog::platform {
namespace {

// Counts a running yield for as long as it lasts (yields may nest: a handler run inside one can
// yield again).
class Depth {
  public:
    explicit Depth(int& depth) : depth_(depth) { ++depth_; }
    ~Depth() { --depth_; }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;

  private:
    int& depth_;
};

}  // namespace

QtEventPump::PaintPacer::PaintPacer() {
    release_.setSingleShot(true);
    connect(&release_, &QTimer::timeout, this, [this] { Release(); });
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
    }
}

QtEventPump::PaintPacer::~PaintPacer() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
        // Whatever is still held goes back to the queue, so those windows paint again.
        for (const QPointer<QObject>& target : held_) {
            if (target) {
                QCoreApplication::postEvent(target, new QEvent(QEvent::UpdateRequest),
                                            Qt::LowEventPriority);
            }
        }
    }
}

bool QtEventPump::PaintPacer::eventFilter(QObject* target, QEvent* event) {
    if (event->type() != QEvent::UpdateRequest || releasing_) {
        return false;
    }
    const qint64 since = lastPaint_.isValid() ? lastPaint_.elapsed() : kPaintIntervalMs;
    if (holds == 0 && (waits == 0 || since >= kPaintIntervalMs)) {
        lastPaint_.start();
        return false;
    }
    if (std::find(held_.begin(), held_.end(), target) == held_.end()) {
        held_.emplace_back(target);
    }
    if (!release_.isActive()) {
        release_.start(static_cast<int>(std::max<qint64>(1, kPaintIntervalMs - since)));
    }
    return true;
}

void QtEventPump::PaintPacer::Release() {
    lastPaint_.start();
    std::vector<QPointer<QObject>> held;
    held.swap(held_);
    releasing_ = true;
    for (const QPointer<QObject>& target : held) {
        if (target) {
            QEvent update(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(target, &update);
        }
    }
    releasing_ = false;
}

QtEventPump::QtEventPump() {
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
}

QtEventPump::~QtEventPump() = default;

void QtEventPump::Yield(std::uint32_t maxWaitMs) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (maxWaitMs == 0) {
        // The yield before a block goes out: received bytes and clicks are handled, but nothing
        // is painted and no timer runs (one might apply the trace or release a held paint), so
        // the packet leaves first and a later wait paints.
        const Depth hold(pacer_.holds);
        QCoreApplication::sendPostedEvents();
        if (dispatcher != nullptr) {
            dispatcher->processEvents(QEventLoop::X11ExcludeTimers);
        }
        return;
    }
    const Depth wait(pacer_.waits);
    QCoreApplication::sendPostedEvents();
    if (dispatcher == nullptr) {
        return;
    }
    if (dispatcher->processEvents(QEventLoop::AllEvents)) {
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
