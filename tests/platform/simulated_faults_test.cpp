#include <string>
#include <thread>

#include "platform/simulated/bus_clock.h"
#include "simulated_test_support.h"

namespace fwu::platform::simulated::testing {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

FaultPlan failFrom(std::uint64_t index) {
    FaultPlan plan;
    plan.failTransfersFrom = index;
    return plan;
}
FaultPlan unplugAt(std::uint64_t index) {
    FaultPlan plan;
    plan.unplugAtRequest = index;
    return plan;
}
FaultPlan hangAt(std::uint64_t index) {
    FaultPlan plan;
    plan.hangAtRequest = index;
    plan.hangDuration = milliseconds(4500);
    return plan;
}

struct TransferFault {
    const char* name;
    FaultPlan plan;
    std::vector<bool> results;  // of start, read, write, read, write, read
    bool presentAfter;
    std::uint64_t requestsCounted;
    milliseconds clockAfter;
};

class TransferFaultTest : public SimulatedBusTest,
                          public ::testing::WithParamInterface<TransferFault> {};

TEST_P(TransferFaultTest, FailsExactlyThePlannedRequests) {
    const TransferFault& fault = GetParam();
    DeviceConfig config;
    config.faults = fault.plan;
    plug(config);
    std::vector<bool> results;
    Bytes answer(ReportLength, 0);
    results.push_back(send(commandReport(protocol::StartCommand)));
    for (int i = 0; i < 2; ++i) {
        results.push_back(fetch(answer).has_value());
        results.push_back(send(writeRecordReport(1)));
    }
    results.push_back(fetch(answer).has_value());

    EXPECT_EQ(results, fault.results);
    EXPECT_EQ(deviceState().present, fault.presentAfter);
    EXPECT_EQ(deviceState().requests, fault.requestsCounted);
    EXPECT_EQ(bus.monotonicTime(), fault.clockAfter);
    ASSERT_EQ(bus.transcript().size(), results.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(bus.transcript()[i].succeeded, results[i]) << i;
    }
    bus.sleep(milliseconds(60'000));
    EXPECT_EQ(bus.enumerateInterfaces().size(), fault.presentAfter ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, TransferFaultTest,
    ::testing::Values(
        TransferFault{"None", {}, {true, true, true, true, true, true}, true, 6, milliseconds(0)},
        TransferFault{"FailFrom0", failFrom(0), std::vector<bool>(6, false), true, 6,
                      milliseconds(0)},
        TransferFault{"FailFrom3",
                      failFrom(3),
                      {true, true, true, false, false, false},
                      true,
                      6,
                      milliseconds(0)},
        TransferFault{"UnplugAt2",
                      unplugAt(2),
                      {true, true, false, false, false, false},
                      false,
                      3,
                      milliseconds(0)},
        TransferFault{"HangAt1",
                      hangAt(1),
                      {true, false, true, true, true, true},
                      true,
                      6,
                      milliseconds(4500)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedBusTest, RequestCountGoesOnAcrossReenumeration) {
    DeviceConfig config;
    config.faults = failFrom(2);
    plug(config);
    ASSERT_TRUE(send(enterBootloaderReport()));
    bus.sleep(*config.reenumerationDelay);
    const Handle bootloader = openDevice(bus.enumerateInterfaces().at(0).path);
    EXPECT_TRUE(bus.setFeature(bootloader, bootloaderRecordReport(1)));
    EXPECT_FALSE(bus.setFeature(bootloader, bootloaderRecordReport(2)));
    EXPECT_EQ(deviceState().bootloaderImage, recordBytes(1));
}

struct AccessFault {
    const char* name;
    FaultPlan plan;
    OpenError openError;
    bool attributesAnswered;  // with and without opening
    bool identityAnswered;
    bool pathListed;
};

FaultPlan planWith(bool FaultPlan::*fault) {
    FaultPlan plan;
    plan.*fault = true;
    return plan;
}

class AccessFaultTest : public SimulatedBusTest,
                        public ::testing::WithParamInterface<AccessFault> {};

TEST_P(AccessFaultTest, AffectsOnlyItsOwnQuery) {
    const AccessFault& fault = GetParam();
    DeviceConfig config;
    config.faults = fault.plan;
    path = bus.addDevice(config);
    EXPECT_EQ(bus.enumerateInterfaces().at(0).path, fault.pathListed ? path : std::string{});
    EXPECT_EQ(bus.attributesWithoutOpening(path).has_value(), fault.attributesAnswered);

    const OpenResult opened = bus.open(path, OpenMode::Plain);
    EXPECT_EQ(opened.error, fault.openError);
    EXPECT_EQ(opened.handle.has_value(), fault.openError == OpenError::None);
    EXPECT_EQ(bus.openHandleCount(), opened.handle ? 1 : 0);
    if (!opened.handle)
        return;
    handle = *opened.handle;
    EXPECT_EQ(bus.attributes(handle).has_value(), fault.attributesAnswered);
    Bytes buffer(16, 0);
    for (IdentityString which :
         {IdentityString::Manufacturer, IdentityString::Product, IdentityString::SerialNumber}) {
        EXPECT_EQ(bus.identityString(handle, which, buffer), fault.identityAnswered);
    }
    EXPECT_TRUE(send(commandReport(protocol::StartCommand)));
}

INSTANTIATE_TEST_SUITE_P(
    Plans, AccessFaultTest,
    ::testing::Values(AccessFault{"None", {}, OpenError::None, true, true, true},
                      AccessFault{"FailOpen", planWith(&FaultPlan::failOpen), OpenError::Other,
                                  true, true, true},
                      AccessFault{"PermissionDenied", planWith(&FaultPlan::permissionDenied),
                                  OpenError::PermissionDenied, true, true, true},
                      AccessFault{"FailAttributes", planWith(&FaultPlan::failAttributes),
                                  OpenError::None, false, true, true},
                      AccessFault{"FailIdentityStrings", planWith(&FaultPlan::failIdentityStrings),
                                  OpenError::None, true, false, true},
                      AccessFault{"NoInterfacePath", planWith(&FaultPlan::noInterfacePath),
                                  OpenError::None, true, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedBusTest, VirtualClockMovesWithSleepAndLatencyOnly) {
    DeviceConfig config;
    config.latencyPerTransfer = microseconds(1500);
    plug(config);
    EXPECT_EQ(bus.monotonicTime(), milliseconds(0));
    bus.sleep(milliseconds(7));
    bus.sleep(milliseconds(-5));
    EXPECT_EQ(bus.monotonicTime(), milliseconds(7));
    Bytes answer(ReportLength, 0);
    EXPECT_FALSE(fetch(answer)) << "refused, yet it took its time";
    EXPECT_TRUE(send(commandReport(protocol::StartCommand)));
    EXPECT_EQ(bus.monotonicTime(), milliseconds(10));
}

TEST(RealClock, SleepAndLatencyTakeAtLeastTheirTime) {
    SimulatedBus bus(SimulatedBus::Clock::Real);
    DeviceConfig config;
    config.latencyPerTransfer = microseconds(500);
    const Handle handle = bus.open(bus.addDevice(config), OpenMode::Plain).handle.value();
    const auto before = std::chrono::steady_clock::now();
    const milliseconds busBefore = bus.monotonicTime();
    bus.sleep(milliseconds(3));
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(bus.setFeature(handle, commandReport(protocol::StartCommand)));
    }
    EXPECT_GE(std::chrono::steady_clock::now() - before, milliseconds(5));
    EXPECT_GE(bus.monotonicTime() - busBefore, milliseconds(5));
}

TEST(RealClock, PreciseWaitNeverReturnsEarly) {
    for (const microseconds wait : {microseconds(0), microseconds(80), microseconds(1000)}) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        waitPreciselyUntil(deadline);
        EXPECT_GE(std::chrono::steady_clock::now(), deadline);
    }
}

}  // namespace
}  // namespace fwu::platform::simulated::testing
