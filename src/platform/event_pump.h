#pragma once

#include <cstdint>

namespace lcdprog::platform {

// Lets the window system run: every pending event is processed (received bytes, button clicks,
// painting). If nothing was pending and maxWaitMs > 0, it sleeps until the next event arrives or
// maxWaitMs have passed, whichever comes first, so a waiting caller never spins.
class EventPump {
  public:
    virtual ~EventPump() = default;
    virtual void Yield(std::uint32_t maxWaitMs) = 0;
};

}  // namespace lcdprog::platform
