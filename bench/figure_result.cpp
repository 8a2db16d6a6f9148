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

}  // namespace

double medianSeconds(const FigureResult& result) {
    std::vector<double> sorted = result.runSeconds;
    if (sorted.empty())
        return 0.0;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    if (sorted.size() % 2 == 1)
        return sorted[middle];
    return (sorted[middle - 1] + sorted[middle]) / 2.0;
}

std::string formatResultLine(const FigureResult& result) {
    std::ostringstream line;
    line.precision(9);
    line << ResultTag << ' ' << result.name << " units " << result.units << " transfers "
         << result.transfers << " latency_us " << result.latencyMicroseconds << " peak_rss_kib "
         << result.peakResidentKiB << " seconds ";
    for (std::size_t index = 0; index < result.runSeconds.size(); ++index)
        line << (index == 0 ? "" : ",") << result.runSeconds[index];
    return line.str();
}

std::optional<FigureResult> parseResultLine(const std::string& line) {
    std::istringstream stream(line);
    std::string tag;
    FigureResult result;
    std::string unitsKey, transfersKey, latencyKey, rssKey, secondsKey, seconds;
    stream >> tag >> result.name >> unitsKey >> result.units >> transfersKey >> result.transfers >>
        latencyKey >> result.latencyMicroseconds >> rssKey >> result.peakResidentKiB >>
        secondsKey >> seconds;
    if (!stream || tag != ResultTag || unitsKey != "units" || transfersKey != "transfers" ||
        latencyKey != "latency_us" || rssKey != "peak_rss_kib" || secondsKey != "seconds") {
        return std::nullopt;
    }
    try {
        result.runSeconds = parseSeconds(seconds);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return result;
}

}  // namespace fwu::bench
