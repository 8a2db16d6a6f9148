#include "platform/linux/uevent.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/linux/utf16_text.h"

namespace fwu::platform::linux_hid {
namespace {

TEST(HidIdParsing, ReadsBusVendorProductOrRejects) {
    const std::pair<const char*, std::optional<HidId>> cases[] = {
        {"0003:00007A5D:00000A11", HidId{0x0003, 0x7A5D, 0x0A11}},
        {"0005:00007a5d:00000b1d", HidId{0x0005, 0x7A5D, 0x0B1D}},
        {"0003:0000FFFF:00000000", HidId{0x0003, 0xFFFF, 0x0000}},
        {"0003:00010000:00000A11", std::nullopt},  // past 16 bits
        {"0003:00007A5D", std::nullopt},
        {"0003:00007A5D:00000A11:1", std::nullopt},
        {"0003:7A5D:", std::nullopt},
        {"0003:-7A5D:0A11", std::nullopt},
        {"0003:0x7A5D:0A11", std::nullopt},
        {"0003:7A5D :0A11", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, id] : cases)
        EXPECT_EQ(parseHidId(text), id) << text;
}

TEST(HidUeventParsing, TakesIdNameAndUniqAndIgnoresTheRest) {
    const HidUevent uevent = parseHidUevent(
        "DRIVER=hid-generic\nHID_ID=0003:00007A5D:00000A12\nHID_NAME=Acme = Widget\n"
        "HID_PHYS=usb-0000:00:14.0-1/input0\nHID_UNIQ=SN-0042\nMODALIAS=hid:b0003");
    EXPECT_EQ(uevent.id, (HidId{0x0003, 0x7A5D, 0x0A12}));
    EXPECT_EQ(uevent.name, "Acme = Widget");
    EXPECT_EQ(uevent.uniq, "SN-0042");
}

TEST(HidUeventParsing, MissingOrMalformedLinesLeaveFieldsEmpty) {
    const HidUevent uevent = parseHidUevent("HID_ID=garbage\nnot a line\nHID_UNIQ=\n");
    EXPECT_FALSE(uevent.id);
    EXPECT_FALSE(uevent.name);
    EXPECT_EQ(uevent.uniq, "");
}

TEST(Utf8ToUtf16, DecodesOrReplaces) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"Acme", u"Acme"},
        {"Caf\xC3\xA9", u"Caf\u00E9"},
        {"\xC4\x80x", u"\u0100x"},                // above Latin-1
        {"\xF0\x9F\x98\x80", u"\U0001F600"},      // supplementary
        {"a\x80z", u"a\uFFFDz"},                  // stray continuation
        {"a\xE2\x82", u"a\uFFFD\uFFFD"},          // cut sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // surrogate
    };
    for (const auto& [utf8, units] : cases)
        EXPECT_EQ(utf8ToUtf16(utf8), units) << utf8;
}

TEST(WriteUtf16Le, WholeUnitsThenTerminatorWhereTheyFit) {
    struct Case {
        std::size_t bufferSize;
        std::vector<std::uint8_t> expected;  // the buffer starts as 0xEE everywhere
    };
    const std::vector<Case> cases = {
        {8, {'A', 0, 0x00, 0x01, 0, 0, 0xEE, 0xEE}},  // text, terminator, rest untouched
        {4, {'A', 0, 0x00, 0x01}},                    // exactly full: no terminator
        {5, {'A', 0, 0x00, 0x01, 0xEE}},              // odd byte left as it was
        {3, {'A', 0, 0xEE}},
        {0, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> buffer(c.bufferSize, 0xEE);
        writeUtf16Le(u"A\u0100", buffer);
        EXPECT_EQ(buffer, c.expected) << "buffer of " << c.bufferSize;
    }
}

}  // namespace
}  // namespace fwu::platform::linux_hid
