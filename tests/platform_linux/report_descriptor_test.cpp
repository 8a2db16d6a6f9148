#include "platform/linux/report_descriptor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace fwu::platform::linux_hid {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The boot keyboard: modifiers, reserved byte and six key codes in; five LEDs and padding out.
const Bytes Keyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};

// Three buttons with padding, then X, Y and wheel.
const Bytes Mouse = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19,
                     0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02,
                     0x95, 0x01, 0x75, 0x05, 0x81, 0x03, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09,
                     0x38, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x03, 0x81, 0x06, 0xC0, 0xC0};

// Vendor page, one unnumbered feature report of 63 bytes.
const Bytes VendorFeature63 = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF,
                               0x00, 0x75, 0x08, 0x95, 0x3F, 0x09, 0x01, 0xB1, 0x02, 0xC0};

// Feature reports 1, 2 and 3 of 7, 32 and 16 bytes, with an input report on ID 1.
const Bytes NumberedFeatures = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x85,
    0x01, 0x95, 0x07, 0x09, 0x01, 0xB1, 0x02, 0x95, 0x02, 0x09, 0x01, 0x81, 0x02, 0x85, 0x02,
    0x95, 0x20, 0x09, 0x01, 0xB1, 0x02, 0x85, 0x03, 0x95, 0x10, 0x09, 0x01, 0xB1, 0x02, 0xC0};

// Report 4: 48 bytes and then 4 bits in a second item of the same report, 49 bytes in all.
const Bytes FieldsSummedPerReport = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x04, 0x75,
                                     0x08, 0x95, 0x30, 0xB1, 0x02, 0x75, 0x01, 0x95, 0x04, 0xB1,
                                     0x02, 0x85, 0x05, 0x75, 0x08, 0x95, 0x31, 0x81, 0x02, 0xC0};

// Push keeps Report Count 16 while a 48-byte field is declared; Pop brings it back for a
// second field of 16 bytes: 64 bytes.
const Bytes PushPop = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95,
                       0x10, 0xA4, 0x95, 0x30, 0xB1, 0x02, 0xB4, 0xB1, 0x02, 0xC0};

// A long item (skipped whole) between short items, and a four-byte Report Count.
const Bytes LongItemAndWideData = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xFE,
                                   0x03, 0x10, 0xB1, 0xB1, 0xB1, 0x75, 0x08, 0x97,
                                   0x40, 0x00, 0x00, 0x00, 0xB1, 0x02, 0xC0};

TEST(ReportDescriptor, GivesTheLongestReportOfEachKindWithTheIdByte) {
    const struct {
        const char* name;
        Bytes descriptor;
        ReportLengths lengths;
    } cases[] = {
        {"Keyboard", Keyboard, {9, 2, 0}},
        {"Mouse", Mouse, {5, 0, 0}},
        {"VendorFeature63", VendorFeature63, {0, 0, 64}},
        {"NumberedFeatures", NumberedFeatures, {3, 0, 33}},
        {"FieldsSummedPerReport", FieldsSummedPerReport, {50, 0, 50}},
        {"PushPop", PushPop, {0, 0, 65}},
        {"LongItemAndWideData", LongItemAndWideData, {0, 0, 65}},
        {"Empty", {}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DescriptorParse parse = parseReportDescriptor(c.descriptor);
        ASSERT_TRUE(parse.lengths) << describe(parse.error) << " at " << parse.errorOffset;
        EXPECT_EQ(parse.lengths->input, c.lengths.input);
        EXPECT_EQ(parse.lengths->output, c.lengths.output);
        EXPECT_EQ(parse.lengths->feature, c.lengths.feature);
    }
}

TEST(ReportDescriptor, FailsWithTheReasonAndTheOffsetOfTheItem) {
    using enum DescriptorError;
    const struct {
        const char* name;
        Bytes descriptor;
        DescriptorError error;
        std::size_t offset;
    } cases[] = {
        {"one-byte item cut off", {0x75, 0x08, 0x95}, TruncatedItem, 2},
        {"two-byte item cut off", {0x26, 0xFF}, TruncatedItem, 0},
        {"four-byte item cut off", {0x97, 0x01, 0x00, 0x00}, TruncatedItem, 0},
        {"long item data past end", {0xFE, 0x10, 0x00, 0x01, 0x02}, LongItemPastEnd, 0},
        {"long item header cut off", {0xA1, 0x01, 0xFE, 0x00}, LongItemPastEnd, 2},
        {"report count zero", {0x75, 0x08, 0x95, 0x00, 0xB1, 0x02}, EmptyField, 4},
        {"report size never set", {0x95, 0x04, 0x81, 0x02}, EmptyField, 2},
        {"report size all ones", {0x77, 0xFF, 0xFF, 0xFF, 0xFF}, FieldTooLarge, 0},
        {"report count 65536", {0x97, 0x00, 0x00, 0x01, 0x00}, FieldTooLarge, 0},
        {"report longer than any buffer",
         {0x75, 0x80, 0x96, 0x00, 0x30, 0xB1, 0x02},
         ReportTooLong,
         5},
        {"report ID 0", {0x85, 0x00}, InvalidReportId, 0},
        {"report ID 256", {0x86, 0x00, 0x01}, InvalidReportId, 0},
        {"five pushes", {0xA4, 0xA4, 0xA4, 0xA4, 0xA4}, GlobalStackOverflow, 4},
        {"pop without push", {0x75, 0x08, 0xB4}, GlobalStackUnderflow, 2},
        {"end without collection", {0xC0}, UnbalancedCollection, 0},
        {"collection left open", {0xA1, 0x01, 0x75, 0x08}, UnbalancedCollection, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DescriptorParse parse = parseReportDescriptor(c.descriptor);
        EXPECT_FALSE(parse.lengths);
        EXPECT_EQ(parse.error, c.error) << describe(parse.error);
        EXPECT_EQ(parse.errorOffset, c.offset);
    }
}

// Every prefix of a real descriptor is a descriptor cut short: each must parse or fail with
// an end-of-data reason, and never read past its last byte (the copy on the heap has
// exactly the prefix's size, so the sanitizer build sees any overread).
TEST(TruncatedDescriptor, EveryPrefixEndsCleanly) {
    for (const Bytes* descriptor : {&Keyboard, &Mouse, &NumberedFeatures, &LongItemAndWideData}) {
        for (std::size_t size = 0; size < descriptor->size(); ++size) {
            const auto prefix = std::make_unique<std::uint8_t[]>(size);
            std::copy_n(descriptor->begin(), size, prefix.get());
            const DescriptorParse parse =
                parseReportDescriptor(std::span<const std::uint8_t>(prefix.get(), size));
            if (parse.lengths)
                continue;
            EXPECT_TRUE(parse.error == DescriptorError::TruncatedItem ||
                        parse.error == DescriptorError::LongItemPastEnd ||
                        parse.error == DescriptorError::UnbalancedCollection)
                << "prefix of " << size << " bytes: " << describe(parse.error);
            EXPECT_LT(parse.errorOffset, size);
        }
    }
}

}  // namespace
}  // namespace fwu::platform::linux_hid
