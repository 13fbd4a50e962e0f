#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/clock.h"
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
    // The paint pacing is timed on `clock` (a test's virtual clock makes it exact), or on the
    // steady clock.
    explicit QtEventPump(Clock* clock = nullptr);
    ~QtEventPump() override;
    QtEventPump(const QtEventPump&) = delete;
    QtEventPump& operator=(const QtEventPump&) = delete;

    void Yield(std::uint32_t maxWaitMs) override;

    static constexpr int kPaintIntervalMs = 100;
    static constexpr int kQuietAfterMs = 50;

  private:
    // An application event filter on QEvent::UpdateRequest, the event that makes a top-level
    // window paint what is dirty. A run sends a packet about 190 times a second, and each one
    // dirtied the trace, the counters and the bar: painting the window in every wait cost about
    // 2.6 ms of CPU per packet, and a paint that was under way when a reply arrived delayed the
    // next packet by as much, while the operator cannot see more than about ten frames a second.
    // So inside a yield a window paints only in the first pass of a wait, right after a packet
    // went out (the module cannot have answered yet: it writes its page first), and only when
    // the last paint is at least kPaintIntervalMs old. Anything else is held; held requests are
    // delivered at the next such pass, or by a timer once no wait is running or the wait has
    // gone on for kQuietAfterMs (a module answers well within that, so a paint then delays no
    // reply, and a silent module still sees the window refreshed). Nothing held is lost: Qt posts
    // no further UpdateRequest for a window until the held one is delivered.
    class PaintPacer final : public QObject {
      public:
        explicit PaintPacer(Clock& clock);
        ~PaintPacer() override;
        bool eventFilter(QObject* target, QEvent* event) override;

        // A wait has just begun: deliver what is held if the last paint is old enough.
        void Release_If_Due();
        // At the end of the outermost yield: have the timer deliver what is still held.
        void Arm();

        int waits = 0;         // yields running that may wait
        int holds = 0;         // yields running that must not paint
        bool opening = false;  // the running yield is the first pass of a wait

      private:
        void Release();
        qint64 Since_Last_Paint() const;
        bool Quiet() const;

        Clock& clock_;
        std::optional<std::uint32_t> lastPaint_;
        std::optional<std::uint32_t> opened_;  // the first pass of the current wait
        QTimer release_;
        std::vector<QPointer<QObject>> held_;
        bool releasing_ = false;
    };

    SteadyClock steady_;
    QTimer wake_;
    PaintPacer pacer_;
    // The previous yield's wait: a longer one than that starts a new wait (the link's waits
    // count down from their deadline).
    std::uint32_t lastWaitMs_ = 0;
};

}  // namespace lcdprog::platform
