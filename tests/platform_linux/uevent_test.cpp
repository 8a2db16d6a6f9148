#include "platform/linux/uevent.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "platform/linux/utf16_text.h"

namespace fwu::platform::linux_hid {
namespace {

struct HidIdCase {
    std::string text;
    std::optional<HidId> id;

    friend void PrintTo(const HidIdCase& c, std::ostream* out) { *out << c.text; }
};

class HidIdParsing : public ::testing::TestWithParam<HidIdCase> {};

TEST_P(HidIdParsing, ReadsBusVendorProductOrRejects) {
    EXPECT_EQ(parseHidId(GetParam().text), GetParam().id) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Values, HidIdParsing,
    ::testing::Values(HidIdCase{"0003:00007A5D:00000A11", HidId{0x0003, 0x7A5D, 0x0A11}},
                      HidIdCase{"0005:00007a5d:00000b1d", HidId{0x0005, 0x7A5D, 0x0B1D}},
                      HidIdCase{"0003:0000FFFF:00000000", HidId{0x0003, 0xFFFF, 0x0000}},
                      HidIdCase{"0003:00010000:00000A11", std::nullopt},  // past 16 bits
                      HidIdCase{"0003:00007A5D", std::nullopt},
                      HidIdCase{"0003:00007A5D:00000A11:1", std::nullopt},
                      HidIdCase{"0003:7A5D:", std::nullopt},
                      HidIdCase{"0003:-7A5D:0A11", std::nullopt},
                      HidIdCase{"0003:0x7A5D:0A11", std::nullopt},
                      HidIdCase{"0003:7A5D :0A11", std::nullopt}, HidIdCase{"", std::nullopt}));

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

struct Utf16Case {
    std::string name;
    std::string utf8;
    std::u16string units;

    friend void PrintTo(const Utf16Case& c, std::ostream* out) { *out << c.name; }
};

class Utf8ToUtf16 : public ::testing::TestWithParam<Utf16Case> {};

TEST_P(Utf8ToUtf16, DecodesOrReplaces) {
    EXPECT_EQ(utf8ToUtf16(GetParam().utf8), GetParam().units);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8ToUtf16,
    ::testing::Values(Utf16Case{"Ascii", "Acme", u"Acme"},
                      Utf16Case{"Latin1", "Caf\xC3\xA9", u"Caf\u00E9"},
                      Utf16Case{"AboveLatin1", "\xC4\x80x", u"\u0100x"},
                      Utf16Case{"Supplementary", "\xF0\x9F\x98\x80", u"\U0001F600"},
                      Utf16Case{"StrayContinuation", "a\x80z", u"a\uFFFDz"},
                      Utf16Case{"CutSequence", "a\xE2\x82", u"a\uFFFD\uFFFD"},
                      Utf16Case{"Overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
                      Utf16Case{"Surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}),
    [](const auto& info) { return info.param.name; });

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
