#pragma once

#include <cstdint>

namespace lcdprog::platform {

// A millisecond clock that wraps at 2^32, like the multimedia timer the protocol was designed
// around. Elapsed times are always computed as the unsigned difference of two readings.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::uint32_t Milliseconds() = 0;
};

// std::chrono::steady_clock, truncated to 32 bits.
class SteadyClock final : public Clock {
  public:
    std::uint32_t Milliseconds() override;
};

}  // namespace lcdprog::platform
