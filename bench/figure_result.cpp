#include "bench/figure_result.h"

#include <algorithm>
#include <sstream>

namespace fwu::bench {
namespace {

constexpr const char* ResultTag = "figure";

std::vector<double> parseSeconds(const std::string& list) {
    std::vector<double> seconds;
    std::istringstream stream(list);
    std::string item;
    while (std::getline(stream, item, ','))
        seconds.push_back(std::stod(item));
    return seconds;
}

std::string joined(const std::vector<double>& seconds) {
    std::ostringstream list;
    list.precision(9);
    for (std::size_t index = 0; index < seconds.size(); ++index)
        list << (index == 0 ? "" : ",") << seconds[index];
    return list.str();
}

double median(std::vector<double> sorted) {
    if (sorted.empty())
        return 0.0;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    if (sorted.size() % 2 == 1)
        return sorted[middle];
    return (sorted[middle - 1] + sorted[middle]) / 2.0;
}

}  // namespace

double medianSeconds(const FigureResult& result) {
    return median(result.runSeconds);
}

double medianCpuSeconds(const FigureResult& result) {
    return median(result.runCpuSeconds);
}

std::string formatResultLine(const FigureResult& result) {
    std::ostringstream line;
    line.precision(9);
    line << ResultTag << ' ' << result.name << " units " << result.units << " transfers "
         << result.transfers << " latency_us " << result.latencyMicroseconds << " peak_rss_kib "
         << result.peakResidentKiB << " seconds " << joined(result.runSeconds) << " cpu_seconds "
         << joined(result.runCpuSeconds);
    return line.str();
}

std::optional<FigureResult> parseResultLine(const std::string& line) {
    std::istringstream stream(line);
    std::string tag;
    FigureResult result;
    std::string unitsKey, transfersKey, latencyKey, rssKey, secondsKey, seconds, cpuKey, cpu;
    stream >> tag >> result.name >> unitsKey >> result.units >> transfersKey >> result.transfers >>
        latencyKey >> result.latencyMicroseconds >> rssKey >> result.peakResidentKiB >>
        secondsKey >> seconds >> cpuKey >> cpu;
    if (!stream || tag != ResultTag || unitsKey != "units" || transfersKey != "transfers" ||
        latencyKey != "latency_us" || rssKey != "peak_rss_kib" || secondsKey != "seconds" ||
        cpuKey != "cpu_seconds") {
        return std::nullopt;
    }
    try {
        result.runSeconds = parseSeconds(seconds);
        result.runCpuSeconds = parseSeconds(cpu);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return result;
}

}  // namespace fwu::bench
