#pragma once

#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/simulated_bus.h"

// The simulated bus as the front ends' --simulate option sets it up: a bus on the real clock
// with one application-mode device at about 1 ms per transfer. Tests and demonstrations change
// it through an environment variable of `key=value` items separated by semicolons, e.g.
//   FIRMWARE_UPDATE_SIMULATION="latency-us=0;fail-transfers-from=12"
// Keys about each device take one value for every device, or a comma-separated list with one
// item per device in bus order, e.g.
//   FIRMWARE_UPDATE_SIMULATION="devices=3;serials=A,A,;fail-transfers-from=,40;arrive-ms=0,0,500"
namespace fwu::simulator {

inline constexpr const char* SimulationVariable = "FIRMWARE_UPDATE_SIMULATION";

// A setting of each device: nothing given, one value for every device, or one per device.
template <typename T>
struct PerDevice {
    std::vector<T> values;
    bool forEveryDevice = false;  // a single value without a comma

    // The value of the device at `index` (from 0); nothing where the setting leaves it alone.
    const T* of(std::size_t index) const {
        if (forEveryDevice)
            return &values.front();
        return index < values.size() ? &values[index] : nullptr;
    }
};

struct DemoSettings {
    SimulatedBus::Clock clock = SimulatedBus::Clock::Real;
    std::chrono::microseconds latency{1000};
    std::size_t deviceCount = 1;
    DeviceMode mode = DeviceMode::Application;
    std::optional<std::uint16_t> featureReportLength;
    // Nothing in an item: that device never comes back, or has no such fault, no serial
    // number, or never leaves.
    PerDevice<std::optional<std::chrono::milliseconds>> reenumerationDelay;
    PerDevice<std::optional<std::uint64_t>> failTransfersFrom;
    PerDevice<std::optional<std::uint64_t>> unplugAtRequest;
    PerDevice<std::optional<std::string>> serialNumbers;  // "SIM-100001" and on where not given
    PerDevice<std::chrono::milliseconds> arrivals;
    PerDevice<std::optional<std::chrono::milliseconds>> departures;
    PerDevice<std::optional<platform::DeviceHolder>> heldBy;  // another program holds the device
    bool permissionDenied = false;
    bool foreignDevice = false;  // a keyboard ahead of the devices, which the search passes over
    // Raises SIGINT as the report with this index (from 0, counting every report on the bus)
    // is recorded, as a user pressing Ctrl-C at that moment would. Uses the bus's transcript
    // observer.
    std::optional<std::uint64_t> interruptAt;
    int interruptSignal =
        SIGINT;  // raised instead of SIGINT: SIGTERM, or SIGHUP where there is one
};

struct DemoSettingsResult {
    std::optional<DemoSettings> settings;
    std::string error;  // what is wrong with the text, when settings is empty
};

// Parses the items strictly: an unknown key, a missing or surplus value, a value out of range,
// a key given twice or a list longer than the devices is an error naming the item.
DemoSettingsResult parseDemoSettings(std::string_view text);

// The settings from the environment variable; the defaults when it is unset.
DemoSettingsResult demoSettingsFromEnvironment();

// The bus keeps no transcript: a station's updates would keep every report in memory. A test
// that reads it turns recording on; the observer, which interrupt-at uses, sees every report.
std::unique_ptr<SimulatedBus> makeDemoBus(const DemoSettings& settings);

// A text listing the keys the variable accepts, for help output.
std::string demoSettingsHelp();

}  // namespace fwu::simulator
