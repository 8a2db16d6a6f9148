#include "simulator/demo_setup.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <set>

namespace fwu::simulator {

namespace {

// A keyboard of another maker, for the search and `list` to pass over.
constexpr std::uint16_t ForeignVendorId = 0x3A1C;
constexpr std::uint16_t ForeignProductId = 0x0001;

constexpr std::size_t HelpKeyColumn = 30;

constexpr std::uint64_t MaxLatencyMicroseconds = 10'000'000;
constexpr std::uint64_t MaxReportLength = 1024;
constexpr std::uint64_t MaxReenumerationMilliseconds = 600'000;
constexpr std::uint64_t MaxScheduleMilliseconds = 86'400'000;
constexpr std::uint64_t MaxRequestIndex = UINT64_MAX;
constexpr std::size_t FirstSerialNumber = 100001;

using ApplyValue = std::optional<std::string> (*)(std::string_view value, DemoSettings& settings);

struct Key {
    std::string_view name;
    std::string_view valueHint;  // empty for a key that takes no value; ",.." ends a list's
    std::string_view description;
    ApplyValue apply;
};

std::optional<std::uint64_t> parseNumber(std::string_view text, std::uint64_t max) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

std::string outOfRange(std::string_view value, std::uint64_t max) {
    return "'" + std::string(value) + "' is not a whole number from 0 to " + std::to_string(max);
}

template <typename Store>
std::optional<std::string> applyNumber(std::string_view value, std::uint64_t max, Store store) {
    const auto number = parseNumber(value, max);
    if (!number)
        return outOfRange(value, max);
    store(*number);
    return std::nullopt;
}

// One value for every device, or a list of items separated by commas, one per device.
template <typename T, typename ParseItem>
std::optional<std::string> applyList(std::string_view value, PerDevice<T>& setting,
                                     ParseItem parseItem) {
    PerDevice<T> parsed;
    parsed.forEveryDevice = value.find(',') == std::string_view::npos;
    for (bool more = true; more;) {
        const std::size_t comma = value.find(',');
        T item{};
        if (auto problem = parseItem(value.substr(0, comma), item))
            return problem;
        parsed.values.push_back(std::move(item));
        more = comma != std::string_view::npos;
        value.remove_prefix(more ? comma + 1 : value.size());
    }
    setting = std::move(parsed);
    return std::nullopt;
}

// A number up to `max`, or nothing for an empty item.
template <typename T>
std::optional<std::string> applyOptionalNumbers(std::string_view value,
                                                PerDevice<std::optional<T>>& setting,
                                                std::uint64_t max) {
    return applyList(value, setting, [max](std::string_view item, std::optional<T>& parsed) {
        if (item.empty())
            return std::optional<std::string>();
        return applyNumber(item, max, [&](std::uint64_t number) { parsed = T(number); });
    });
}

bool isSerialNumberText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

// "NAME:PID": the program that holds a device, or nothing for an empty item.
std::optional<std::string> parseHolder(std::string_view item,
                                       std::optional<platform::DeviceHolder>& holder) {
    if (item.empty())
        return std::nullopt;
    const std::size_t colon = item.rfind(':');
    const std::string_view name = item.substr(0, colon == std::string_view::npos ? 0 : colon);
    if (name.empty() || !isSerialNumberText(name))
        return "'" + std::string(item) + "' is not NAME:PID";
    return applyNumber(item.substr(colon + 1), UINT32_MAX, [&](std::uint64_t pid) {
        holder = platform::DeviceHolder{std::string(name), static_cast<std::uint32_t>(pid)};
    });
}

const std::array<Key, 17> Keys = {{
    {"latency-us", "N", "time each transfer takes, in microseconds",
     [](std::string_view value, DemoSettings& settings) {
         return applyNumber(value, MaxLatencyMicroseconds, [&](std::uint64_t number) {
             settings.latency = std::chrono::microseconds(number);
         });
     }},
    {"clock", "real|virtual", "virtual: waits and latency take no real time",
     [](std::string_view value, DemoSettings& settings) -> std::optional<std::string> {
         if (value == "real")
             settings.clock = SimulatedBus::Clock::Real;
         else if (value == "virtual")
             settings.clock = SimulatedBus::Clock::Virtual;
         else
             return "'" + std::string(value) + "' is neither real nor virtual";
         return std::nullopt;
     }},
    {"devices", "N", "number of supported devices on the bus",
     [](std::string_view value, DemoSettings& settings) {
         return applyNumber(value, MaxDevicesOnBus, [&](std::uint64_t number) {
             settings.deviceCount = static_cast<std::size_t>(number);
         });
     }},
    {"no-device", "", "no supported device on the bus",
     [](std::string_view, DemoSettings& settings) -> std::optional<std::string> {
         settings.deviceCount = 0;
         return std::nullopt;
     }},
    {"mode", "application|bootloader", "the mode the devices start in",
     [](std::string_view value, DemoSettings& settings) -> std::optional<std::string> {
         if (value == "application")
             settings.mode = DeviceMode::Application;
         else if (value == "bootloader")
             settings.mode = DeviceMode::Bootloader;
         else
             return "'" + std::string(value) + "' is neither application nor bootloader";
         return std::nullopt;
     }},
    {"report-length", "N", "feature report length, report ID included",
     [](std::string_view value, DemoSettings& settings) {
         return applyNumber(value, MaxReportLength, [&](std::uint64_t number) {
             settings.featureReportLength = static_cast<std::uint16_t>(number);
         });
     }},
    {"reenumeration-ms", "N|never,..", "time off the bus after the bootloader command",
     [](std::string_view value, DemoSettings& settings) {
         return applyList(
             value, settings.reenumerationDelay,
             [](std::string_view item, std::optional<std::chrono::milliseconds>& delay) {
                 if (item == "never")
                     return std::optional<std::string>();
                 return applyNumber(item, MaxReenumerationMilliseconds, [&](std::uint64_t ms) {
                     delay = std::chrono::milliseconds(ms);
                 });
             });
     }},
    {"fail-transfers-from", "N,..", "this transfer (from 0) and every later one fail",
     [](std::string_view value, DemoSettings& settings) {
         return applyOptionalNumbers(value, settings.failTransfersFrom, MaxRequestIndex);
     }},
    {"unplug-at", "N,..", "the device leaves the bus at this transfer",
     [](std::string_view value, DemoSettings& settings) {
         return applyOptionalNumbers(value, settings.unplugAtRequest, MaxRequestIndex);
     }},
    {"serials", "TEXT,..", "serial numbers; an empty item: none",
     [](std::string_view value, DemoSettings& settings) {
         return applyList(value, settings.serialNumbers,
                          [](std::string_view item, std::optional<std::string>& serial) {
                              if (!isSerialNumberText(item))
                                  return std::optional<std::string>("'" + std::string(item) +
                                                                    "' is not printable ASCII");
                              if (!item.empty())
                                  serial = std::string(item);
                              return std::optional<std::string>();
                          });
     }},
    {"arrive-ms", "N,..", "when the device arrives; an empty item: at once",
     [](std::string_view value, DemoSettings& settings) {
         return applyList(value, settings.arrivals,
                          [](std::string_view item, std::chrono::milliseconds& arrival) {
                              if (item.empty())
                                  return std::optional<std::string>();
                              return applyNumber(item, MaxScheduleMilliseconds,
                                                 [&](std::uint64_t ms) {
                                                     arrival = std::chrono::milliseconds(ms);
                                                 });
                          });
     }},
    {"leave-ms", "N,..", "when the device leaves for good; an empty item: never",
     [](std::string_view value, DemoSettings& settings) {
         return applyOptionalNumbers(value, settings.departures, MaxScheduleMilliseconds);
     }},
    {"interrupt-at", "N", "Ctrl-C (SIGINT) as report N (from 0) is done",
     [](std::string_view value, DemoSettings& settings) {
         return applyNumber(value, MaxRequestIndex,
                            [&](std::uint64_t number) { settings.interruptAt = number; });
     }},
    {"interrupt-signal", "INT|TERM|HUP", "the signal interrupt-at raises",
     [](std::string_view value, DemoSettings& settings) -> std::optional<std::string> {
         if (value == "INT")
             settings.interruptSignal = SIGINT;
         else if (value == "TERM")
             settings.interruptSignal = SIGTERM;
#ifdef SIGHUP
         else if (value == "HUP")
             settings.interruptSignal = SIGHUP;
#endif
         else
             return "'" + std::string(value) + "' is not a signal it raises";
         return std::nullopt;
     }},
    {"held-by", "NAME:PID,..", "another program holds the device",
     [](std::string_view value, DemoSettings& settings) {
         return applyList(value, settings.heldBy, parseHolder);
     }},
    {"permission-denied", "", "the devices are there but cannot be opened",
     [](std::string_view, DemoSettings& settings) -> std::optional<std::string> {
         settings.permissionDenied = true;
         return std::nullopt;
     }},
    {"foreign-device", "", "a keyboard of another maker before them",
     [](std::string_view, DemoSettings& settings) -> std::optional<std::string> {
         settings.foreignDevice = true;
         return std::nullopt;
     }},
}};

// A list of one item per device may not name more devices than there are.
std::optional<std::string> listTooLong(const DemoSettings& settings) {
    const std::pair<std::string_view, std::size_t> lists[] = {
        {"reenumeration-ms", settings.reenumerationDelay.values.size()},
        {"fail-transfers-from", settings.failTransfersFrom.values.size()},
        {"unplug-at", settings.unplugAtRequest.values.size()},
        {"serials", settings.serialNumbers.values.size()},
        {"arrive-ms", settings.arrivals.values.size()},
        {"leave-ms", settings.departures.values.size()},
        {"held-by", settings.heldBy.values.size()},
    };
    for (const auto& [name, items] : lists) {
        if (items > std::max<std::size_t>(settings.deviceCount, 1)) {
            return "'" + std::string(name) + "' has more items (" + std::to_string(items) +
                   ") than there are devices (" + std::to_string(settings.deviceCount) + ")";
        }
    }
    return std::nullopt;
}

// The keyboard of foreign-device takes one of the bus's places.
std::optional<std::string> busOverfull(const DemoSettings& settings) {
    if (settings.deviceCount + (settings.foreignDevice ? 1 : 0) <= MaxDevicesOnBus)
        return std::nullopt;
    return "'devices' and 'foreign-device' make " + std::to_string(settings.deviceCount + 1) +
           " devices, more than a bus holds (" + std::to_string(MaxDevicesOnBus) + ")";
}

const Key* findKey(std::string_view name) {
    for (const Key& key : Keys) {
        if (key.name == name)
            return &key;
    }
    return nullptr;
}

// Applies one `key` or `key=value` item; returns what is wrong with it.
std::optional<std::string> applyItem(std::string_view item, DemoSettings& settings,
                                     std::set<std::string_view>& seen) {
    const std::size_t equals = item.find('=');
    const std::string_view name = item.substr(0, equals);
    const Key* key = findKey(name);
    if (key == nullptr)
        return "unknown key '" + std::string(name) + "'";
    if (!seen.insert(key->name).second)
        return "'" + std::string(name) + "' is given twice";
    const bool hasValue = equals != std::string_view::npos;
    if (key->valueHint.empty() && hasValue)
        return "'" + std::string(name) + "' takes no value";
    if (!key->valueHint.empty() && !hasValue)
        return "'" + std::string(name) + "' needs a value: " + std::string(name) + "=" +
               std::string(key->valueHint);
    const auto problem =
        key->apply(hasValue ? item.substr(equals + 1) : std::string_view(), settings);
    if (problem)
        return std::string(name) + ": " + *problem;
    return std::nullopt;
}

template <typename T, typename Store>
void applyTo(const PerDevice<T>& setting, std::size_t index, Store store) {
    if (const T* value = setting.of(index))
        store(*value);
}

std::vector<std::uint8_t> serialNumberBytes(const std::string& serial) {
    return utf16Bytes(std::u16string(serial.begin(), serial.end()));
}

DeviceConfig deviceConfig(const DemoSettings& settings, std::size_t index) {
    DeviceConfig config;
    config.applicationProductId =
        protocol::ApplicationProductIds[index % protocol::ApplicationProductIds.size()];
    config.mode = settings.mode;
    if (settings.featureReportLength)
        config.featureReportLength = *settings.featureReportLength;
    config.serialNumber = serialNumberBytes("SIM-" + std::to_string(FirstSerialNumber + index));
    applyTo(settings.serialNumbers, index, [&](const std::optional<std::string>& serial) {
        config.serialNumber = serial ? serialNumberBytes(*serial) : std::vector<std::uint8_t>{};
    });
    config.latencyPerTransfer = settings.latency;
    applyTo(settings.reenumerationDelay, index,
            [&](auto delay) { config.reenumerationDelay = delay; });
    applyTo(settings.failTransfersFrom, index,
            [&](auto from) { config.faults.failTransfersFrom = from; });
    applyTo(settings.unplugAtRequest, index,
            [&](auto request) { config.faults.unplugAtRequest = request; });
    applyTo(settings.arrivals, index, [&](auto arrival) { config.arrivesAt = arrival; });
    applyTo(settings.departures, index, [&](auto departure) { config.leavesAt = departure; });
    applyTo(settings.heldBy, index,
            [&](const auto& holder) { config.faults.heldByAnotherProgram = holder; });
    config.faults.permissionDenied = settings.permissionDenied;
    return config;
}

}  // namespace

DemoSettingsResult parseDemoSettings(std::string_view text) {
    DemoSettings settings;
    std::set<std::string_view> seen;
    while (!text.empty()) {
        const std::size_t semicolon = text.find(';');
        const std::string_view item = text.substr(0, semicolon);
        text =
            semicolon == std::string_view::npos ? std::string_view() : text.substr(semicolon + 1);
        if (item.empty())
            continue;
        if (const auto problem = applyItem(item, settings, seen))
            return {std::nullopt, std::string(SimulationVariable) + ": " + *problem};
    }
    auto problem = listTooLong(settings);
    if (!problem)
        problem = busOverfull(settings);
    if (problem)
        return {std::nullopt, std::string(SimulationVariable) + ": " + *problem};
    return {settings, {}};
}

DemoSettingsResult demoSettingsFromEnvironment() {
    const char* text = std::getenv(SimulationVariable);
    return parseDemoSettings(text == nullptr ? std::string_view() : std::string_view(text));
}

std::unique_ptr<SimulatedBus> makeDemoBus(const DemoSettings& settings) {
    auto bus = std::make_unique<SimulatedBus>(settings.clock);
    bus->setTranscriptRecording(false);  // a long run would keep every report in memory
    if (settings.foreignDevice)
        bus->addForeignDevice(ForeignVendorId, ForeignProductId);
    for (std::size_t index = 0; index < settings.deviceCount; ++index)
        bus->addDevice(deviceConfig(settings, index));
    if (settings.interruptAt) {
        bus->setTranscriptObserver(
            [reports = std::uint64_t{0}, interruptAt = *settings.interruptAt,
             signal = settings.interruptSignal](const TranscriptEntry&) mutable {
                if (reports++ == interruptAt)
                    std::raise(signal);
            });
    }
    return bus;
}

std::string demoSettingsHelp() {
    std::string help;
    for (const Key& key : Keys) {
        std::string item(key.name);
        if (!key.valueHint.empty())
            item += "=" + std::string(key.valueHint);
        item.resize(std::max<std::size_t>(item.size() + 2, HelpKeyColumn), ' ');
        help += "  " + item + std::string(key.description) + "\n";
    }
    return help +
           "  A key whose value ends in ,.. takes one value for every device, or a list\n"
           "  of one item per device, separated by commas.\n";
}

}  // namespace fwu::simulator
