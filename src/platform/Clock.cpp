#include "platform/Clock.hpp"

#include <thread>

namespace kkt {

std::time_t RealClock::now() {
    return std::time(nullptr);
}

Clock::Monotonic RealClock::monotonic() {
    return std::chrono::steady_clock::now();
}

void RealClock::sleepFor(std::chrono::milliseconds d) {
    std::this_thread::sleep_for(d);
}

Clock& realClock() {
    static RealClock clock;
    return clock;
}

}  // namespace kkt
