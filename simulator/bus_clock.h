#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace fwu::simulator {

// The simulated bus's time. A virtual clock moves only when told to; a real one follows the
// steady clock and makes advance() take the time it names, asleep, so that a hundred threads
// waiting out their transfers keep no core busy. A sleep may end late (the timer's slack, a late
// wake, preemption): the lateness shortens the same thread's next wait by as much, or takes the
// place of the next waits altogether, so that a long run of transfers takes their total latency
// plus the caller's own time, not plus the scheduler's, and each transfer takes its latency on
// average. A thread that moves to another real clock leaves what it owed behind.
//
// Several threads may use the clock at once. A virtual clock keeps a time for each thread, as
// if the threads ran side by side: a thread's sleeps and transfers advance its own time only,
// so that eight workers at 1 ms per transfer each see their transfers take 1 ms, as they would
// on eight real devices. A thread starts at the clock's latest time, the furthest any thread
// has reached, which the bus's scheduled events follow. A real clock has one time for all.
class BusClock {
  public:
    explicit BusClock(bool realTime);

    bool isReal() const { return realTime_; }
    // The calling thread's time since the clock was made.
    std::chrono::microseconds now() const;
    // The furthest time any thread has reached: the present, for the bus's scheduled events.
    std::chrono::microseconds latest() const;
    // Moves the calling thread's time on by `duration`; a real clock waits that long, holding
    // no lock meanwhile. Negative durations are taken as zero.
    void advance(std::chrono::microseconds duration);
    // Brings the calling thread's time up to the latest time (a thread that has waited for
    // others has lived through their time).
    void catchUp();
    // The steady-clock time at which a real clock reads `time`.
    std::chrono::steady_clock::time_point steadyTimeAt(std::chrono::microseconds time) const;

  private:
    void wait(std::chrono::steady_clock::duration wanted) const;  // on a real clock
    std::chrono::microseconds& threadTime() const;  // on a virtual clock; with mutex_ held

    bool realTime_;
    std::chrono::steady_clock::time_point start_;
    mutable std::mutex mutex_;  // guards the two members below
    mutable std::map<std::thread::id, std::chrono::microseconds> threads_;
    std::chrono::microseconds latest_{0};
};

}  // namespace fwu::simulator
