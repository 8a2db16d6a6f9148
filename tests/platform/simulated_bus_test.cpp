#include <algorithm>
#include <string>

#include "simulated_test_support.h"

namespace fwu::platform::simulated::testing {
namespace {

using std::chrono::milliseconds;

constexpr std::uint16_t KeyboardVendorId = 0x1F3E;
constexpr std::uint16_t KeyboardProductId = 0x0042;

std::vector<std::string> paths(SimulatedBus& bus) {
    std::vector<std::string> result;
    for (const InterfaceEntry& entry : bus.enumerateInterfaces())
        result.push_back(entry.path);
    return result;
}

TEST_F(SimulatedBusTest, ListsDevicesInOrderOfAdditionWithTheirModesIds) {
    DeviceConfig second;
    second.applicationProductId = protocol::ApplicationProductIds[1];
    second.versionNumber = 0x1234;
    DeviceConfig bootloader;
    bootloader.mode = DeviceMode::Bootloader;
    const std::vector<std::string> added = {
        bus.addDevice({}), bus.addForeignDevice(KeyboardVendorId, KeyboardProductId),
        bus.addDevice(second), bus.addDevice(bootloader)};
    EXPECT_EQ(added, (std::vector<std::string>{"sim:hid0", "sim:hid1", "sim:hid2", "sim:hid3"}));
    bus.unplug(added[1]);
    EXPECT_EQ(paths(bus), (std::vector<std::string>{"sim:hid0", "sim:hid2", "sim:hid3"}));

    const std::vector<Attributes> expected = {
        {protocol::VendorId, protocol::ApplicationProductIds[0], 0x0105},
        {protocol::VendorId, protocol::ApplicationProductIds[1], 0x1234},
        {protocol::VendorId, protocol::BootloaderProductId, 0x0105}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string devicePath = paths(bus)[i];
        const Handle opened = openDevice(devicePath);
        EXPECT_EQ(bus.attributes(opened), expected[i]) << devicePath;
        EXPECT_EQ(bus.attributesWithoutOpening(devicePath), expected[i]) << devicePath;
        EXPECT_EQ(bus.capabilities(opened)->featureReportByteLength, 65);
        EXPECT_TRUE(bus.close(opened));
    }
}

TEST_F(SimulatedBusTest, ForeignDeviceAnswersOnlyItsAttributes) {
    path = bus.addForeignDevice(KeyboardVendorId, KeyboardProductId);
    handle = openDevice(path);
    EXPECT_EQ(bus.attributes(handle), (Attributes{KeyboardVendorId, KeyboardProductId, 0x0105}));
    EXPECT_EQ(bus.capabilities(handle)->featureReportByteLength, 0);
    Bytes buffer(ReportLength, 0);
    EXPECT_FALSE(bus.identityString(handle, IdentityString::Product, buffer));
    EXPECT_FALSE(send(commandReport(protocol::StartCommand)));
    EXPECT_FALSE(send(enterBootloaderReport()));
    EXPECT_FALSE(fetch(buffer));
    EXPECT_EQ(paths(bus), std::vector<std::string>{path});
    EXPECT_TRUE(bus.close(handle));
    EXPECT_EQ(bus.openHandleCount(), 0);
}

TEST_F(SimulatedBusTest, CountsOpenHandlesAndClosesEachOnce) {
    plug();
    const Handle overlapped = bus.open(path, OpenMode::Overlapped).handle.value();
    EXPECT_NE(overlapped, handle);
    EXPECT_EQ(bus.openHandleCount(), 2);
    bus.unplug(path);
    EXPECT_EQ(bus.openHandleCount(), 2) << "a gone device's handles stay open until closed";
    EXPECT_FALSE(bus.attributes(handle));
    EXPECT_FALSE(bus.capabilities(handle));
    EXPECT_TRUE(bus.close(handle));
    EXPECT_FALSE(bus.close(handle));
    EXPECT_FALSE(bus.close(Handle{999}));
    EXPECT_EQ(bus.openHandleCount(), 1);
    EXPECT_TRUE(bus.close(overlapped));
    EXPECT_EQ(bus.openHandleCount(), 0);
    EXPECT_EQ(bus.openCount(), 2);
    EXPECT_FALSE(send(commandReport(protocol::StartCommand)));
    EXPECT_TRUE(bus.transcript().empty()) << "a closed handle reaches no device";
}

TEST_F(SimulatedBusTest, OpenOfAnAbsentPathTellsNotPresent) {
    plug();
    bus.unplug(path);
    for (const std::string& absent : {path, std::string{}, std::string{"sim:hid7"}}) {
        const OpenResult result = bus.open(absent, OpenMode::Plain);
        EXPECT_FALSE(result.handle) << absent;
        EXPECT_EQ(result.error, OpenError::NotPresent) << absent;
    }
    EXPECT_FALSE(bus.attributesWithoutOpening(path));
    EXPECT_FALSE(bus.state(path).present);
    EXPECT_FALSE(bus.state("sim:hid9").present);
    EXPECT_THROW(bus.config("sim:hid9"), std::out_of_range);
}

struct IdentityCase {
    const char* name;
    Bytes configured;
    std::size_t bufferSize;
    Bytes expected;  // the buffer afterwards; it starts filled with 0xAA
};

class IdentityStringTest : public SimulatedBusTest,
                           public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(IdentityStringTest, CopiesNoMoreThanTheBufferHolds) {
    DeviceConfig config;
    config.serialNumber = GetParam().configured;
    plug(config);
    Bytes buffer(GetParam().bufferSize, 0xAA);
    ASSERT_TRUE(bus.identityString(handle, IdentityString::SerialNumber, buffer));
    EXPECT_EQ(buffer, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, IdentityStringTest,
    ::testing::Values(
        IdentityCase{"Fits", utf16Bytes(u"AB"), 8, {'A', 0, 'B', 0, 0, 0, 0xAA, 0xAA}},
        IdentityCase{"CutAtOddLength", utf16Bytes(u"AB"), 3, {'A', 0, 'B'}},
        IdentityCase{"EmptyBuffer", utf16Bytes(u"AB"), 0, {}},
        IdentityCase{"NoTerminator", {'A', 0, 0x00, 0x01}, 6, {'A', 0, 0, 1, 0xAA, 0xAA}},
        IdentityCase{"Empty", {}, 2, {0xAA, 0xAA}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedBusTest, DefaultIdentityNamesTheSimulatedDevice) {
    plug();
    Bytes buffer(64, 0);
    ASSERT_TRUE(bus.identityString(handle, IdentityString::Manufacturer, buffer));
    const Bytes expected = utf16Bytes(u"Simulated Devices");
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
}

TEST_F(SimulatedBusTest, TranscriptHoldsWhatCrossedTheBusAndTheObserverSeesIt) {
    std::vector<TranscriptEntry> observed;
    bus.setTranscriptObserver([&](const TranscriptEntry& entry) { observed.push_back(entry); });
    DeviceConfig config;
    config.featureReportLength = 40;
    plug(config);
    const Bytes start = commandReport(protocol::StartCommand, 40);
    const Bytes refused = commandReport(9, 3);
    ASSERT_TRUE(send(start));
    ASSERT_FALSE(send(refused));
    Bytes answer(41, 0);
    ASSERT_EQ(fetch(answer), 40u);
    ASSERT_TRUE(send(commandReport(protocol::StartCommand)));
    bus.unplug(path);
    Bytes empty(8, 0);
    ASSERT_FALSE(fetch(empty));

    const auto& transcript = bus.transcript();
    ASSERT_EQ(transcript.size(), 5u);
    ASSERT_EQ(observed.size(), 5u);
    EXPECT_EQ(transcript[0].bytes, start);
    EXPECT_EQ(transcript[1].bytes, refused);
    EXPECT_FALSE(transcript[1].succeeded);
    EXPECT_EQ(transcript[2].direction, Direction::DeviceToHost);
    EXPECT_EQ(transcript[2].bytes, Bytes(answer.begin(), answer.begin() + 40));
    EXPECT_EQ(transcript[3].bytes.size(), ReportLength);
    EXPECT_TRUE(transcript[4].bytes.empty());
    EXPECT_FALSE(transcript[4].succeeded);
    for (std::size_t i = 0; i < transcript.size(); ++i) {
        EXPECT_EQ(transcript[i].devicePath, path);
        EXPECT_EQ(observed[i].bytes, transcript[i].bytes);
        EXPECT_EQ(observed[i].succeeded, transcript[i].succeeded);
    }

    bus.clearTranscript();
    bus.setTranscriptRecording(false);
    plug();
    ASSERT_TRUE(send(start));
    EXPECT_TRUE(bus.transcript().empty());
    EXPECT_EQ(observed.size(), 6u);
}

struct Reenumeration {
    const char* name;
    std::optional<milliseconds> delay;
    bool transferFails;
};

class ReenumerationTest : public SimulatedBusTest,
                          public ::testing::WithParamInterface<Reenumeration> {};

TEST_P(ReenumerationTest, MagicSendsTheDeviceAwayAndBackInItsBootloaderUnderANewPath) {
    const Reenumeration& run = GetParam();
    DeviceConfig config;
    config.reenumerationDelay = run.delay;
    config.faults.bootloaderEntryTransferFails = run.transferFails;
    plug(config);
    bus.addForeignDevice(KeyboardVendorId, KeyboardProductId);
    EXPECT_EQ(send(enterBootloaderReport()), !run.transferFails);
    EXPECT_EQ(deviceState().enterBootloaderCount, 1u);
    EXPECT_FALSE(send(commandReport(protocol::StartCommand))) << "the old handle is dead";
    EXPECT_FALSE(bus.attributes(handle));

    const milliseconds wait = run.delay.value_or(milliseconds(60'000));
    if (wait > milliseconds(0)) {
        EXPECT_EQ(paths(bus), std::vector<std::string>{"sim:hid1"});
        bus.sleep(wait - milliseconds(1));
        EXPECT_EQ(paths(bus), std::vector<std::string>{"sim:hid1"});
        bus.sleep(milliseconds(1));
    }
    if (!run.delay) {
        EXPECT_EQ(paths(bus), std::vector<std::string>{"sim:hid1"});
        return;
    }
    ASSERT_EQ(paths(bus), (std::vector<std::string>{"sim:hid1", "sim:hid2"}));
    const Handle bootloader = openDevice("sim:hid2");
    EXPECT_EQ(bus.attributes(bootloader)->productId, protocol::BootloaderProductId);
    EXPECT_TRUE(bus.setFeature(bootloader, bootloaderRecordReport(3)));
    EXPECT_EQ(bus.state("sim:hid2").bootloaderImage, recordBytes(3));
    EXPECT_FALSE(deviceState().present);
    EXPECT_EQ(deviceState().mode, DeviceMode::Bootloader) << "the old path names the same device";
    EXPECT_FALSE(send(bootloaderRecordReport(4)));
}

INSTANTIATE_TEST_SUITE_P(Delays, ReenumerationTest,
                         ::testing::Values(Reenumeration{"AfterDelay", milliseconds(300), false},
                                           Reenumeration{"AtOnce", milliseconds(0), false},
                                           Reenumeration{"Never", std::nullopt, false},
                                           Reenumeration{"TransferFailsYetObeyed", milliseconds(50),
                                                         true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedBusTest, LatencyAloneBringsTheDeviceBack) {
    DeviceConfig config;
    config.reenumerationDelay = milliseconds(1);
    config.latencyPerTransfer = std::chrono::microseconds(1500);
    plug(config);
    const std::string other = bus.addDevice(config);
    const Handle otherHandle = openDevice(other);
    ASSERT_TRUE(send(enterBootloaderReport()));
    ASSERT_TRUE(bus.setFeature(otherHandle, commandReport(protocol::StartCommand)));
    EXPECT_EQ(paths(bus), (std::vector<std::string>{"sim:hid1", "sim:hid2"}));
}

TEST_F(SimulatedBusTest, UnplugDuringReenumerationKeepsTheDeviceAway) {
    plug();
    ASSERT_TRUE(send(enterBootloaderReport()));
    bus.unplug(path);
    bus.sleep(milliseconds(10'000));
    EXPECT_TRUE(paths(bus).empty());
}

}  // namespace
}  // namespace fwu::platform::simulated::testing
