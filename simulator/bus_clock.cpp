#include "simulator/bus_clock.h"

#include <algorithm>

namespace fwu::simulator {

BusClock::BusClock(bool realTime) : realTime_(realTime), start_(std::chrono::steady_clock::now()) {}

BusClock::ThreadTime& BusClock::threadTime() const {
    const auto [entry, added] =
        threads_.try_emplace(std::this_thread::get_id(), ThreadTime{latest_, {}});
    return entry->second;
}

std::chrono::microseconds BusClock::now() const {
    if (realTime_) {
        return std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start_);
    }
    const std::lock_guard lock(mutex_);
    return threadTime().now;
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
    std::unique_lock lock(mutex_);
    ThreadTime& thread = threadTime();
    if (!realTime_) {
        thread.now += duration;
        latest_ = std::max(latest_, thread.now);
        return;
    }
    const std::chrono::steady_clock::duration wanted = duration;
    const auto repaid = std::min(thread.lateness, wanted);
    thread.lateness -= repaid;
    lock.unlock();
    const auto deadline = std::chrono::steady_clock::now() + (wanted - repaid);
    std::this_thread::sleep_until(deadline);
    const auto late = std::chrono::steady_clock::now() - deadline;
    lock.lock();
    thread.lateness += late;  // the entry stays where it is: map nodes never move
}

void BusClock::catchUp() {
    if (realTime_)
        return;
    const std::lock_guard lock(mutex_);
    threadTime().now = latest_;
}

std::chrono::steady_clock::time_point BusClock::steadyTimeAt(std::chrono::microseconds time) const {
    return start_ + time;
}

}  // namespace fwu::simulator
