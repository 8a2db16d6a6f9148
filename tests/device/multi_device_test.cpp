// Several workers at once, each with its own link and device on one bus, while another thread
// lists the devices and one device takes a long time over a transfer: each device receives
// exactly its own worker's reports. ThreadSanitizer runs these (make check-tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "device/device_directory.h"
#include "device/device_link.h"
#include "device/reports.h"
#include "simulator/simulated_bus.h"

namespace fwu::device {
namespace {

using simulator::SimulatedBus;

constexpr std::size_t Workers = 4;
constexpr std::size_t Records = 40;

// The worker's number in every byte, the record's index in the last.
ImageRecord recordOf(std::size_t worker, std::size_t index) {
    ImageRecord record;
    record.fill(static_cast<std::uint8_t>(worker + 1));
    record.back() = static_cast<std::uint8_t>(index);
    return record;
}

// A start report and the worker's records to the device with its serial number, opened again
// every few reports.
void runWorker(SimulatedBus& bus, std::size_t worker) {
    DeviceLink link(bus);
    link.choose({std::nullopt, "W" + std::to_string(worker)});
    std::vector<std::uint8_t> buffer(66, 0);
    bool sent = link.findTheHid() && writeStartReport(buffer) && link.sendFeatureReport(buffer);
    for (std::size_t index = 0; sent && index < Records; ++index) {
        if (index % 4 == 3) {  // opens and closes amid the other threads' transfers
            link.closeConnection();
            link.findTheHid();
        }
        sent = writeWriteRecordReport(buffer, recordOf(worker, index)) &&
               link.sendFeatureReport(buffer);
    }
}

TEST(MultipleDevices, EachDeviceReceivesExactlyItsOwnWorkersReports) {
    SimulatedBus bus(SimulatedBus::Clock::Real);
    simulator::DeviceConfig config;
    for (std::size_t worker = 0; worker < Workers; ++worker) {
        config.serialNumber = simulator::utf16Bytes(u"W" + std::u16string(1, u'0' + worker));
        bus.addDevice(config);
    }
    bus.config("sim:hid0").faults.hangAtRequest = 0;  // its first transfer takes a second
    bus.config("sim:hid0").faults.hangDuration = std::chrono::milliseconds(1000);
    std::atomic<bool> hangEnded = false;
    std::thread hanging([&] {
        runWorker(bus, 0);
        hangEnded = true;
    });
    while (bus.state("sim:hid0").requests == 0)
        std::this_thread::yield();
    std::atomic<std::size_t> running = Workers - 1;
    std::thread lister([&] {
        do
            EXPECT_EQ(findSupportedDevices(bus).devices.size(), Workers);
        while (running > 0);
    });
    std::vector<std::thread> workers;
    for (std::size_t worker = 1; worker < Workers; ++worker) {
        workers.emplace_back([&, worker] {
            runWorker(bus, worker);
            --running;
        });
    }
    for (auto& thread : workers)
        thread.join();
    lister.join();
    EXPECT_FALSE(hangEnded) << "the bus is not held while one device takes its time";
    hanging.join();
    for (std::size_t worker = 1; worker < Workers; ++worker) {
        std::vector<std::uint8_t> records;
        for (std::size_t index = 0; index < Records; ++index) {
            const ImageRecord record = recordOf(worker, index);
            records.insert(records.end(), record.begin(), record.end());
        }
        const auto state = bus.state("sim:hid" + std::to_string(worker));
        EXPECT_EQ(state.requests, Records + 1) << worker;
        EXPECT_TRUE(std::equal(records.begin(), records.end(), state.flash.begin())) << worker;
    }
    EXPECT_EQ(bus.openHandleCount(), 0);
}

}  // namespace
}  // namespace fwu::device
