#pragma once

#include <chrono>

namespace fwu::platform::simulated {

// The simulated bus's time. A virtual clock moves only when told to; a real one follows the
// steady clock and makes advance() take the time it names. A real wait that ends late (the
// thread was woken late or preempted) shortens the next wait by as much, so that a long run of
// transfers takes their total latency plus the caller's own time, not plus the scheduler's.
class BusClock {
  public:
    explicit BusClock(bool realTime);

    // Time since the clock was made.
    std::chrono::microseconds now() const;
    // Moves the clock on by `duration`; a real clock waits that long. Negative durations are
    // taken as zero.
    void advance(std::chrono::microseconds duration);

  private:
    bool realTime_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::microseconds virtualNow_{0};
    std::chrono::steady_clock::duration lateness_{0};  // owed to the next real wait
};

// Waits until `deadline`, to within a few microseconds: sleeps while the deadline is far and
// spins for the last stretch, because a sleep can overshoot by tens of microseconds, which
// would add up over thousands of 1 ms transfers.
void waitPreciselyUntil(std::chrono::steady_clock::time_point deadline);

}  // namespace fwu::platform::simulated
