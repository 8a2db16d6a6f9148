#include "simulated_test_support.h"

namespace fwu::platform::simulated::testing {
namespace {

using std::chrono::microseconds;

FaultPlan plan(std::optional<std::uint64_t> FaultPlan::*fault, std::uint64_t index) {
    FaultPlan faults;
    faults.*fault = index;
    faults.hangDuration = milliseconds(4500);
    return faults;
}

FaultPlan plan(bool FaultPlan::*fault) {
    FaultPlan faults;
    faults.*fault = true;
    return faults;
}

TEST(TransferFaults, FailExactlyThePlannedRequests) {
    const struct {
        FaultPlan faults;
        std::vector<bool> results;  // of start, read, write, read, write, read
        bool presentAfter;
        std::uint64_t requestsCounted;
        milliseconds clockAfter;
    } cases[] = {
        {{}, {1, 1, 1, 1, 1, 1}, true, 6, milliseconds(0)},
        {plan(&FaultPlan::failTransfersFrom, 0), {0, 0, 0, 0, 0, 0}, true, 6, milliseconds(0)},
        {plan(&FaultPlan::failTransfersFrom, 3), {1, 1, 1, 0, 0, 0}, true, 6, milliseconds(0)},
        {plan(&FaultPlan::unplugAtRequest, 2), {1, 1, 0, 0, 0, 0}, false, 3, milliseconds(0)},
        {plan(&FaultPlan::hangAtRequest, 1), {1, 0, 1, 1, 1, 1}, true, 6, milliseconds(4500)}};
    for (const auto& fault : cases) {
        SimulatedBus bus;
        DeviceConfig config;
        config.faults = fault.faults;
        const std::string device = bus.addDevice(config);
        const Handle opened = bus.open(device, OpenMode::Plain).handle.value();
        Bytes answer(ReportLength, 0);
        std::vector<bool> results = {bus.setFeature(opened, command(protocol::StartCommand))};
        for (int i = 0; i < 2; ++i) {
            results.push_back(bus.getFeature(opened, answer).has_value());
            results.push_back(bus.setFeature(opened, writeRecord(1)));
        }
        results.push_back(bus.getFeature(opened, answer).has_value());

        EXPECT_EQ(results, fault.results);
        EXPECT_EQ(bus.state(device).requests, fault.requestsCounted);
        EXPECT_EQ(bus.monotonicTime(), fault.clockAfter);
        ASSERT_EQ(bus.transcript().size(), results.size());
        for (std::size_t i = 0; i < results.size(); ++i) {
            EXPECT_EQ(bus.transcript()[i].succeeded, results[i]) << i;
        }
        bus.sleep(milliseconds(60'000));
        EXPECT_EQ(listedPaths(bus).size(), fault.presentAfter ? 1u : 0u) << "never returns";
    }
}

TEST_F(SimulatedBusTest, RequestCountGoesOnAcrossReenumeration) {
    DeviceConfig config;
    config.faults = plan(&FaultPlan::failTransfersFrom, 2);
    plug(config);
    ASSERT_TRUE(send(enterBootloader()));
    bus.sleep(*config.reenumerationDelay);
    handle = open(listed().at(0));
    EXPECT_TRUE(send(bootloaderRecord(1)));
    EXPECT_FALSE(send(bootloaderRecord(2)));
    EXPECT_EQ(state().bootloaderImage, recordBytes(1));
}

TEST_F(SimulatedBusTest, AccessFaultsAffectOnlyTheirOwnQuery) {
    const struct {
        FaultPlan faults;
        OpenError openError;
        bool attributesAnswered;  // with and without opening
        bool identityAnswered;
        bool pathListed;
    } cases[] = {
        {{}, OpenError::None, true, true, true},
        {plan(&FaultPlan::failOpen), OpenError::Other, true, true, true},
        {plan(&FaultPlan::permissionDenied), OpenError::PermissionDenied, true, true, true},
        {plan(&FaultPlan::failAttributes), OpenError::None, false, true, true},
        {plan(&FaultPlan::failIdentityStrings), OpenError::None, true, false, true},
        {plan(&FaultPlan::noInterfacePath), OpenError::None, true, true, false}};
    for (const auto& fault : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << (&fault - cases));
        DeviceConfig config;
        config.faults = fault.faults;
        path = bus.addDevice(config);
        EXPECT_EQ(listed().back(), fault.pathListed ? path : std::string{});
        EXPECT_EQ(bus.attributesWithoutOpening(path).has_value(), fault.attributesAnswered);
        const int handlesBefore = bus.openHandleCount();
        const OpenResult opened = bus.open(path, OpenMode::Plain);
        EXPECT_EQ(opened.error, fault.openError);
        EXPECT_EQ(bus.openHandleCount() - handlesBefore, opened.handle ? 1 : 0);
        if (!opened.handle)
            continue;
        handle = *opened.handle;
        EXPECT_EQ(bus.attributes(handle).has_value(), fault.attributesAnswered);
        Bytes buffer(16, 0);
        for (auto which : {IdentityString::Manufacturer, IdentityString::Product,
                           IdentityString::SerialNumber}) {
            EXPECT_EQ(bus.identityString(handle, which, buffer), fault.identityAnswered);
        }
        EXPECT_TRUE(send(command(protocol::StartCommand)));
    }
}

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
    EXPECT_TRUE(send(command(protocol::StartCommand)));
    EXPECT_EQ(bus.monotonicTime(), milliseconds(10));
}

}  // namespace
}  // namespace fwu::platform::simulated::testing
