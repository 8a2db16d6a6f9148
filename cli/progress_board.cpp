#include "cli/progress_board.h"

#include <algorithm>

namespace fwu::cli {

namespace {

constexpr auto RedrawInterval = std::chrono::milliseconds(100);
constexpr std::size_t NameWidth = 16;
// A line longer than the terminal would wrap and break the redraw in place.
constexpr std::size_t LineWidth = 79;
constexpr const char* ControlSequence = "\x1b[";
constexpr const char* ClearToEndOfLine = "\x1b[K";

std::string fitted(std::string text, std::size_t width) {
    if (text.size() > width)
        text.resize(width);
    return text;
}

}  // namespace

class ProgressBoard::Row : public ProgressView {
  public:
    Row(ProgressBoard& board, std::string name) : board_(board), name_(std::move(name)) {}

    void start(const std::string& label, std::uint64_t totalBytes) override {
        const std::lock_guard lock(board_.mutex_);
        label_ = label;
        figures_ = progressFigures(0, 0, totalBytes, {});
        started_ = board_.clock_();
        status_.clear();
        board_.changed(true);
    }

    void advance(std::int64_t done, std::int64_t total) override {
        const std::lock_guard lock(board_.mutex_);
        figures_ = progressFigures(done, total, figures_.totalBytes, board_.clock_() - started_);
        board_.changed(figures_.fraction >= 1.0);
    }

    void finish() override {}

    void note(const std::string& text) override {
        const std::lock_guard lock(board_.mutex_);
        status_ = text;
        board_.changed(true);
    }

    // Called with the lock held.
    std::string text() const {
        std::string line = fitted(name_, NameWidth);
        line.resize(NameWidth, ' ');
        line += ' ';
        if (label_.empty()) {
            line += status_.empty() ? "waiting" : status_;
        } else {
            line += label_ + " " + progressBar(figures_.fraction) + " " +
                    percentText(figures_.fraction);
            line += status_.empty() ? rateText(figures_) : "  " + status_;
        }
        return fitted(line, LineWidth);
    }

  private:
    ProgressBoard& board_;
    std::string name_;
    std::string label_;
    std::string status_;
    ProgressFigures figures_;
    std::chrono::steady_clock::time_point started_;
};

ProgressBoard::ProgressBoard(std::ostream& out, const std::vector<std::string>& names,
                             ProgressClock clock)
    : out_(out), clock_(std::move(clock)) {
    for (const std::string& name : names)
        rows_.push_back(std::make_unique<Row>(*this, name));
    const std::lock_guard lock(mutex_);
    changed(true);
}

ProgressBoard::~ProgressBoard() {
    close();
}

ProgressView& ProgressBoard::row(std::size_t index) {
    return *rows_.at(index);
}

void ProgressBoard::close() {
    const std::lock_guard lock(mutex_);
    if (closed_)
        return;
    draw();
    closed_ = true;
}

void ProgressBoard::changed(bool force) {
    if (closed_)
        return;
    const auto now = clock_();
    if (force || !drawn_ || now - lastDraw_ >= RedrawInterval) {
        draw();
        lastDraw_ = now;
    }
}

void ProgressBoard::draw() {
    std::string screen;
    if (drawn_)
        screen += ControlSequence + std::to_string(rows_.size()) + "A";
    for (const auto& row : rows_)
        screen += "\r" + row->text() + ClearToEndOfLine + "\n";
    out_ << screen << std::flush;
    drawn_ = true;
}

}  // namespace fwu::cli
