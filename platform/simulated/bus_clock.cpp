#include "platform/simulated/bus_clock.h"

#include <algorithm>
#include <thread>

namespace fwu::platform::simulated {

namespace {

// Left to spinning before a deadline: more than the usual overshoot of a short sleep.
constexpr std::chrono::microseconds SpinMargin{150};

}  // namespace

BusClock::BusClock(bool realTime) : realTime_(realTime), start_(std::chrono::steady_clock::now()) {}

std::chrono::microseconds BusClock::now() const {
    if (!realTime_)
        return virtualNow_;
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start_);
}

void BusClock::advance(std::chrono::microseconds duration) {
    if (duration <= std::chrono::microseconds{0})
        return;
    if (!realTime_) {
        virtualNow_ += duration;
        return;
    }
    const std::chrono::steady_clock::duration wanted = duration;
    const auto repaid = std::min(lateness_, wanted);
    lateness_ -= repaid;
    const auto deadline = std::chrono::steady_clock::now() + (wanted - repaid);
    waitPreciselyUntil(deadline);
    lateness_ += std::chrono::steady_clock::now() - deadline;
}

void waitPreciselyUntil(std::chrono::steady_clock::time_point deadline) {
    const auto sleepUntil = deadline - SpinMargin;
    if (std::chrono::steady_clock::now() < sleepUntil)
        std::this_thread::sleep_until(sleepUntil);
    while (std::chrono::steady_clock::now() < deadline) {
    }
}

}  // namespace fwu::platform::simulated
