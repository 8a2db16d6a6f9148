#pragma once

#include <chrono>
#include <optional>

namespace fwu::window {

class WindowView;

// The passes over the window's pending events that a running operation asks for.
//
// An operation asks for a pass after every report it sends, and the flash dump 33 times per
// block read. One pass through a toolkit's event dispatcher costs more than a microsecond even
// with nothing to do (on X11 Qt polls the display connection and the posted-event queue), which
// is as much as the host may spend per report in all, and 33 of them per block are more than
// the dump's whole budget. A person cannot tell a window that answers within a few
// milliseconds from one that answers at once (a 60 Hz screen shows a new frame every 16.7 ms),
// so a pass runs only when `interval` has gone by since the last one; asking in between costs
// one read of the monotonic clock. The first request of every operation passes at once.
class EventPacer {
  public:
    using Clock = std::chrono::steady_clock;

    EventPacer(WindowView& view, std::chrono::milliseconds interval)
        : view_(view), interval_(interval) {}

    // The next request passes at once.
    void restart() { lastPass_.reset(); }
    // Processes the pending events when the interval has gone by since the last pass.
    void request();

  private:
    WindowView& view_;
    std::chrono::milliseconds interval_;
    std::optional<Clock::time_point> lastPass_;
};

}  // namespace fwu::window
