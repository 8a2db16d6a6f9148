#include "bench/results_table.h"

#include <cstdio>
#include <sstream>

namespace fwu::bench {
namespace {

constexpr double TransferMicroseconds = 1000.0;  // a full-speed USB control transfer
constexpr double KiBPerMiB = 1024.0;

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// 26215 -> "26,215"
std::string withThousands(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t index = 0; index < digits.size(); ++index) {
        if (index > 0 && (digits.size() - index) % 3 == 0)
            grouped += ',';
        grouped += digits[index];
    }
    return grouped;
}

// Milliseconds below a second, seconds above.
std::string formatDuration(double seconds) {
    if (seconds >= 1.0)
        return format("%.3f s", seconds);
    return format(seconds >= 0.01 ? "%.1f ms" : "%.2f ms", seconds * 1e3);
}

bool hasLatency(const FigureResult& result) {
    return result.latencyMicroseconds > 0;
}

double overFloorPercent(const FigureResult& result) {
    const double floor = floorSeconds(result);
    return (medianSeconds(result) - floor) / floor * 100.0;
}

std::string againstFloor(const FigureResult& result) {
    if (!hasLatency(result))
        return "—";
    return formatDuration(floorSeconds(result)) + format(" (%+.2f %%)", overFloorPercent(result));
}

std::string targetText(const TableRow& row) {
    const Target& target = row.description.target;
    std::string text;
    switch (target.kind) {
        case Target::Kind::None:
            return "—";
        case Target::Kind::HostMicrosecondsPerUnit:
            text = format("≤ %.0f µs", target.limit);
            break;
        case Target::Kind::PercentOverFloor:
            text = format("≤ %.0f %% over floor", target.limit);
            break;
    }
    if (target.maxCoresBusy > 0.0)
        text += format(", ≤ %.0f core", target.maxCoresBusy);
    const auto met = meetsTarget(row);
    if (!met)
        return text + ": no result";
    return text + (*met ? ": met" : ": **missed**");
}

std::string resultCells(const TableRow& row) {
    const FigureResult& result = *row.result;
    const double host = hostMicrosecondsPerUnit(result);
    std::ostringstream cells;
    cells << withThousands(result.units) << ' ' << row.description.unit << "s | "
          << result.runSeconds.size() << " | " << formatDuration(medianSeconds(result)) << " | "
          << format("%.2f", host) << " | " << format("%.2f %%", host / TransferMicroseconds * 100.0)
          << " | " << againstFloor(result) << " | " << formatDuration(medianCpuSeconds(result))
          << format(" (%.2f) | ", coresBusy(result))
          << format("%.1f MiB", static_cast<double>(result.peakResidentKiB) / KiBPerMiB);
    return cells.str();
}

}  // namespace

double floorSeconds(const FigureResult& result) {
    return static_cast<double>(result.transfers) * static_cast<double>(result.latencyMicroseconds) /
           1e6;
}

double hostMicrosecondsPerUnit(const FigureResult& result) {
    if (result.units == 0)
        return 0.0;
    const double hostSeconds = medianSeconds(result) - floorSeconds(result);
    return hostSeconds * 1e6 / static_cast<double>(result.units);
}

double coresBusy(const FigureResult& result) {
    const double wall = medianSeconds(result);
    return wall > 0.0 ? medianCpuSeconds(result) / wall : 0.0;
}

std::optional<bool> meetsTarget(const TableRow& row) {
    if (!row.result)
        return std::nullopt;
    const Target& target = row.description.target;
    const bool withinCores =
        target.maxCoresBusy <= 0.0 || coresBusy(*row.result) <= target.maxCoresBusy;
    switch (target.kind) {
        case Target::Kind::None:
            return std::nullopt;
        case Target::Kind::HostMicrosecondsPerUnit:
            return withinCores && hostMicrosecondsPerUnit(*row.result) <= target.limit;
        case Target::Kind::PercentOverFloor:
            return withinCores && overFloorPercent(*row.result) <= target.limit;
    }
    return std::nullopt;
}

std::string formatTable(const std::vector<TableRow>& rows) {
    std::ostringstream table;
    table << "| Figure | What runs | Work per run | Runs | Median run | Host µs per report or "
             "block | Share of a 1 ms transfer | End to end: floor (over it) | CPU time (cores "
             "busy) | Peak RSS | Target |\n"
          << "|---|---|---|---|---|---|---|---|---|---|---|\n";
    for (const TableRow& row : rows) {
        table << "| `" << row.description.name << "` | " << row.description.work << " | ";
        if (row.result)
            table << resultCells(row);
        else
            table << "failed | | | | | | | ";
        table << " | " << targetText(row) << " |\n";
    }
    return table.str();
}

std::string formatRunTimes(const std::vector<TableRow>& rows) {
    std::ostringstream text;
    for (const TableRow& row : rows) {
        if (!row.result)
            continue;
        text << "- `" << row.description.name << "`:";
        const auto& wall = row.result->runSeconds;
        const auto& cpu = row.result->runCpuSeconds;
        for (std::size_t run = 0; run < wall.size(); ++run) {
            text << (run == 0 ? " " : ", ") << formatDuration(wall[run]);
            if (run < cpu.size())
                text << " (CPU " << formatDuration(cpu[run]) << ")";
        }
        text << '\n';
    }
    return text.str();
}

}  // namespace fwu::bench
