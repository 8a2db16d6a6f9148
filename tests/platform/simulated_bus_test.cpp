#include <algorithm>

#include "simulated_test_support.h"

namespace fwu::platform::simulated::testing {
namespace {

using Paths = std::vector<std::string>;

constexpr std::uint16_t KeyboardVendorId = 0x1F3E;
constexpr std::uint16_t KeyboardProductId = 0x0042;

TEST_F(SimulatedBusTest, ListsDevicesInOrderOfAdditionUnderTheirModesIds) {
    DeviceConfig second;
    second.applicationProductId = protocol::ApplicationProductIds[1];
    second.versionNumber = 0x1234;
    DeviceConfig bootloader;
    bootloader.mode = DeviceMode::Bootloader;
    const Paths added = {bus.addDevice({}), bus.addForeignDevice(KeyboardVendorId, 1),
                         bus.addDevice(second), bus.addDevice(bootloader)};
    EXPECT_EQ(added, (Paths{"sim:hid0", "sim:hid1", "sim:hid2", "sim:hid3"}));
    bus.unplug(added[1]);
    EXPECT_EQ(listed(), (Paths{"sim:hid0", "sim:hid2", "sim:hid3"}));

    const Attributes expected[] = {{protocol::VendorId, protocol::ApplicationProductIds[0], 0x0105},
                                   {protocol::VendorId, protocol::ApplicationProductIds[1], 0x1234},
                                   {protocol::VendorId, protocol::BootloaderProductId, 0x0105}};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string devicePath = listed()[i];
        const Handle opened = open(devicePath);
        EXPECT_EQ(bus.attributes(opened), expected[i]) << devicePath;
        EXPECT_EQ(bus.attributesWithoutOpening(devicePath), expected[i]) << devicePath;
        EXPECT_EQ(bus.capabilities(opened)->featureReportByteLength, 65);
    }

    // A foreign device answers its attributes and nothing of the protocol.
    path = bus.addForeignDevice(KeyboardVendorId, KeyboardProductId);
    handle = open(path);
    EXPECT_EQ(bus.attributes(handle), (Attributes{KeyboardVendorId, KeyboardProductId, 0x0105}));
    EXPECT_EQ(bus.capabilities(handle)->featureReportByteLength, 0);
    Bytes buffer(ReportLength, 0);
    EXPECT_FALSE(bus.identityString(handle, IdentityString::Product, buffer));
    EXPECT_FALSE(send(command(protocol::StartCommand)) || send(enterBootloader()) || fetch(buffer));
}

TEST_F(SimulatedBusTest, CountsOpenHandlesAndClosesEachOnce) {
    plug();
    const Handle overlapped = bus.open(path, OpenMode::Overlapped).handle.value();
    EXPECT_NE(overlapped, handle);
    bus.unplug(path);
    EXPECT_EQ(bus.openHandleCount(), 2) << "a gone device's handles stay open until closed";
    EXPECT_FALSE(bus.attributes(handle) || bus.capabilities(handle));
    EXPECT_TRUE(bus.close(handle));
    EXPECT_FALSE(bus.close(handle));
    EXPECT_FALSE(bus.close(Handle{999}));
    EXPECT_EQ(bus.openHandleCount(), 1);
    EXPECT_TRUE(bus.close(overlapped));
    EXPECT_EQ(bus.openHandleCount(), 0);
    EXPECT_EQ(bus.openCount(), 2);
    EXPECT_FALSE(send(command(protocol::StartCommand)));
    EXPECT_TRUE(bus.transcript().empty()) << "a closed handle reaches no device";
}

TEST_F(SimulatedBusTest, AbsentPathsAreNotPresent) {
    plug();
    bus.unplug(path);
    for (const std::string& absent : {path, std::string{}, std::string{"sim:hid7"}}) {
        EXPECT_EQ(bus.open(absent, OpenMode::Plain).error, OpenError::NotPresent) << absent;
        EXPECT_FALSE(bus.attributesWithoutOpening(absent)) << absent;
        EXPECT_FALSE(bus.state(absent).present) << absent;
    }
    EXPECT_THROW(bus.config("sim:hid7"), std::out_of_range);
}

TEST_F(SimulatedBusTest, IdentityStringCopiesNoMoreThanTheBufferHolds) {
    const struct {
        Bytes configured;
        std::size_t bufferSize;
        Bytes expected;  // the buffer afterwards; it starts filled with 0xAA
    } cases[] = {{utf16Bytes(u"AB"), 8, {'A', 0, 'B', 0, 0, 0, 0xAA, 0xAA}},
                 {utf16Bytes(u"AB"), 3, {'A', 0, 'B'}},
                 {utf16Bytes(u"AB"), 0, {}},
                 {{'A', 0, 0x00, 0x01}, 6, {'A', 0, 0, 1, 0xAA, 0xAA}},
                 {{}, 2, {0xAA, 0xAA}}};
    for (const auto& [configured, bufferSize, expected] : cases) {
        DeviceConfig config;
        config.serialNumber = configured;
        plug(config);
        Bytes buffer(bufferSize, 0xAA);
        ASSERT_TRUE(bus.identityString(handle, IdentityString::SerialNumber, buffer));
        EXPECT_EQ(buffer, expected);
    }
}

TEST_F(SimulatedBusTest, TranscriptHoldsWhatCrossedTheBusAndTheObserverSeesIt) {
    std::vector<TranscriptEntry> observed;
    bus.setTranscriptObserver([&](const TranscriptEntry& entry) { observed.push_back(entry); });
    DeviceConfig config;
    config.featureReportLength = 40;
    plug(config);
    const Bytes start = command(protocol::StartCommand, 40);
    const Bytes refused = command(9, 3);
    ASSERT_TRUE(send(start));
    ASSERT_FALSE(send(refused));
    Bytes answer(41, 0);
    ASSERT_EQ(fetch(answer), 40u);
    bus.unplug(path);
    ASSERT_FALSE(send(start));
    ASSERT_FALSE(fetch(answer));

    const struct {
        Direction direction;
        Bytes bytes;
        bool succeeded;
    } expected[] = {{Direction::HostToDevice, start, true},
                    {Direction::HostToDevice, refused, false},
                    {Direction::DeviceToHost, Bytes(answer.begin(), answer.end() - 1), true},
                    {Direction::HostToDevice, start, false},
                    {Direction::DeviceToHost, {}, false}};
    ASSERT_EQ(bus.transcript().size(), std::size(expected));
    ASSERT_EQ(observed.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        for (const TranscriptEntry& entry : {bus.transcript()[i], observed[i]}) {
            EXPECT_EQ(entry.direction, expected[i].direction) << i;
            EXPECT_EQ(entry.bytes, expected[i].bytes) << i;
            EXPECT_EQ(entry.succeeded, expected[i].succeeded) << i;
            EXPECT_EQ(entry.devicePath, path);
        }
    }

    bus.setTranscriptRecording(false);
    plug();
    ASSERT_TRUE(send(start));
    EXPECT_EQ(bus.transcript().size(), std::size(expected));
    EXPECT_EQ(observed.size(), std::size(expected) + 1);
}

TEST(Reenumeration, MagicSendsTheDeviceAwayAndBackInItsBootloaderUnderANewPath) {
    const struct {
        std::optional<milliseconds> delay;
        bool transferFails;
        bool unpluggedWhileAway;
    } runs[] = {{milliseconds(300), false, false},
                {milliseconds(0), false, false},
                {std::nullopt, false, false},
                {milliseconds(50), true, false},
                {milliseconds(300), false, true}};
    for (const auto& [delay, transferFails, unpluggedWhileAway] : runs) {
        SCOPED_TRACE(::testing::Message() << delay.value_or(milliseconds(-1)).count() << " ms");
        SimulatedBus bus;
        DeviceConfig config;
        config.reenumerationDelay = delay;
        config.faults.bootloaderEntryTransferFails = transferFails;
        const std::string application = bus.addDevice(config);
        bus.addForeignDevice(KeyboardVendorId, KeyboardProductId);
        const Handle handle = bus.open(application, OpenMode::Plain).handle.value();
        EXPECT_EQ(bus.setFeature(handle, enterBootloader()), !transferFails);
        EXPECT_EQ(bus.state(application).enterBootloaderCount, 1u);
        EXPECT_FALSE(bus.setFeature(handle, command(protocol::StartCommand))) << "a dead handle";
        EXPECT_FALSE(bus.attributes(handle));
        if (unpluggedWhileAway) {
            bus.unplug(application);
            bus.sleep(milliseconds(10'000));
            EXPECT_EQ(listedPaths(bus), Paths{"sim:hid1"}) << "it stays away";
            continue;
        }

        const milliseconds wait = delay.value_or(milliseconds(60'000));
        if (wait > milliseconds(0)) {
            EXPECT_EQ(listedPaths(bus), Paths{"sim:hid1"});
            bus.sleep(wait - milliseconds(1));
            EXPECT_EQ(listedPaths(bus), Paths{"sim:hid1"});
            bus.sleep(milliseconds(1));
        }
        if (!delay) {
            EXPECT_EQ(listedPaths(bus), Paths{"sim:hid1"});
            continue;
        }
        ASSERT_EQ(listedPaths(bus), (Paths{"sim:hid1", "sim:hid2"}));
        const Handle bootloader = bus.open("sim:hid2", OpenMode::Plain).handle.value();
        EXPECT_EQ(bus.attributes(bootloader)->productId, protocol::BootloaderProductId);
        EXPECT_TRUE(bus.setFeature(bootloader, bootloaderRecord(3)));
        EXPECT_EQ(bus.state("sim:hid2").bootloaderImage, recordBytes(3));
        EXPECT_FALSE(bus.state(application).present);
        EXPECT_EQ(bus.state(application).mode, DeviceMode::Bootloader) << "the same device";
        EXPECT_FALSE(bus.setFeature(handle, bootloaderRecord(4)));
    }
}

}  // namespace
}  // namespace fwu::platform::simulated::testing
