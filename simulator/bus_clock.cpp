#include "simulator/bus_clock.h"

#include <algorithm>

namespace fwu::simulator {

namespace {

// Real waits end on a grid of this step from the clock's start, so that threads whose deadlines
// lie close together wake on one timer rather than one each: with 64 threads at 1 ms per
// transfer that saves about a third of the CPU time their waits cost. Ending on the grid is
// lateness like any other, repaid from the next wait.
constexpr std::chrono::microseconds WakeGrid{250};

std::chrono::steady_clock::time_point onWakeGrid(std::chrono::steady_clock::time_point start,
                                                 std::chrono::steady_clock::time_point deadline) {
    const auto steps = (deadline - start + WakeGrid - std::chrono::nanoseconds(1)) / WakeGrid;
    return start + steps * WakeGrid;
}

// The lateness a thread owes to its next real waits, and the clock it owes it to: without a
// lock, as each thread has its own.
struct Lateness {
    const BusClock* clock = nullptr;
    std::chrono::steady_clock::duration owed{0};
};
thread_local Lateness threadLateness;

}  // namespace

BusClock::BusClock(bool realTime) : realTime_(realTime), start_(std::chrono::steady_clock::now()) {}

std::chrono::microseconds& BusClock::threadTime() const {
    return threads_.try_emplace(std::this_thread::get_id(), latest_).first->second;
}

std::chrono::microseconds BusClock::now() const {
    if (realTime_) {
        return std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start_);
    }
    const std::lock_guard lock(mutex_);
    return threadTime();
}

std::chrono::microseconds BusClock::latest() const {
    if (realTime_)
        return now();
    const std::lock_guard lock(mutex_);
    return latest_;
}

void BusClock::advance(std::chrono::microseconds duration) {
    if (duration <= std::chrono::microseconds{0})
        return;
    if (realTime_) {
        wait(duration);
        return;
    }
    const std::lock_guard lock(mutex_);
    std::chrono::microseconds& now = threadTime();
    now += duration;
    latest_ = std::max(latest_, now);
}

void BusClock::wait(std::chrono::steady_clock::duration wanted) const {
    Lateness& lateness = threadLateness;
    if (lateness.clock != this)
        lateness = Lateness{this, {}};
    const auto repaid = std::min(lateness.owed, wanted);
    lateness.owed -= repaid;
    if (repaid == wanted)
        return;
    const auto deadline = std::chrono::steady_clock::now() + (wanted - repaid);
    std::this_thread::sleep_until(onWakeGrid(start_, deadline));
    lateness.owed += std::chrono::steady_clock::now() - deadline;
}

void BusClock::catchUp() {
    if (realTime_)
        return;
    const std::lock_guard lock(mutex_);
    threadTime() = latest_;
}

std::chrono::steady_clock::time_point BusClock::steadyTimeAt(std::chrono::microseconds time) const {
    return start_ + time;
}

}  // namespace fwu::simulator
