#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "device/protocol.h"
#include "platform/simulated/simulated_bus.h"

// Reports built by hand, independent of the host's report builders, and a bus with one device.
namespace fwu::platform::simulated::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t ReportLength = 65;

inline Bytes commandReport(std::uint8_t command, std::size_t length = ReportLength) {
    Bytes report(length, 0);
    if (length > protocol::CommandPosition)
        report[protocol::CommandPosition] = command;
    return report;
}

inline Bytes eraseReport(std::uint32_t count, std::size_t length = ReportLength) {
    Bytes report = commandReport(protocol::EraseCommand, length);
    for (std::size_t i = 0; i < protocol::CountSize && protocol::CountPosition + i < length; ++i) {
        report[protocol::CountPosition + i] = static_cast<std::uint8_t>(count >> (8 * i));
    }
    return report;
}

// A record whose bytes tell its number and their place in it.
inline Bytes recordBytes(std::uint8_t number) {
    Bytes record(protocol::ImageRecordSize);
    for (std::size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<std::uint8_t>(number + i);
    return record;
}

inline Bytes writeRecordReport(std::uint8_t number, std::size_t length = ReportLength) {
    Bytes report = commandReport(protocol::WriteRecordCommand, length);
    const Bytes record = recordBytes(number);
    for (std::size_t i = 0; i < record.size() && protocol::WriteRecordPosition + i < length; ++i) {
        report[protocol::WriteRecordPosition + i] = record[i];
    }
    return report;
}

inline Bytes enterBootloaderReport(std::size_t length = ReportLength) {
    Bytes report(length, 0);
    for (std::size_t i = 0; i < protocol::EnterBootloaderMagic.size() && 1 + i < length; ++i) {
        report[1 + i] = protocol::EnterBootloaderMagic[i];
    }
    return report;
}

inline Bytes bootloaderRecordReport(std::uint8_t number, std::size_t length = ReportLength) {
    Bytes report(length, 0);
    const Bytes record = recordBytes(number);
    for (std::size_t i = 0; i < record.size() && 1 + i < length; ++i)
        report[1 + i] = record[i];
    return report;
}

class SimulatedBusTest : public ::testing::Test {
  protected:
    Handle openDevice(const std::string& devicePath) {
        const OpenResult result = bus.open(devicePath, OpenMode::Plain);
        EXPECT_TRUE(result.handle.has_value()) << devicePath;
        return result.handle.value_or(Handle{-1});
    }
    bool send(const Bytes& report) { return bus.setFeature(handle, report); }
    std::optional<std::size_t> fetch(Bytes& answer) { return bus.getFeature(handle, answer); }
    DeviceState deviceState() const { return bus.state(path); }

    // Adds the device and opens it.
    void plug(const DeviceConfig& config = {}) {
        path = bus.addDevice(config);
        handle = openDevice(path);
    }

    SimulatedBus bus;
    std::string path;
    Handle handle{-1};
};

}  // namespace fwu::platform::simulated::testing
