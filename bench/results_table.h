#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bench/figure_result.h"

namespace fwu::bench {

// The bound a figure is held to; reported, never asserted.
struct Target {
    enum class Kind { None, HostMicrosecondsPerUnit, PercentOverFloor };
    Kind kind = Kind::None;
    double limit = 0.0;
    // The process's CPU time over its wall time at most this many cores; 0 for no such bound.
    double maxCoresBusy = 0.0;
};

// A figure of the table: what it runs and how it is judged.
struct FigureDescription {
    std::string name;
    std::string work;  // what one run does, in a few words
    std::string unit;  // "report" or "block"
    Target target;
};

struct TableRow {
    FigureDescription description;
    std::optional<FigureResult> result;  // nothing when the figure failed
};

// The host's time per unit in microseconds: the whole run over its units without latency, the
// time beyond the floor (transfers x latency) over its units with it.
double hostMicrosecondsPerUnit(const FigureResult& result);
double floorSeconds(const FigureResult& result);
// The cores the process kept busy on average: its median CPU time over its median wall time.
double coresBusy(const FigureResult& result);
// Whether the figure meets its target; nothing for a figure without one or without a result.
std::optional<bool> meetsTarget(const TableRow& row);

// The table in Markdown, one line per figure.
std::string formatTable(const std::vector<TableRow>& rows);
// Every run's time, figure by figure, for the record.
std::string formatRunTimes(const std::vector<TableRow>& rows);

}  // namespace fwu::bench
