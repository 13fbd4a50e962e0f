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

QtEventPump::PaintPacer::PaintPacer(Clock& clock) : clock_(clock) {
    release_.setSingleShot(true);
    // The timer is due when the interval is over; a timer that fires early (a coarse one may)
    // waits again rather than paint too soon.
    connect(&release_, &QTimer::timeout, this, [this] {
        if (Since_Last_Paint() >= kPaintIntervalMs && (waits == 0 || opening || Quiet())) {
            Release();
        } else {
            Arm();
        }
    });
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

qint64 QtEventPump::PaintPacer::Since_Last_Paint() const {
    return lastPaint_ ? qint64{clock_.Milliseconds() - *lastPaint_} : kPaintIntervalMs;
}

bool QtEventPump::PaintPacer::eventFilter(QObject* target, QEvent* event) {
    if (event->type() != QEvent::UpdateRequest || releasing_) {
        return false;
    }
    if (holds == 0 && (waits == 0 || (opening && Since_Last_Paint() >= kPaintIntervalMs))) {
        lastPaint_ = clock_.Milliseconds();
        return false;
    }
    if (std::find(held_.begin(), held_.end(), target) == held_.end()) {
        held_.emplace_back(target);
    }
    return true;
}

bool QtEventPump::PaintPacer::Quiet() const {
    return !opened_ || qint64{clock_.Milliseconds() - *opened_} >= kQuietAfterMs;
}

void QtEventPump::PaintPacer::Release_If_Due() {
    opened_ = clock_.Milliseconds();
    if (!held_.empty() && Since_Last_Paint() >= kPaintIntervalMs) {
        Release();
    }
}

void QtEventPump::PaintPacer::Arm() {
    if (held_.empty() || release_.isActive()) {
        return;
    }
    // Not before the interval is over, and inside a wait not before it has gone quiet: so the
    // timer wakes a silent wait once to paint, never every millisecond.
    qint64 delay = kPaintIntervalMs - Since_Last_Paint();
    if (waits > 0 && opened_) {
        delay = std::max(delay, kQuietAfterMs - qint64{clock_.Milliseconds() - *opened_});
    }
    release_.start(static_cast<int>(std::clamp<qint64>(delay, 1, kPaintIntervalMs)));
}

void QtEventPump::PaintPacer::Release() {
    lastPaint_ = clock_.Milliseconds();
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

QtEventPump::QtEventPump(Clock* clock) : pacer_(clock != nullptr ? *clock : steady_) {
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
}

QtEventPump::~QtEventPump() = default;

void QtEventPump::Yield(std::uint32_t maxWaitMs) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    const bool opening = maxWaitMs > lastWaitMs_;
    lastWaitMs_ = maxWaitMs;
    if (maxWaitMs == 0) {
        // The yield before a block goes out: received bytes and clicks are handled, but nothing
        // is painted and no timer runs (one might apply the trace or release a held paint), so
        // the packet leaves first.
        {
            const Depth hold(pacer_.holds);
            QCoreApplication::sendPostedEvents();
            if (dispatcher != nullptr) {
                dispatcher->processEvents(QEventLoop::X11ExcludeTimers);
            }
        }
        if (pacer_.waits == 0) {
            pacer_.Arm();
        }
        return;
    }
    const Depth wait(pacer_.waits);
    const bool outerOpening = pacer_.opening;
    pacer_.opening = opening;
    if (opening) {
        pacer_.Release_If_Due();
    }
    QCoreApplication::sendPostedEvents();
    if (dispatcher != nullptr && !dispatcher->processEvents(QEventLoop::AllEvents)) {
        // The timer's only job is to end the sleep: its expiry is itself an event.
        const auto ms =
            static_cast<int>(std::min<std::uint32_t>(maxWaitMs, std::numeric_limits<int>::max()));
        wake_.start(ms);
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        wake_.stop();
    }
    pacer_.opening = outerOpening;
    if (pacer_.waits == 1) {
        pacer_.Arm();
    }
}

}  // namespace lcdprog::platform
