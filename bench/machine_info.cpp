#include "bench/machine_info.h"

#include <sys/utsname.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace fwu::bench {
namespace {

std::string cpuInfoValue(const std::string& line) {
    const auto colon = line.find(':');
    if (colon == std::string::npos)
        return {};
    const auto start = line.find_first_not_of(" \t", colon + 1);
    return start == std::string::npos ? std::string() : line.substr(start);
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string cpuModel() {
    std::ifstream cpuInfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuInfo, line)) {
        if (line.rfind("model name", 0) == 0)
            return cpuInfoValue(line);
    }
    return "unknown";
}

int processorCount() {
    std::ifstream cpuInfo("/proc/cpuinfo");
    std::string line;
    int count = 0;
    while (std::getline(cpuInfo, line)) {
        if (line.rfind("processor", 0) == 0)
            ++count;
    }
    return count;
}

std::string kernelRelease() {
    utsname name{};
    if (uname(&name) != 0)
        return "unknown";
    return std::string(name.sysname) + " " + name.release;
}

std::string utcDate() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
    return text;
}

std::string loadAverages() {
    std::array<double, 3> loads{};
    if (getloadavg(loads.data(), static_cast<int>(loads.size())) != 3)
        return "unknown";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", loads[0], loads[1], loads[2]);
    return text;
}

double oneMinuteLoad() {
    double load = 0.0;
    return getloadavg(&load, 1) == 1 ? load : 0.0;
}

std::string displayDescription() {
    const std::string platform = environment("QT_QPA_PLATFORM");
    const std::string display = environment("DISPLAY");
    if (!platform.empty() && platform != "xcb")
        return "Qt platform " + platform + " (not an X server)";
    if (display.empty())
        return "none (DISPLAY is not set)";
    return "X server at DISPLAY=" + display + " (Qt platform xcb)";
}

}  // namespace fwu::bench
