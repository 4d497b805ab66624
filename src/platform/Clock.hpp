#pragma once
// The time seam: wall clock, monotonic clock and sleeps. The firmware uses the real clock; tests
// inject a fake one so that waits are instant and times are chosen.

#include <chrono>
#include <cstdint>
#include <ctime>

namespace kkt {

class Clock {
  public:
    using Monotonic = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    // Wall-clock time in seconds since the epoch.
    virtual std::time_t now() = 0;
    virtual Monotonic monotonic() = 0;
    virtual void sleepFor(std::chrono::milliseconds d) = 0;
};

class RealClock final : public Clock {
  public:
    std::time_t now() override;
    Monotonic monotonic() override;
    void sleepFor(std::chrono::milliseconds d) override;
};

// The process-wide real clock.
Clock& realClock();

}  // namespace kkt
