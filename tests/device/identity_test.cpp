#include "device/identity.h"

#include <gtest/gtest.h>

#include "device/device_link.h"
#include "platform/simulated/simulated_bus.h"

namespace fwu::device {
namespace {

using platform::simulated::DeviceConfig;
using platform::simulated::SimulatedBus;
using Bytes = std::vector<std::uint8_t>;

TEST(DecodeIdentityString, ReadsUtf16UnitsUpToTheFirstZeroUnitWithinTheBytesGiven) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"empty buffer", {}, ""},
        {"empty string", {0, 0, 'x', 0}, ""},
        {"ascii", {'A', 0, 'b', 0, 0, 0, 'z', 0}, "Ab"},
        {"no terminator", {'A', 0, 'B', 0}, "AB"},
        {"odd last byte is not a unit", {'A', 0, 'B'}, "A"},
        {"latin-1", {0xE9, 0x00, 0, 0}, "\xC3\xA9"},
        {"U+0100 is a character, not a terminator", {0x00, 0x01, 'x', 0}, "\xC4\x80x"},
        {"above U+00FF", {0xAC, 0x20, 0, 0}, "\xE2\x82\xAC"},
        {"surrogate pair", {0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},
        {"unpaired high surrogate",
         {0x3D, 0xD8, 'a', 0},
         "\xEF\xBF\xBD"
         "a"},
        {"unpaired low surrogate", {0x00, 0xDE}, "\xEF\xBF\xBD"},
        {"high surrogate cut by the end", {'a', 0, 0x3D, 0xD8}, "a\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeIdentityString(c.bytes), c.expected) << c.name;
    }
}

TEST(VersionText, HighByteDecimalLowByteUpperHex) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0000, "0.0"},  {0x0100, "1.0"},   {0x0105, "1.5"},   {0x010A, "1.A"},
        {0x0110, "1.10"}, {0x1234, "18.34"}, {0x8000, "128.0"}, {0xFFFF, "255.FF"},
    };
    for (const auto& [version, text] : cases)
        EXPECT_EQ(versionText(version), text) << version;
}

DeviceConfig namedDevice() {
    DeviceConfig config;
    config.manufacturer = platform::simulated::utf16Bytes(u"Maker");
    config.product = platform::simulated::utf16Bytes(u"Gadget");
    config.serialNumber = platform::simulated::utf16Bytes(u"SN42");
    config.versionNumber = 0x0105;
    return config;
}

TEST(ReadIdentityCaptions, FillsEveryCaptionWithALeadingSpace) {
    SimulatedBus bus;
    bus.addDevice(namedDevice());
    DeviceLink link(bus);
    ASSERT_TRUE(link.findTheHid());
    const auto captions = readIdentityCaptions(link);
    EXPECT_TRUE(captions.enableUpdate);
    EXPECT_EQ(captions.manufacturer, " Maker");
    EXPECT_EQ(captions.product, " Gadget");
    EXPECT_EQ(captions.version, " 1.5");
    EXPECT_EQ(captions.serialNumber, " SN42");
}

TEST(ReadIdentityCaptions, FailedQueriesLeaveTheirLabelsButStillEnableTheUpdate) {
    SimulatedBus bus;
    auto config = namedDevice();
    config.faults.failIdentityStrings = true;
    bus.addDevice(config);
    DeviceLink link(bus);
    ASSERT_TRUE(link.findTheHid());
    const auto captions = readIdentityCaptions(link);
    EXPECT_TRUE(captions.enableUpdate);
    EXPECT_FALSE(captions.manufacturer || captions.product || captions.version ||
                 captions.serialNumber);
}

TEST(ReadIdentityCaptions, ReadsOnlyTheBytesEachQueryIsGiven) {
    SimulatedBus bus;
    auto config = namedDevice();
    // 25 characters, no terminator: the 40-byte serial query holds 20 of them.
    config.serialNumber = Bytes();
    for (char c = 'A'; c < 'A' + 25; ++c)
        config.serialNumber.insert(config.serialNumber.end(), {std::uint8_t(c), 0});
    bus.addDevice(config);
    DeviceLink link(bus);
    ASSERT_TRUE(link.findTheHid());
    EXPECT_EQ(readIdentityCaptions(link).serialNumber, " ABCDEFGHIJKLMNOPQRST");
}

TEST(ReadIdentityCaptions, WithoutADeviceQueriesNothing) {
    SimulatedBus bus;
    DeviceLink link(bus);
    const auto before = bus.monotonicTime();
    const auto captions = readIdentityCaptions(link);
    EXPECT_FALSE(captions.enableUpdate);
    EXPECT_FALSE(captions.manufacturer.has_value());
    EXPECT_EQ(bus.monotonicTime(), before);  // not even the pauses
}

}  // namespace
}  // namespace fwu::device
