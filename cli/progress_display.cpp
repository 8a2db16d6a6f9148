#include "cli/progress_display.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace fwu::cli {

namespace {

constexpr std::size_t BarWidth = 24;
constexpr int Tenths = 10;
constexpr auto RedrawInterval = std::chrono::milliseconds(100);
// Throughput and time left are shown once the operation has run this long.
constexpr std::chrono::duration<double> SteadyAfter = std::chrono::milliseconds(200);

}  // namespace

std::string percentText(double fraction) {
    return std::to_string(static_cast<int>(std::floor(fraction * 100))) + "%";
}

std::string progressBar(double fraction) {
    const auto filled = static_cast<std::size_t>(std::floor(fraction * BarWidth));
    return "[" + std::string(filled, '#') + std::string(BarWidth - filled, '-') + "]";
}

std::string rateText(const ProgressFigures& figures) {
    if (figures.totalBytes == 0 || figures.elapsed < SteadyAfter || figures.bytesDone == 0)
        return {};
    const double rate = static_cast<double>(figures.bytesDone) / figures.elapsed.count();
    const double left = static_cast<double>(figures.totalBytes - figures.bytesDone) / rate;
    return "  " + byteText(rate) + "/s  " + durationText(std::chrono::seconds(std::llround(left))) +
           " left";
}

ProgressFigures progressFigures(std::int64_t done, std::int64_t total, std::uint64_t totalBytes,
                                std::chrono::duration<double> elapsed) {
    ProgressFigures result;
    if (total > 0)
        result.fraction =
            std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
    result.totalBytes = totalBytes;
    result.bytesDone =
        static_cast<std::uint64_t>(result.fraction * static_cast<double>(totalBytes));
    result.elapsed = elapsed;
    return result;
}

std::string byteText(double bytes) {
    constexpr std::array<const char*, 3> Units = {"KiB", "MiB", "GiB"};
    if (bytes < 1024)
        return std::to_string(static_cast<unsigned long long>(bytes)) + " B";
    std::size_t unit = 0;
    bytes /= 1024;
    while (bytes >= 1024 && unit + 1 < Units.size()) {
        bytes /= 1024;
        ++unit;
    }
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.1f %s", bytes, Units[unit]);
    return text.data();
}

std::string durationText(std::chrono::seconds duration) {
    const long long total = std::max<long long>(duration.count(), 0);
    const long long hours = total / 3600;
    const long long minutes = total / 60 % 60;
    const long long seconds = total % 60;
    std::array<char, 32> text{};
    if (hours > 0)
        std::snprintf(text.data(), text.size(), "%lld:%02lld:%02lld", hours, minutes, seconds);
    else
        std::snprintf(text.data(), text.size(), "%lld:%02lld", minutes, seconds);
    return text.data();
}

ProgressDisplay::ProgressDisplay(std::ostream& out, bool terminal, Clock clock)
    : out_(out), terminal_(terminal), clock_(std::move(clock)) {}

void ProgressDisplay::start(const std::string& label, std::uint64_t totalBytes) {
    finish();
    label_ = label;
    totalBytes_ = totalBytes;
    startTime_ = clock_();
    active_ = true;
    drawn_ = false;
    drawnFraction_ = 0;
    lastLineLength_ = 0;
    tenthsWritten_ = 0;
    last_ = {};
}

ProgressFigures ProgressDisplay::figures(std::int64_t done, std::int64_t total) const {
    return progressFigures(done, total, totalBytes_, clock_() - startTime_);
}

void ProgressDisplay::advance(std::int64_t done, std::int64_t total) {
    if (!active_)
        return;
    last_ = figures(done, total);
    if (terminal_) {
        const auto now = clock_();
        const bool reachedFull = last_.fraction >= 1.0 && drawnFraction_ < 1.0;
        if (!drawn_ || reachedFull || now - lastDraw_ >= RedrawInterval) {
            drawTerminalLine(last_);
            lastDraw_ = now;
        }
    } else {
        writeTenthLine(last_);
    }
}

void ProgressDisplay::finish() {
    if (!active_)
        return;
    if (terminal_ && drawn_) {
        drawTerminalLine(last_);
        out_ << '\n' << std::flush;
    }
    active_ = false;
}

void ProgressDisplay::note(const std::string& text) {
    finish();
    out_ << text << '\n' << std::flush;
}

void ProgressDisplay::drawTerminalLine(const ProgressFigures& figures) {
    std::string line =
        label_ + " " + progressBar(figures.fraction) + " " + percentText(figures.fraction);
    if (totalBytes_ > 0) {
        line += "  " + byteText(static_cast<double>(figures.bytesDone)) + " / " +
                byteText(static_cast<double>(totalBytes_)) + rateText(figures);
    }
    const std::size_t length = line.size();
    // Blanks over whatever a longer earlier line left on the screen.
    line.resize(std::max(length, lastLineLength_), ' ');
    lastLineLength_ = length;
    out_ << '\r' << line << std::flush;
    drawn_ = true;
    drawnFraction_ = figures.fraction;
}

void ProgressDisplay::writeTenthLine(const ProgressFigures& figures) {
    const int tenths = static_cast<int>(std::floor(figures.fraction * Tenths));
    if (tenths <= tenthsWritten_)
        return;
    tenthsWritten_ = tenths;
    std::string line = label_ + ": " + percentText(figures.fraction);
    if (totalBytes_ > 0) {
        line += " (" + byteText(static_cast<double>(figures.bytesDone)) + " of " +
                byteText(static_cast<double>(totalBytes_)) + ")";
    }
    out_ << line << '\n' << std::flush;
}

}  // namespace fwu::cli
