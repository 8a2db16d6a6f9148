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

TEST(ReadIdentityCaptions, FillsWhatTheDeviceAnswersWithALeadingSpace) {
    using Caption = std::optional<std::string>;
    struct Case {
        const char* name;
        bool plugged;
        bool failIdentityStrings;
        Bytes serialNumber;
        bool enableUpdate;
        Caption manufacturer, product, version, serialNumber_;
    };
    // 25 characters, no terminator: the 40-byte serial query holds 20 of them.
    Bytes longSerial;
    for (char c = 'A'; c < 'A' + 25; ++c)
        longSerial.insert(longSerial.end(), {std::uint8_t(c), 0});
    const Bytes serial = platform::simulated::utf16Bytes(u"SN42");
    const Case cases[] = {
        {"named device", true, false, serial, true, " Maker", " Gadget", " 1.5", " SN42"},
        {"failed queries leave their labels", true, true, serial, true, {}, {}, {}, {}},
        {"long serial", true, false, longSerial, true, " Maker", " Gadget", " 1.5",
         " ABCDEFGHIJKLMNOPQRST"},
        {"no device", false, false, serial, false, {}, {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedBus bus;
        DeviceConfig config;
        config.manufacturer = platform::simulated::utf16Bytes(u"Maker");
        config.product = platform::simulated::utf16Bytes(u"Gadget");
        config.serialNumber = c.serialNumber;
        config.faults.failIdentityStrings = c.failIdentityStrings;
        if (c.plugged)
            bus.addDevice(config);
        DeviceLink link(bus);
        EXPECT_EQ(link.findTheHid(), c.plugged);
        const auto before = bus.monotonicTime();
        const auto captions = readIdentityCaptions(link);
        EXPECT_EQ(captions.enableUpdate, c.enableUpdate);
        EXPECT_EQ(captions.manufacturer, c.manufacturer);
        EXPECT_EQ(captions.product, c.product);
        EXPECT_EQ(captions.version, c.version);
        EXPECT_EQ(captions.serialNumber, c.serialNumber_);
        if (!c.plugged) {
            EXPECT_EQ(bus.monotonicTime(), before);  // not even the pauses
        }
    }
}

}  // namespace
}  // namespace fwu::device
