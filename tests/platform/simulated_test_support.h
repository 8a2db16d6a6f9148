#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "device/protocol.h"
#include "platform/simulated/simulated_bus.h"

// Reports built by hand, independent of the host's report builders, and a bus to send them on.
namespace fwu::platform::simulated::testing {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

inline constexpr std::size_t ReportLength = 65;

// `length` zero bytes with each field written from its position on, cut at the end.
inline Bytes report(std::initializer_list<std::pair<std::size_t, Bytes>> fields,
                    std::size_t length = ReportLength) {
    Bytes bytes(length, 0);
    for (const auto& [position, field] : fields) {
        for (std::size_t i = 0; i < field.size() && position + i < length; ++i) {
            bytes[position + i] = field[i];
        }
    }
    return bytes;
}

inline Bytes command(std::uint8_t code, std::size_t length = ReportLength) {
    return report({{protocol::CommandPosition, {code}}}, length);
}

// 40 bytes counting up from `first`, so each record and each place in it shows.
inline Bytes recordBytes(std::uint8_t first) {
    Bytes record(protocol::ImageRecordSize);
    std::iota(record.begin(), record.end(), first);
    return record;
}

inline Bytes writeRecord(std::uint8_t first, std::size_t length = ReportLength) {
    return report({{protocol::CommandPosition, {protocol::WriteRecordCommand}},
                   {protocol::WriteRecordPosition, recordBytes(first)}},
                  length);
}

inline Bytes bootloaderRecord(std::uint8_t first, std::size_t length = ReportLength) {
    return report({{protocol::BootloaderRecordPosition, recordBytes(first)}}, length);
}

inline Bytes enterBootloader(std::size_t length = ReportLength) {
    const auto& magic = protocol::EnterBootloaderMagic;
    return report({{protocol::CommandPosition, Bytes(magic.begin(), magic.end())}}, length);
}

inline std::vector<std::string> listedPaths(SimulatedBus& bus) {
    std::vector<std::string> paths;
    for (const InterfaceEntry& entry : bus.enumerateInterfaces())
        paths.push_back(entry.path);
    return paths;
}

class SimulatedBusTest : public ::testing::Test {
  protected:
    // Adds a device and opens it as the one the helpers below talk to.
    void plug(const DeviceConfig& config = {}) {
        path = bus.addDevice(config);
        handle = open(path);
    }
    Handle open(const std::string& devicePath) {
        const OpenResult result = bus.open(devicePath, OpenMode::Plain);
        EXPECT_TRUE(result.handle.has_value()) << devicePath;
        return result.handle.value_or(Handle{-1});
    }
    bool send(const Bytes& bytes) { return bus.setFeature(handle, bytes); }
    std::optional<std::size_t> fetch(Bytes& answer) { return bus.getFeature(handle, answer); }
    DeviceState state() const { return bus.state(path); }
    std::vector<std::string> listed() { return listedPaths(bus); }

    SimulatedBus bus;
    std::string path;
    Handle handle{-1};
};

}  // namespace fwu::platform::simulated::testing
