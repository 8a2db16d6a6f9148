#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace fwu::cli {

// Renders an operation's progress on a stream (standard error). On a terminal it is one line
// that redraws itself: a bar, the percentage, bytes done, throughput and time left. Elsewhere
// (a log file, a pipe) it writes one line each time another tenth of the work is done.
class ProgressDisplay {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    ProgressDisplay(std::ostream& out, bool terminal, Clock clock = std::chrono::steady_clock::now);

    // Starts a new display; `totalBytes` is what the whole operation moves (0 when unknown).
    void start(const std::string& label, std::uint64_t totalBytes);
    void advance(std::int64_t done, std::int64_t total);
    // Ends the display; on a terminal the last state stays on its own line.
    void finish();

  private:
    struct Figures {
        double fraction = 0;
        std::uint64_t bytesDone = 0;
        std::chrono::duration<double> elapsed{0};
    };

    Figures figures(std::int64_t done, std::int64_t total) const;
    void drawTerminalLine(const Figures& figures);
    void writeTenthLine(const Figures& figures);

    std::ostream& out_;
    bool terminal_;
    Clock clock_;
    std::string label_;
    std::uint64_t totalBytes_ = 0;
    std::chrono::steady_clock::time_point startTime_;
    std::chrono::steady_clock::time_point lastDraw_;
    bool active_ = false;
    bool drawn_ = false;
    double drawnFraction_ = 0;
    std::size_t lastLineLength_ = 0;
    int tenthsWritten_ = 0;
    Figures last_;
};

// "512 B", "40.0 KiB", "1.0 MiB".
std::string byteText(double bytes);
// "0:07", "12:34", "1:02:03".
std::string durationText(std::chrono::seconds duration);

}  // namespace fwu::cli
