#include "device/identity.h"

#include <gtest/gtest.h>

#include "device/device_link.h"
#include "platform/simulated/simulated_bus.h"

namespace fwu::device {
namespace {

using platform::simulated::DeviceConfig;
using platform::simulated::SimulatedBus;
using platform::simulated::utf16Bytes;
using Bytes = std::vector<std::uint8_t>;

TEST(DecodeIdentityString, ReadsUtf16UnitsUpToTheFirstZeroUnitWithinTheBytesGiven) {
    const std::pair<Bytes, std::string> cases[] = {
        {{0, 0, 'x', 0}, ""},
        {{'A', 0, 'b', 0, 0, 0, 'z', 0}, "Ab"},
        {{'A', 0, 'B'}, "A"},                            // an odd last byte is not a unit
        {{0xE9, 0x00, 0, 0}, "\xC3\xA9"},                // U+00E9
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
        {0x0105, "1.5"}, {0x010A, "1.A"}, {0x0110, "1.10"}, {0xFFFF, "255.FF"}};
    for (const auto& [version, text] : cases)
        EXPECT_EQ(versionText(version), text) << version;
}

TEST(ReadIdentityCaptions, FillsWhatTheDeviceAnswersWithALeadingSpace) {
    // 25 characters, no terminator: the 40-byte serial query holds 20 of them.
    Bytes longSerial;
    for (char c = 'A'; c < 'A' + 25; ++c)
        longSerial.insert(longSerial.end(), {static_cast<std::uint8_t>(c), 0});
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

}  // namespace
}  // namespace fwu::device
