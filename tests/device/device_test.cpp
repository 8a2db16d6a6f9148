// The device search, the connection's handles and transfers, the identity captions, and the
// report builders' refusal of a buffer too small. The bytes of each report are checked on the
// wire by the operations' tests.
#include <gtest/gtest.h>

#include <functional>

#include "device/device_link.h"
#include "device/identity.h"
#include "device/reports.h"
#include "simulator/simulated_bus.h"

namespace fwu::device {
namespace {

using Bytes = std::vector<std::uint8_t>;
using simulator::DeviceConfig;
using simulator::DeviceMode;
using simulator::SimulatedBus;
using simulator::utf16Bytes;

// Counts the close calls, checks that every open has a path, and fails the overlapped open (the
// device left between the two opens) or the capabilities query when told to.
class ObservedBus : public SimulatedBus {
  public:
    int closeCalls = 0;
    bool failOverlappedOpen = false;
    bool failCapabilities = false;

    bool close(platform::Handle handle) override {
        ++closeCalls;
        return SimulatedBus::close(handle);
    }
    platform::OpenResult open(const std::string& path, platform::OpenMode mode) override {
        EXPECT_FALSE(path.empty()) << "an interface without a path is passed over, never opened";
        if (mode == platform::OpenMode::Overlapped && failOverlappedOpen)
            return {std::nullopt, platform::OpenError::NotPresent};
        return SimulatedBus::open(path, mode);
    }
    std::optional<platform::Capabilities> capabilities(platform::Handle handle) override {
        return failCapabilities ? std::nullopt : SimulatedBus::capabilities(handle);
    }
};

// One interface per letter: a and b the two application-mode IDs, B the bootloader, v another
// vendor, p an unknown product of ours, w our bootloader ID under another vendor; and devices of
// ours that this user may not open (L), whose open fails (o), whose attributes fail (t), that
// are enumerated without a path (n) or that another program holds (h).
DeviceConfig interfaceFor(char code) {
    DeviceConfig config;
    config.featureReportLength = 64;
    config.vendorId = code == 'v' ? 0x046D : code == 'w' ? 0x1234 : protocol::VendorId;
    config.applicationProductId = code == 'b'   ? protocol::ApplicationProductIds[1]
                                  : code == 'p' ? 0x1234
                                  : code == 'w' ? protocol::BootloaderProductId
                                                : protocol::ApplicationProductIds[0];
    config.mode = code == 'B' ? DeviceMode::Bootloader : DeviceMode::Application;
    config.faults.permissionDenied = code == 'L';
    config.faults.failOpen = code == 'o';
    config.faults.failAttributes = code == 't';
    config.faults.noInterfacePath = code == 'n';
    if (code == 'h')
        config.faults.heldByAnotherProgram = platform::DeviceHolder{"station", 77};
    return config;
}

TEST(FindTheHid, OpensTheFirstSupportedInterfaceAndClosesEveryOtherItOpened) {
    const std::tuple<std::string, bool, int> cases[] = {
        // interfaces, permission denied, opens
        {"", false, 0},   {"vpw", false, 3}, {"L", true, 0},   {"b", false, 2}, {"B", false, 2},
        {"ab", false, 2}, {"oa", false, 2},  {"ta", false, 3}, {"na", false, 2}};
    for (const auto& [interfaces, permissionDenied, opens] : cases) {
        SCOPED_TRACE(interfaces);
        ObservedBus bus;
        std::vector<std::string> paths;
        for (const char code : interfaces)
            paths.push_back(bus.addDevice(interfaceFor(code)));
        DeviceLink link(bus);
        const auto found = interfaces.find_first_of("abB");

        EXPECT_EQ(link.findTheHid(), found != std::string::npos);

        EXPECT_EQ(link.permissionDenied(), permissionDenied);
        EXPECT_EQ(bus.openCount(), opens);
        EXPECT_EQ(bus.openHandleCount(), found != std::string::npos ? 2 : 0);  // two handles
        if (found != std::string::npos) {
            EXPECT_EQ(link.devicePath(), paths[found]);
            EXPECT_EQ(link.inBootloaderMode(), interfaces[found] == 'B');
            EXPECT_EQ(link.featureReportLength(), 64);
        }
    }
}

// A device that another program holds is passed over, the first one named, and nothing sent
// to it; so is one that another link of this program holds, until that link lets go.
TEST(FindTheHid, PassesOverADeviceThatAnotherProgramHolds) {
    const std::tuple<std::string, int, int> cases[] = {
        // interfaces, device found (-1: none), device in use (-1: none)
        {"h", -1, 0},
        {"hha", 2, 0},
        {"ah", 0, -1},
        {"vhL", -1, 1}};
    for (const auto& [interfaces, found, inUse] : cases) {
        SCOPED_TRACE(interfaces);
        ObservedBus bus;
        for (const char code : interfaces)
            bus.addDevice(interfaceFor(code));
        DeviceLink link(bus);
        EXPECT_EQ(link.findTheHid(), found >= 0);
        EXPECT_EQ(link.inUse() ? link.inUse()->path : "",
                  inUse >= 0 ? "sim:hid" + std::to_string(inUse) : "");
        EXPECT_EQ(bus.openHandleCount(), found >= 0 ? 2 : 0);
        EXPECT_TRUE(bus.transcript().empty());
    }
    ObservedBus bus;
    bus.addDevice(interfaceFor('h'));
    bus.addDevice(interfaceFor('a'));
    DeviceLink first(bus), second(bus);
    ASSERT_TRUE(first.findTheHid());
    EXPECT_FALSE(second.findTheHid());
    EXPECT_EQ(second.inUse()->holder, (platform::DeviceHolder{"station", 77}));
    EXPECT_EQ(bus.holderOf("sim:hid1"), platform::DeviceHolder{});
    first.closeConnection();
    EXPECT_FALSE(bus.holderOf("sim:hid1"));
    EXPECT_TRUE(second.findTheHid());
}

// Each handle is closed once; transfers move exactly the report length, never without a
// connection or with a buffer too short; and a search again keeps nothing of the earlier one.
TEST(DeviceLink, ClosesEachHandleOnceTransfersOnlyWhatFitsAndForgetsAnEarlierSearch) {
    ObservedBus bus;
    const auto path = bus.addDevice(interfaceFor('a'));
    DeviceLink link(bus);
    Bytes buffer(65, 0);  // L + 1 positions
    buffer[1] = protocol::StartCommand;
    buffer[64] = 0xAA;  // never transferred
    EXPECT_FALSE(link.sendFeatureReport(buffer));
    link.closeConnection();
    EXPECT_EQ(bus.closeCalls, 0);
    ASSERT_TRUE(link.findTheHid());
    Bytes tooShort(63, 0);
    EXPECT_FALSE(link.sendFeatureReport(tooShort) || link.readFeatureReport(tooShort));
    ASSERT_TRUE(link.sendFeatureReport(buffer));
    EXPECT_EQ(bus.transcript().at(0).bytes, Bytes(buffer.begin(), buffer.end() - 1));
    EXPECT_EQ(link.readFeatureReport(buffer), std::optional<std::size_t>(64));
    EXPECT_EQ(buffer[64], 0xAA);  // beyond the report: untouched
    link.closeConnection();
    link.closeConnection();
    EXPECT_EQ(bus.closeCalls, 2);
    EXPECT_FALSE(link.sendFeatureReport(buffer));
    EXPECT_EQ(bus.transcript().size(), 2u);
    EXPECT_TRUE(link.deviceDetected());  // closing does not forget what was found

    bus.failOverlappedOpen = true;  // the device left before the second open: one handle
    bus.failCapabilities = true;    // no report length: every operation refuses the device
    ASSERT_TRUE(link.findTheHid());
    EXPECT_FALSE(link.overlappedHandle().has_value());
    EXPECT_EQ(link.featureReportLength(), 0);
    link.closeConnection();
    EXPECT_EQ(bus.closeCalls, 3);
    bus.config(path).faults.failAttributes = true;  // the IDs of the earlier search never match
    EXPECT_FALSE(link.findTheHid());
    EXPECT_EQ(bus.openHandleCount(), 0);
}

// Devices with serial numbers A, B, none and B again: a chosen path is the only interface
// opened; a chosen serial number passes over every other device, each closed again.
TEST(FindTheHid, TakesOnlyTheChosenDevice) {
    const std::tuple<DeviceChoice, int, int> cases[] = {
        // choice, device found (-1: none), opens
        {{}, 0, 2},
        {{"sim:hid2", {}}, 2, 2},
        {{{}, "B"}, 1, 3},
        {{"sim:hid3", "B"}, 3, 2},
        {{"sim:hid0", "B"}, -1, 1},
        {{{}, "Z"}, -1, 4},
    };
    for (const auto& [choice, found, opens] : cases) {
        SCOPED_TRACE(choice.path.value_or("any") + " " + choice.serialNumber.value_or("any"));
        ObservedBus bus;
        for (const auto* serial : {u"A", u"B", u"", u"B"}) {
            DeviceConfig config;
            config.serialNumber = *serial ? utf16Bytes(serial) : Bytes{};
            bus.addDevice(config);
        }
        DeviceLink link(bus);
        link.choose(choice);
        EXPECT_EQ(link.findTheHid(), found >= 0);
        EXPECT_EQ(bus.openCount(), opens);
        EXPECT_EQ(bus.openHandleCount(), found >= 0 ? 2 : 0);
        if (found >= 0) {
            EXPECT_EQ(link.devicePath(), "sim:hid" + std::to_string(found));
        }
    }
}

// Two devices restart at once and the other one's bootloader comes back first: a link that
// follows its device by serial number takes its own. A device without one cannot be followed.
TEST(DeviceLink, FollowsItsDeviceThroughARestartBySerialNumber) {
    SimulatedBus bus;
    DeviceConfig other, own, unnamed;
    other.serialNumber = utf16Bytes(u"A"),
    other.reenumerationDelay = std::chrono::milliseconds(100);
    own.serialNumber = utf16Bytes(u"B");
    unnamed.serialNumber.clear();
    for (const auto& config : {other, own, unnamed})
        bus.addDevice(config);
    DeviceLink link(bus), otherLink(bus);
    link.choose({"sim:hid2", {}});
    EXPECT_FALSE(link.followBySerialNumber()) << "nothing open";
    ASSERT_TRUE(link.findTheHid());
    EXPECT_FALSE(link.followBySerialNumber());
    EXPECT_EQ(link.choice(), (DeviceChoice{"sim:hid2", {}}));
    link.closeConnection();
    link.choose({"sim:hid1", {}});
    otherLink.choose({"sim:hid0", {}});
    ASSERT_TRUE(link.findTheHid() && otherLink.findTheHid() && link.followBySerialNumber());
    EXPECT_EQ(link.choice(), (DeviceChoice{{}, "B"}));
    Bytes magic(65, 0);
    EXPECT_TRUE(writeEnterBootloaderReport(magic) && otherLink.sendFeatureReport(magic) &&
                link.sendFeatureReport(magic));
    link.closeConnection();
    bus.sleep(std::chrono::milliseconds(300));
    ASSERT_TRUE(link.findTheHid() && link.inBootloaderMode());
    EXPECT_EQ(link.devicePath(), "sim:hid4") << "sim:hid3 is the other device's bootloader";
}

// A link kept to the device open finds that device again once its connection has closed, and
// nothing else: not another device of its serial number that arrived ahead of it in the
// listing, nor one that came under its path after it left (another arrival), with a serial
// number or without.
TEST(DeviceLink, KeptToItsDeviceFindsThatArrivalAgainAndNoOther) {
    enum class Then { Stays, AnotherAhead, AnotherAtItsPath, Leaves };
    const std::tuple<const char16_t*, Then, bool> cases[] = {
        // its serial number, what happens while the connection is closed, found again
        {u"S", Then::Stays, true},
        {u"S", Then::AnotherAhead, true},
        {u"S", Then::AnotherAtItsPath, false},
        {u"", Then::AnotherAtItsPath, false},
        {u"", Then::AnotherAhead, true},
        {u"S", Then::Leaves, false},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        const auto& [serial, then, foundAgain] = cases[row];
        SCOPED_TRACE(::testing::Message() << "row " << row);
        SimulatedBus bus;
        DeviceConfig own, ahead;
        own.serialNumber = *serial ? utf16Bytes(serial) : Bytes{};
        ahead = own;
        ahead.arrivesAt = std::chrono::milliseconds(then == Then::AnotherAhead ? 100 : 1'000'000);
        bus.addDevice(ahead);
        const std::string path = bus.addDevice(own);
        DeviceLink link(bus);
        EXPECT_FALSE(link.keepToOpenDevice()) << "nothing open";
        ASSERT_TRUE(link.findTheHid() && link.keepToOpenDevice());
        link.closeConnection();
        if (then == Then::AnotherAtItsPath || then == Then::Leaves)
            bus.unplug(path);
        if (then == Then::AnotherAtItsPath) {
            DeviceConfig another = own;
            another.path = path;
            bus.addDevice(another);
        }
        bus.sleep(std::chrono::milliseconds(200));
        EXPECT_EQ(link.findTheHid(), foundAgain);
        EXPECT_EQ(bus.state(path).present, then != Then::Leaves);
        if (foundAgain) {
            EXPECT_EQ(link.devicePath(), path);
        }
    }
}

TEST(DecodeIdentityString, ReadsUtf16UnitsUpToTheFirstZeroUnitWithinTheBytesGiven) {
    const std::pair<Bytes, std::string> cases[] = {
        {{0, 0, 'x', 0}, ""},
        {{'A', 0, 'B'}, "A"},                            // an odd last byte is not a unit
        {{0x00, 0x01, 'x', 0}, "\xC4\x80x"},             // U+0100 is no terminator
        {{0xAC, 0x20}, "\xE2\x82\xAC"},                  // U+20AC
        {{0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},  // a surrogate pair
        {{0x3D, 0xD8, 'z', 0}, "\xEF\xBF\xBDz"},         // unpaired high surrogate
        {{0x00, 0xDE}, "\xEF\xBF\xBD"},                  // unpaired low surrogate
        {{'a', 0, 0x3D, 0xD8}, "a\xEF\xBF\xBD"},         // high surrogate cut by the end
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(decodeIdentityString(bytes), expected);
}

TEST(VersionText, HighByteDecimalLowByteUpperHex) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x010A, "1.A"}, {0x0110, "1.10"}, {0xFFFF, "255.FF"}};
    for (const auto& [version, text] : cases)
        EXPECT_EQ(versionText(version), text) << version;
}

TEST(ReadIdentityCaptions, FillsWhatTheDeviceAnswersWithALeadingSpace) {
    // 25 characters, no terminator: the 40-byte serial query holds 20 of them.
    Bytes longSerial = utf16Bytes(u"ABCDEFGHIJKLMNOPQRSTUVWXY");
    longSerial.resize(50);
    // Manufacturer, product, version and serial number; a failed query leaves its label.
    using Captions = std::vector<std::optional<std::string>>;
    const std::tuple<bool, bool, Captions> cases[] = {
        // plugged in, queries fail, captions
        {true, false, {" Maker", " Gadget", " 1.5", " ABCDEFGHIJKLMNOPQRST"}},
        {true, true, {{}, {}, {}, {}}},
        {false, false, {{}, {}, {}, {}}}};
    for (const auto& [plugged, queriesFail, expected] : cases) {
        SimulatedBus bus;
        DeviceConfig config;
        config.manufacturer = utf16Bytes(u"Maker");
        config.product = utf16Bytes(u"Gadget");
        config.serialNumber = longSerial;
        config.faults.failIdentityStrings = queriesFail;
        if (plugged)
            bus.addDevice(config);
        DeviceLink link(bus);
        EXPECT_EQ(link.findTheHid(), plugged);
        const auto before = bus.monotonicTime();
        const auto captions = readIdentityCaptions(link);
        EXPECT_EQ(captions.enableUpdate, plugged);
        EXPECT_EQ((Captions{captions.manufacturer, captions.product, captions.version,
                            captions.serialNumber}),
                  expected);
        EXPECT_EQ(bus.monotonicTime() - before, std::chrono::milliseconds(plugged ? 15 : 0));
    }
}

TEST(Reports, ABufferTooSmallForTheLayoutIsRefusedAndLeftAsItWas) {
    const ImageRecord record{};
    const std::pair<std::function<bool(std::span<std::uint8_t>)>, std::size_t> builders[] = {
        {[](auto b) { return writeStartReport(b); }, 5},
        {[](auto b) { return writeEraseReport(b); }, 5},
        {[](auto b) { return writeEraseReport(b, 1000); }, 9},
        {[&](auto b) { return writeWriteRecordReport(b, record); }, 49},
        {[](auto b) { return writeFinishReport(b); }, 5},
        {[](auto b) { return writeEnterBootloaderReport(b); }, 5},
        {[&](auto b) { return writeBootloaderRecordReport(b, record); }, 41},
        {[](auto b) {
             std::array<std::uint8_t, protocol::BlockSize> block{};
             return readBlockData(b, block);
         },
         36},
    };
    for (const auto& [build, size] : builders) {
        std::vector<std::uint8_t> exact(size, 0xCC);
        std::vector<std::uint8_t> tooSmall(size - 1, 0xCC);
        EXPECT_TRUE(build(exact)) << size;
        EXPECT_FALSE(build(tooSmall)) << size;
        EXPECT_EQ(tooSmall, std::vector<std::uint8_t>(size - 1, 0xCC)) << size;
    }
}

}  // namespace
}  // namespace fwu::device
