#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/figure_result.h"
#include "bench/results_table.h"

namespace fwu::bench {
namespace {

TEST(BenchResults, MedianOfTheRuns) {
    const struct {
        std::vector<double> runs;
        double median;
    } cases[] = {
        {{}, 0.0},
        {{3.0}, 3.0},
        {{5.0, 1.0, 3.0}, 3.0},
        {{4.0, 1.0, 3.0, 2.0}, 2.5},
        {{9.0, 0.5, 0.5, 7.0, 0.6}, 0.6},  // two slow outliers do not move it
    };
    for (const auto& example : cases) {
        FigureResult result;
        result.runSeconds = example.runs;
        EXPECT_DOUBLE_EQ(medianSeconds(result), example.median) << example.runs.size();
    }
}

TEST(BenchResults, ResultLineCarriesEveryField) {
    const FigureResult sent{"update-window-1ms", 26215, 26218, 1000, {26.5, 26.25, 0.000125}, 33780,
                            {1.5, 0.25, 0.0001}};
    const auto received = parseResultLine(formatResultLine(sent));
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(received->name, sent.name);
    EXPECT_EQ(received->units, sent.units);
    EXPECT_EQ(received->transfers, sent.transfers);
    EXPECT_EQ(received->latencyMicroseconds, sent.latencyMicroseconds);
    EXPECT_EQ(received->peakResidentKiB, sent.peakResidentKiB);
    EXPECT_EQ(received->runSeconds, sent.runSeconds);
    EXPECT_EQ(received->runCpuSeconds, sent.runCpuSeconds);
}

TEST(BenchResults, OtherOutputIsNoResult) {
    for (const std::string line : {
             "",
             "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-root'",
             "figure raw units 10",
             "figure raw units 10 transfers 10 latency_us 0 peak_rss_kib 1 seconds 0.1,x",
             "figure raw transfers 10 units 10 latency_us 0 peak_rss_kib 1 seconds 0.1",
             "figure raw units 10 transfers 10 latency_us 0 peak_rss_kib 1 seconds 0.1",
         }) {
        EXPECT_FALSE(parseResultLine(line).has_value()) << line;
    }
}

TEST(BenchResults, HostCostIsTheTimeBeyondTheFloorAndMeetsItsTarget) {
    const Target perReport{Target::Kind::HostMicrosecondsPerUnit, 5.0};
    const Target nearFloor{Target::Kind::PercentOverFloor, 5.0};
    const struct {
        std::uint64_t latency;
        double seconds;
        Target target;
        double hostMicroseconds;
        bool met;
    } cases[] = {
        {0, 0.004, perReport, 4.0, true},
        {0, 0.006, perReport, 6.0, false},
        // 1,002 transfers of 1 ms: a floor of 1.002 s.
        {1000, 1.05, nearFloor, 48.0, true},
        {1000, 1.06, nearFloor, 58.0, false},
    };
    for (const auto& example : cases) {
        const FigureResult result{"figure", 1000, 1002, example.latency, {example.seconds}, 0, {}};
        EXPECT_NEAR(hostMicrosecondsPerUnit(result), example.hostMicroseconds, 1e-9)
            << example.seconds;
        const TableRow row{{"figure", "work", "report", example.target}, result};
        EXPECT_EQ(meetsTarget(row), example.met) << example.seconds;
    }
}

// A figure held to one core of the machine: its CPU time over its wall time, median over median.
TEST(BenchResults, CoreBoundHoldsTheCpuTimeToTheWallTime) {
    const Target oneCore{Target::Kind::PercentOverFloor, 5.0, 1.0};
    const Target anyCores{Target::Kind::PercentOverFloor, 5.0};
    const struct {
        std::vector<double> cpuSeconds;
        Target target;
        bool met;
        const char* shown;
    } cases[] = {
        {{0.2, 1.0, 0.5},
         oneCore,
         true,
         "500.0 ms (0.49) | 0.0 MiB | ≤ 5 % over floor, ≤ 1 core: met"},
        {{1.2, 1.1, 1.9},
         oneCore,
         false,
         "1.200 s (1.17) | 0.0 MiB | ≤ 5 % over floor, ≤ 1 core: **missed**"},
        {{1.2, 1.1, 1.9}, anyCores, true, "1.200 s (1.17) | 0.0 MiB | ≤ 5 % over floor: met"},
    };
    for (const auto& example : cases) {
        const FigureResult result{"figure",          1000, 1000, 1000, {1.03, 1.02, 1.04}, 0,
                                  example.cpuSeconds};
        const TableRow row{{"figure", "work", "report", example.target}, result};
        EXPECT_EQ(meetsTarget(row), example.met) << example.shown;
        const std::string table = formatTable({row});
        EXPECT_NE(table.find(example.shown), std::string::npos) << table;
    }
}

TEST(BenchResults, TableShowsEveryFigureAndWhichFailed) {
    const Target perBlock{Target::Kind::HostMicrosecondsPerUnit, 30.0};
    const std::vector<TableRow> rows{
        {{"dump-window", "the dump", "block", perBlock},
         FigureResult{"dump-window", 32768, 32769, 0, {0.5}, 34816, {0.4}}},
        {{"raw", "the reports", "report", {}}, std::nullopt},
    };
    const std::string table = formatTable(rows);
    for (const char* expected :
         {"| `dump-window` | the dump | 32,768 blocks | 1 | 500.0 ms | 15.26 |", "1.53 %",
          "34.0 MiB", "≤ 30 µs: met", "| `raw` | the reports | failed"}) {
        EXPECT_NE(table.find(expected), std::string::npos) << expected << "\n" << table;
    }
}

}  // namespace
}  // namespace fwu::bench
