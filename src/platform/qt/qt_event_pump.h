#pragma once

#include <QTimer>

#include "platform/event_pump.h"

namespace lcdprog::platform {

// The yield of the link's wait loops: runs whatever is pending and, when nothing was, sleeps in
// the event dispatcher until the next event or the deadline. QCoreApplication::processEvents
// with a time limit ignores WaitForMoreEvents and spins, so the deadline is a timer instead.
class QtEventPump final : public EventPump {
  public:
    QtEventPump();
    void Yield(std::uint32_t maxWaitMs) override;

  private:
    QTimer wake_;
};

}  // namespace lcdprog::platform
