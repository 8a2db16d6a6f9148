// What the Linux backend parses: report descriptors, the HID_ID of a uevent, and the text of
// identity strings.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/linux/report_descriptor.h"
#include "platform/linux/uevent.h"
#include "platform/linux/utf16_text.h"
#include "tests/platform_linux/hid_descriptors.h"

namespace fwu::platform::linux_hid::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Bytes written as hex pairs, "75 08 95 40".
Bytes hex(const std::string& pairs) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 3)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(pairs.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Each descriptor gives its longest report of each kind, the report-ID byte included. Every
// prefix of it is a descriptor cut short, which parses or fails for the end of its data and
// never reads past its last byte (the copy on the heap has exactly the prefix's size, so the
// sanitizer build sees any overread).
TEST(ReportDescriptor, GivesTheLongestReportsAndEndsEveryPrefixCleanly) {
    using enum DescriptorError;
    const std::pair<Bytes, ReportLengths> cases[] = {
        {KeyboardDescriptor, {9, 2, 0}},  // input and output report, no ID
        {FamilyDescriptor, {0, 0, 65}},
        // feature reports 1 to 3 of 7, 32 and 16 bytes, an input report on ID 1
        {hex("A1 01 75 08 85 01 95 07 B1 02 95 02 81 02 85 02 95 20 B1 02 85 03 95 10 B1 02 C0"),
         {3, 0, 33}},
        // report 4: 48 bytes and 4 bits in two items, summed
        {hex("85 04 75 08 95 30 B1 02 75 01 95 04 B1 02 85 05 75 08 95 31 81 02"), {50, 0, 50}},
        // Push keeps the count of 16 over a field of 48 bytes; Pop brings it back
        {hex("75 08 95 10 A4 95 30 B1 02 B4 B1 02"), {0, 0, 65}},
        // a long item skipped whole, and a Report Count with four data bytes
        {hex("A1 01 FE 03 10 B1 B1 B1 75 08 97 40 00 00 00 B1 02 C0"), {0, 0, 65}},
        {{}, {0, 0, 0}},
    };
    for (const auto& [descriptor, lengths] : cases) {
        const DescriptorParse whole = parseReportDescriptor(descriptor);
        EXPECT_EQ(whole.lengths, lengths) << describe(whole.error) << " at " << whole.errorOffset;
        for (std::size_t size = 0; size < descriptor.size(); ++size) {
            const auto prefix = std::make_unique<std::uint8_t[]>(size);
            std::copy_n(descriptor.begin(), size, prefix.get());
            const DescriptorParse parse = parseReportDescriptor({prefix.get(), size});
            const DescriptorError error = parse.error;
            EXPECT_TRUE(parse.lengths || ((error == TruncatedItem || error == LongItemPastEnd ||
                                           error == UnbalancedCollection) &&
                                          parse.errorOffset < size))
                << size << " bytes: " << describe(error);
        }
    }
}

TEST(ReportDescriptor, FailsWithTheReasonAndTheOffsetOfTheItem) {
    using enum DescriptorError;
    const struct {
        const char* descriptor;
        DescriptorError error;
        std::size_t offset;
    } cases[] = {
        {"75 08 95", TruncatedItem, 2},
        {"26 FF", TruncatedItem, 0},
        {"97 01 00 00", TruncatedItem, 0},
        {"FE 10 00 01 02", LongItemPastEnd, 0},
        {"A1 01 FE 00", LongItemPastEnd, 2},
        {"75 08 95 00 B1 02", EmptyField, 4},
        {"95 04 81 02", EmptyField, 2},
        {"77 FF FF FF FF", FieldTooLarge, 0},
        {"97 00 00 01 00", FieldTooLarge, 0},
        {"75 80 96 00 30 B1 02", ReportTooLong, 5},
        {"85 00", InvalidReportId, 0},
        {"86 00 01", InvalidReportId, 0},
        {"A4 A4 A4 A4 A4", GlobalStackOverflow, 4},
        {"75 08 B4", GlobalStackUnderflow, 2},
        {"C0", UnbalancedCollection, 0},
        {"A1 01 75 08", UnbalancedCollection, 2},
    };
    for (const auto& c : cases) {
        const DescriptorParse parse = parseReportDescriptor(hex(c.descriptor));
        EXPECT_FALSE(parse.lengths) << c.descriptor;
        EXPECT_EQ(parse.error, c.error) << c.descriptor << ": " << describe(parse.error);
        EXPECT_EQ(parse.errorOffset, c.offset) << c.descriptor;
    }
}

TEST(HidIdParsing, ReadsBusVendorProductOrRejects) {
    const std::pair<const char*, std::optional<HidId>> cases[] = {
        {"0003:00007A5D:00000A11", HidId{0x0003, 0x7A5D, 0x0A11}},
        {"0005:00007a5d:00000b1d", HidId{0x0005, 0x7A5D, 0x0B1D}},
        {"0003:0000FFFF:00000000", HidId{0x0003, 0xFFFF, 0x0000}},
        {"0003:00010000:00000A11", {}},  // past 16 bits
        {"0003:00007A5D", {}},
        {"0003:00007A5D:00000A11:1", {}},
        {"0003:7A5D:", {}},
        {"0003:-7A5D:0A11", {}},
        {"0003:0x7A5D:0A11", {}},
        {"0003:7A5D :0A11", {}},
        {"", {}},
    };
    for (const auto& [text, id] : cases)
        EXPECT_EQ(parseHidId(text), id) << text;
}

// udev's message: its header, then `fields` placed at `offset` (the header's end when not given).
std::string udevMessage(const std::string& fields, std::uint32_t offset = 40) {
    std::string header("libudev\0\xFE\xED\xCA\xFE", 12);
    header.resize(40, '\x01');  // no zero byte before the fields
    const auto length = static_cast<std::uint32_t>(fields.size());
    std::memcpy(header.data() + 16, &offset, sizeof offset);
    std::memcpy(header.data() + 20, &length, sizeof length);
    return header + fields;
}

// Netlink uevents: fields end in a zero byte; only a hidraw node added or removed counts.
TEST(UeventMessage, TellsAHidrawNodeAddedOrRemoved) {
    using namespace std::string_literals;
    const std::string hidraw = "@/devices/virtual/misc/uhid/0003:7A5D:0A11.0001/hidraw/hidraw3"s;
    const std::string udevAdd = "ACTION=add\0DEVPATH=/x\0SUBSYSTEM=hidraw\0"s;
    const std::pair<std::string, bool> cases[] = {
        {"add" + hidraw + "\0ACTION=add\0DEVPATH=/x\0SUBSYSTEM=hidraw\0MINOR=3\0"s, true},
        {"remove" + hidraw + "\0ACTION=remove\0SUBSYSTEM=hidraw"s, true},
        {"change" + hidraw + "\0ACTION=change\0SUBSYSTEM=hidraw\0"s, false},
        {"add@/x\0ACTION=addSUBSYSTEM=hidraw\0"s, false},  // one field, not two
        {"SUBSYSTEM=hidraw\0ACTION=add"s, true},
        {udevMessage(udevAdd), true},
        {udevMessage(udevAdd, 41), false},  // its fields would run past the message
        {udevMessage(udevAdd).substr(0, 20), false},
        {"", false},
    };
    for (const auto& [message, counts] : cases)
        EXPECT_EQ(isHidrawArrivalOrRemoval(message), counts) << message;
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

// The buffer starts as 0xEE everywhere: whole units, the terminator where it fits, and the
// rest as it was.
TEST(WriteUtf16Le, WholeUnitsThenTerminatorWhereTheyFit) {
    const std::vector<std::uint8_t> cases[] = {{'A', 0, 0x00, 0x01, 0, 0, 0xEE, 0xEE},
                                               {'A', 0, 0x00, 0x01},
                                               {'A', 0, 0x00, 0x01, 0xEE},
                                               {'A', 0, 0xEE},
                                               {}};
    for (const auto& expected : cases) {
        std::vector<std::uint8_t> buffer(expected.size(), 0xEE);
        writeUtf16Le(u"A\u0100", buffer);
        EXPECT_EQ(buffer, expected) << "buffer of " << expected.size();
    }
}

}  // namespace
}  // namespace fwu::platform::linux_hid::testing
