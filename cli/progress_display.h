#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace fwu::cli {

// Where an operation's progress shows: a display of its own, or one row of a board.
class ProgressView {
  public:
    virtual ~ProgressView() = default;

    // Starts a new display; `totalBytes` is what the whole operation moves (0 when unknown).
    virtual void start(const std::string& label, std::uint64_t totalBytes) = 0;
    virtual void advance(std::int64_t done, std::int64_t total) = 0;
    // Ends the display; on a terminal the last state stays on its own line.
    virtual void finish() = 0;
    // A step without progress figures, such as a wait for the device.
    virtual void note(const std::string& text) = 0;
};

using ProgressClock = std::function<std::chrono::steady_clock::time_point()>;

// The figures of a progress display at one moment.
struct ProgressFigures {
    double fraction = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t totalBytes = 0;
    std::chrono::duration<double> elapsed{0};
};

// "[#####-------------------]".
std::string progressBar(double fraction);
// "25%".
std::string percentText(double fraction);
// "  512 B/s  0:06 left" once the operation has run long enough to tell; otherwise empty.
std::string rateText(const ProgressFigures& figures);

// Renders an operation's progress on a stream (standard error). On a terminal it is one line
// that redraws itself: a bar, the percentage, bytes done, throughput and time left. Elsewhere
// (a log file, a pipe) it writes one line each time another tenth of the work is done.
class ProgressDisplay : public ProgressView {
  public:
    using Clock = ProgressClock;

    ProgressDisplay(std::ostream& out, bool terminal, Clock clock = std::chrono::steady_clock::now);

    void start(const std::string& label, std::uint64_t totalBytes) override;
    void advance(std::int64_t done, std::int64_t total) override;
    void finish() override;
    void note(const std::string& text) override;

  private:
    ProgressFigures figures(std::int64_t done, std::int64_t total) const;
    void drawTerminalLine(const ProgressFigures& figures);
    void writeTenthLine(const ProgressFigures& figures);

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
    ProgressFigures last_;
};

// The figures of `done` out of `total` steps of an operation that moves `totalBytes`.
ProgressFigures progressFigures(std::int64_t done, std::int64_t total, std::uint64_t totalBytes,
                                std::chrono::duration<double> elapsed);

// "512 B", "40.0 KiB", "1.0 MiB".
std::string byteText(double bytes);
// "0:07", "12:34", "1:02:03".
std::string durationText(std::chrono::seconds duration);

}  // namespace fwu::cli
