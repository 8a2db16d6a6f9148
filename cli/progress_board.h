#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "cli/progress_display.h"

namespace fwu::cli {

// The progress of several devices on a terminal, one line each: the device's name (its serial
// number), a bar, the percentage, the throughput and the time left. The lines are redrawn in
// place, at most every tenth of a second, from whichever worker reports; each worker reports
// through its own row.
class ProgressBoard {
  public:
    ProgressBoard(std::ostream& out, const std::vector<std::string>& names,
                  ProgressClock clock = std::chrono::steady_clock::now);
    ~ProgressBoard();
    ProgressBoard(const ProgressBoard&) = delete;
    ProgressBoard& operator=(const ProgressBoard&) = delete;

    ProgressView& row(std::size_t index);
    // Draws the final state; the lines stay on the screen above what follows.
    void close();

  private:
    class Row;

    // Called with the lock held after a row changed: redraws when a redraw is due or forced.
    void changed(bool force);
    void draw();

    std::ostream& out_;
    ProgressClock clock_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Row>> rows_;
    std::chrono::steady_clock::time_point lastDraw_;
    bool drawn_ = false;
    bool closed_ = false;
};

}  // namespace fwu::cli
