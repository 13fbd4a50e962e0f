#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <vector>

#include "platform/event_pump.h"

namespace lcdprog::platform {

// The yield of the link's wait loops: runs whatever is pending and, when nothing was, sleeps in
// the event dispatcher until the next event or the deadline. QCoreApplication::processEvents
// with a time limit ignores WaitForMoreEvents and spins, so the deadline is a timer instead.
//
// While a yield runs, windows are painted at most every 100 ms, and not at all in a yield that
// does not wait (the one before each block goes out): see PaintPacer.
class QtEventPump final : public EventPump {
  public:
    QtEventPump();
    ~QtEventPump() override;
    QtEventPump(const QtEventPump&) = delete;
    QtEventPump& operator=(const QtEventPump&) = delete;

    void Yield(std::uint32_t maxWaitMs) override;

    static constexpr int kPaintIntervalMs = 100;

  private:
    // An application event filter on QEvent::UpdateRequest, the event that makes a top-level
    // window paint what is dirty. A run sends a packet about 190 times a second, and each one
    // dirtied the trace, the counters and the bar: painting the window in every wait cost about
    // 2.6 ms of CPU per packet, and painting it in the yield before a block delayed that block,
    // while the operator cannot see more than about ten frames a second. Inside a yield an
    // UpdateRequest passes when the last paint is at least kPaintIntervalMs old; otherwise, and
    // always in a yield that does not wait, it is held and a timer delivers it later (timers do
    // not run in a yield that does not wait, so that is in a later wait, after the packet went
    // out, or in the window's own event loop). Nothing held is lost: Qt posts no further
    // UpdateRequest for a window until the held one is delivered, so it must be.
    class PaintPacer final : public QObject {
      public:
        PaintPacer();
        ~PaintPacer() override;
        bool eventFilter(QObject* target, QEvent* event) override;

        int waits = 0;  // yields running that may wait
        int holds = 0;  // yields running that must not paint

      private:
        void Release();

        QElapsedTimer lastPaint_;
        QTimer release_;
        std::vector<QPointer<QObject>> held_;
        bool releasing_ = false;
    };

    QTimer wake_;
    PaintPacer pacer_;
};

}  // namespace lcdprog::platform
