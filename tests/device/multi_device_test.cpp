// Several workers at once, each with its own link and device on one bus, while another thread
// lists the devices: each device receives exactly its own worker's reports. ThreadSanitizer
// runs these (make check-tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "device/device_directory.h"
#include "device/device_link.h"
#include "device/reports.h"
#include "platform/simulated/simulated_bus.h"

namespace fwu::device {
namespace {

using platform::simulated::DeviceConfig;
using platform::simulated::SimulatedBus;
using platform::simulated::utf16Bytes;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t Workers = 4;
constexpr std::size_t Records = 40;

std::string serialOf(std::size_t worker) {
    return "W" + std::to_string(worker);
}

void addWorkerDevices(SimulatedBus& bus, const DeviceConfig& base) {
    for (std::size_t worker = 0; worker < Workers; ++worker) {
        DeviceConfig config = base;
        config.serialNumber = utf16Bytes(std::u16string(u"W") + char16_t(u'0' + worker));
        bus.addDevice(config);
    }
}

// A start report, then `Records` records of the worker's number, each ending in its index; the
// device is opened again every few reports.
Bytes workerReports(SimulatedBus& bus, std::size_t worker, std::chrono::milliseconds& elapsed) {
    DeviceLink link(bus);
    link.choose({std::nullopt, serialOf(worker)});
    Bytes sent;
    if (!link.findTheHid())
        return sent;
    Bytes buffer(link.featureReportLength() + std::size_t{1}, 0);
    if (!writeStartReport(buffer))
        return sent;
    const auto started = bus.monotonicTime();
    for (std::size_t n = 0; n <= Records && link.sendFeatureReport(buffer); ++n) {
        if (n % 4 == 3) {  // opens and closes among the other threads' transfers
            link.closeConnection();
            link.findTheHid();
        }
        sent.insert(sent.end(), buffer.begin(), buffer.begin() + link.featureReportLength());
        ImageRecord record;
        record.fill(static_cast<std::uint8_t>(worker + 1));
        record.back() = static_cast<std::uint8_t>(n);
        if (!writeWriteRecordReport(buffer, record))
            break;
    }
    elapsed = bus.monotonicTime() - started;
    return sent;
}

TEST(MultipleDevices, EachDeviceReceivesExactlyItsOwnWorkersReports) {
    SimulatedBus bus;
    DeviceConfig config;
    config.featureReportLength = 64;
    config.latencyPerTransfer = std::chrono::milliseconds(1);
    addWorkerDevices(bus, config);
    std::atomic<int> running = Workers;
    std::atomic<std::size_t> listings = 0;
    std::thread lister([&] {
        do {
            EXPECT_EQ(findSupportedDevices(bus).devices.size(), Workers);
            ++listings;
        } while (running > 0);
    });
    std::vector<Bytes> sent(Workers);
    std::vector<std::chrono::milliseconds> elapsed(Workers);
    std::vector<std::thread> threads;
    for (std::size_t worker = 0; worker < Workers; ++worker) {
        threads.emplace_back([&, worker] {
            while (listings == 0)
                std::this_thread::yield();
            sent[worker] = workerReports(bus, worker, elapsed[worker]);
            --running;
        });
    }
    for (auto& thread : threads)
        thread.join();
    lister.join();

    std::vector<Bytes> received(Workers);
    for (const auto& entry : bus.transcript()) {
        const std::size_t worker = entry.devicePath.back() - '0';
        received.at(worker).insert(received.at(worker).end(), entry.bytes.begin(),
                                   entry.bytes.end());
    }
    for (std::size_t worker = 0; worker < Workers; ++worker) {
        SCOPED_TRACE(worker);
        EXPECT_EQ(sent[worker].size(), (Records + 1) * 64);
        EXPECT_EQ(received[worker], sent[worker]);
        const std::string path = "sim:hid" + std::to_string(worker);
        EXPECT_EQ(bus.state(path).recordsReceived, Records);
        EXPECT_EQ(bus.state(path).flash[Records * protocol::ImageRecordSize - 1], Records - 1);
        // Each worker's own transfers, as if it had the bus to itself.
        EXPECT_EQ(elapsed[worker], std::chrono::milliseconds(Records + 1));
    }
    EXPECT_EQ(bus.openHandleCount(), 0);
}

// The bus is not held while one device takes its time: another device is listed, opened and
// served meanwhile.
TEST(MultipleDevices, OthersAreServedWhileOneTransferTakesItsTime) {
    SimulatedBus bus(SimulatedBus::Clock::Real);
    addWorkerDevices(bus, {});
    bus.config("sim:hid0").faults.hangAtRequest = 0;
    bus.config("sim:hid0").faults.hangDuration = std::chrono::milliseconds(1000);
    std::atomic<bool> hangEnded = false;
    std::thread hanging([&] {
        DeviceLink link(bus);
        link.choose({"sim:hid0", std::nullopt});
        Bytes buffer(66, 0);
        EXPECT_TRUE(link.findTheHid() && !link.sendFeatureReport(buffer));
        hangEnded = true;
    });
    while (bus.state("sim:hid0").requests == 0)
        std::this_thread::yield();
    std::chrono::milliseconds elapsed{};
    EXPECT_EQ(workerReports(bus, 1, elapsed).size(), (Records + 1) * 65);
    EXPECT_EQ(findSupportedDevices(bus).devices.size(), Workers);
    EXPECT_FALSE(hangEnded);
    hanging.join();
}

}  // namespace
}  // namespace fwu::device
