#include "device/device_link.h"

#include <gtest/gtest.h>

#include "platform/simulated/simulated_bus.h"

namespace fwu::device {
namespace {

using platform::simulated::DeviceConfig;
using platform::simulated::DeviceMode;
using platform::simulated::SimulatedBus;

// Counts the platform's close calls and can make the overlapped open fail, as when the device
// leaves between the match and the second open.
class ObservedBus : public SimulatedBus {
  public:
    bool close(platform::Handle handle) override {
        ++closeCalls;
        return SimulatedBus::close(handle);
    }
    platform::OpenResult open(const std::string& path, platform::OpenMode mode) override {
        if (mode == platform::OpenMode::Overlapped && failOverlappedOpen) {
            return {std::nullopt, platform::OpenError::NotPresent};
        }
        return SimulatedBus::open(path, mode);
    }
    int closeCalls = 0;
    bool failOverlappedOpen = false;
};

DeviceConfig applicationDevice(std::uint16_t productId = protocol::ApplicationProductIds[0]) {
    DeviceConfig config;
    config.applicationProductId = productId;
    return config;
}

TEST(FindTheHid, FindsNoSupportedDeviceAndClosesEveryInterfaceItOpened) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::uint16_t, std::uint16_t>> foreign;
        bool lockedDevice;  // a supported device this user may not open
        int opens;
    };
    const Case cases[] = {
        {"no interfaces", {}, false, 0},
        {"only foreign devices",
         {{0x046D, 0xC077},                          // another vendor
          {protocol::VendorId, 0x1234},              // our vendor, unknown product
          {0x1234, protocol::BootloaderProductId}},  // our product ID, wrong vendor
         false,
         3},
        {"permission denied", {}, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBus bus;
        for (const auto& [vendor, product] : c.foreign)
            bus.addForeignDevice(vendor, product);
        if (c.lockedDevice) {
            auto locked = applicationDevice();
            locked.faults.permissionDenied = true;
            bus.addDevice(locked);
        }
        DeviceLink link(bus);
        EXPECT_FALSE(link.findTheHid());
        EXPECT_FALSE(link.deviceDetected());
        EXPECT_EQ(link.permissionDenied(), c.lockedDevice);
        EXPECT_EQ(bus.openCount(), c.opens);
        EXPECT_EQ(bus.openHandleCount(), 0);
    }
}

TEST(FindTheHid, MatchesEveryModeOfTheFamily) {
    struct Case {
        DeviceMode mode;
        std::uint16_t applicationProductId;
        std::uint16_t expectedProductId;
    };
    const Case cases[] = {
        {DeviceMode::Application, protocol::ApplicationProductIds[0],
         protocol::ApplicationProductIds[0]},
        {DeviceMode::Application, protocol::ApplicationProductIds[1],
         protocol::ApplicationProductIds[1]},
        {DeviceMode::Bootloader, protocol::ApplicationProductIds[0], protocol::BootloaderProductId},
    };
    for (const auto& c : cases) {
        SimulatedBus bus;
        bus.addForeignDevice(0x046D, 0xC077);
        auto config = applicationDevice(c.applicationProductId);
        config.mode = c.mode;
        config.featureReportLength = 64;
        const auto path = bus.addDevice(config);
        DeviceLink link(bus);
        ASSERT_TRUE(link.findTheHid());
        EXPECT_EQ(link.attributes().productId, c.expectedProductId);
        EXPECT_EQ(link.inBootloaderMode(), c.mode == DeviceMode::Bootloader);
        EXPECT_EQ(link.devicePath(), path);
        EXPECT_EQ(link.featureReportLength(), 64);
        EXPECT_EQ(bus.openHandleCount(), 2);  // plain and overlapped
    }
}

TEST(FindTheHid, TheFirstSupportedInterfaceWinsAndLaterOnesAreNeverOpened) {
    SimulatedBus bus;
    const auto first = bus.addDevice(applicationDevice());
    bus.addDevice(applicationDevice(protocol::ApplicationProductIds[1]));
    DeviceLink link(bus);
    ASSERT_TRUE(link.findTheHid());
    EXPECT_EQ(link.devicePath(), first);
    EXPECT_EQ(bus.openCount(), 2);
}

TEST(FindTheHid, PassesOverInterfacesItCannotUse) {
    struct Case {
        const char* name;
        void (*plant)(platform::simulated::FaultPlan&);
    };
    const Case cases[] = {
        {"open fails", [](auto& f) { f.failOpen = true; }},
        {"attributes fail", [](auto& f) { f.failAttributes = true; }},
        {"no interface path", [](auto& f) { f.noInterfacePath = true; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBus bus;
        auto broken = applicationDevice();
        c.plant(broken.faults);
        bus.addDevice(broken);
        const auto good = bus.addDevice(applicationDevice());
        DeviceLink link(bus);
        ASSERT_TRUE(link.findTheHid());
        EXPECT_EQ(link.devicePath(), good);
        EXPECT_FALSE(link.permissionDenied());
        link.closeConnection();
        EXPECT_EQ(bus.openHandleCount(), 0);
    }
}

TEST(FindTheHid, DeviceGoneBeforeTheSecondOpenStillConnectsOnOneHandle) {
    ObservedBus bus;
    bus.failOverlappedOpen = true;
    bus.addDevice(applicationDevice());
    DeviceLink link(bus);
    EXPECT_TRUE(link.findTheHid());
    EXPECT_FALSE(link.overlappedHandle().has_value());
    EXPECT_EQ(bus.openHandleCount(), 1);
}

TEST(CloseConnection, ClosesEachHandleOnceAndNeverAgain) {
    ObservedBus bus;
    bus.addDevice(applicationDevice());
    DeviceLink link(bus);
    link.closeConnection();  // nothing opened yet
    EXPECT_EQ(bus.closeCalls, 0);
    ASSERT_TRUE(link.findTheHid());
    link.closeConnection();
    EXPECT_EQ(bus.closeCalls, 2);
    EXPECT_EQ(bus.openHandleCount(), 0);
    link.closeConnection();
    EXPECT_EQ(bus.closeCalls, 2);
    EXPECT_TRUE(link.deviceDetected());  // closing does not forget what was found
}

// A device whose feature reports are 10 bytes long.
DeviceConfig tenByteReports() {
    auto config = applicationDevice();
    config.featureReportLength = 10;
    return config;
}

TEST(FeatureTransfers, SendExactlyTheReportLengthFromALongerBuffer) {
    SimulatedBus bus;
    bus.addDevice(tenByteReports());
    DeviceLink link(bus);
    ASSERT_TRUE(link.findTheHid());

    std::vector<std::uint8_t> buffer(11, 0);  // L + 1 positions
    buffer[1] = protocol::StartCommand;
    buffer[10] = 0x77;  // never transferred
    ASSERT_TRUE(link.sendFeatureReport(buffer));
    ASSERT_EQ(bus.transcript().size(), 1u);
    EXPECT_EQ(bus.transcript()[0].bytes,
              std::vector<std::uint8_t>(buffer.begin(), buffer.end() - 1));

    std::vector<std::uint8_t> answer(11, 0xAA);
    const auto delivered = link.readFeatureReport(answer);
    ASSERT_TRUE(delivered.has_value());
    EXPECT_EQ(*delivered, 10u);
    EXPECT_EQ(answer[10], 0xAA);  // beyond the report: untouched
}

TEST(FeatureTransfers, RefuseBuffersShorterThanTheReportAndClosedConnections) {
    SimulatedBus bus;
    bus.addDevice(tenByteReports());
    DeviceLink link(bus);
    std::vector<std::uint8_t> buffer(10, 0);
    EXPECT_FALSE(link.sendFeatureReport(buffer));  // not connected yet
    ASSERT_TRUE(link.findTheHid());
    std::vector<std::uint8_t> tooShort(9, 0);
    EXPECT_FALSE(link.sendFeatureReport(tooShort));
    EXPECT_FALSE(link.readFeatureReport(tooShort).has_value());
    link.closeConnection();
    EXPECT_FALSE(link.sendFeatureReport(buffer));
    EXPECT_TRUE(bus.transcript().empty());
}

}  // namespace
}  // namespace fwu::device
