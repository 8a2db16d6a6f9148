#include "platform/linux/report_descriptor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
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

struct ValidCase {
    std::string name;
    Bytes descriptor;
    ReportLengths lengths;

    friend void PrintTo(const ValidCase& c, std::ostream* out) { *out << c.name; }
};

class ValidDescriptor : public ::testing::TestWithParam<ValidCase> {};

TEST_P(ValidDescriptor, GivesTheLongestReportOfEachKindWithTheIdByte) {
    const DescriptorParse parse = parseReportDescriptor(GetParam().descriptor);
    ASSERT_TRUE(parse.lengths) << describe(parse.error) << " at " << parse.errorOffset;
    EXPECT_EQ(parse.lengths->input, GetParam().lengths.input);
    EXPECT_EQ(parse.lengths->output, GetParam().lengths.output);
    EXPECT_EQ(parse.lengths->feature, GetParam().lengths.feature);
}

INSTANTIATE_TEST_SUITE_P(
    RealDescriptors, ValidDescriptor,
    ::testing::Values(ValidCase{"Keyboard", Keyboard, {9, 2, 0}},
                      ValidCase{"Mouse", Mouse, {5, 0, 0}},
                      ValidCase{"VendorFeature63", VendorFeature63, {0, 0, 64}},
                      ValidCase{"NumberedFeatures", NumberedFeatures, {3, 0, 33}},
                      ValidCase{"FieldsSummedPerReport", FieldsSummedPerReport, {50, 0, 50}},
                      ValidCase{"PushPop", PushPop, {0, 0, 65}},
                      ValidCase{"LongItemAndWideData", LongItemAndWideData, {0, 0, 65}},
                      ValidCase{"Empty", {}, {0, 0, 0}}),
    [](const auto& info) { return info.param.name; });

struct BrokenCase {
    std::string name;
    Bytes descriptor;
    DescriptorError error;
    std::size_t offset;  // of the item that fails

    friend void PrintTo(const BrokenCase& c, std::ostream* out) { *out << c.name; }
};

class BrokenDescriptor : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenDescriptor, FailsWithTheReasonAndTheItem) {
    const DescriptorParse parse = parseReportDescriptor(GetParam().descriptor);
    EXPECT_FALSE(parse.lengths);
    EXPECT_EQ(parse.error, GetParam().error) << describe(parse.error);
    EXPECT_EQ(parse.errorOffset, GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, BrokenDescriptor,
    ::testing::Values(
        BrokenCase{"OneByteItemCutOff", {0x75, 0x08, 0x95}, DescriptorError::TruncatedItem, 2},
        BrokenCase{"TwoByteItemCutOff", {0x26, 0xFF}, DescriptorError::TruncatedItem, 0},
        BrokenCase{
            "FourByteItemCutOff", {0x97, 0x01, 0x00, 0x00}, DescriptorError::TruncatedItem, 0},
        BrokenCase{"LongItemDataPastEnd",
                   {0xFE, 0x10, 0x00, 0x01, 0x02},
                   DescriptorError::LongItemPastEnd,
                   0},
        BrokenCase{
            "LongItemHeaderCutOff", {0xA1, 0x01, 0xFE, 0x00}, DescriptorError::LongItemPastEnd, 2},
        BrokenCase{"ReportCountZero",
                   {0x75, 0x08, 0x95, 0x00, 0xB1, 0x02},
                   DescriptorError::EmptyField,
                   4},
        BrokenCase{"ReportSizeNeverSet", {0x95, 0x04, 0x81, 0x02}, DescriptorError::EmptyField, 2},
        BrokenCase{
            "ReportSizeAllOnes", {0x77, 0xFF, 0xFF, 0xFF, 0xFF}, DescriptorError::FieldTooLarge, 0},
        BrokenCase{
            "ReportCount65536", {0x97, 0x00, 0x00, 0x01, 0x00}, DescriptorError::FieldTooLarge, 0},
        BrokenCase{"ReportLongerThanAnyBuffer",
                   {0x75, 0x80, 0x96, 0x00, 0x30, 0xB1, 0x02},
                   DescriptorError::ReportTooLong,
                   5},
        BrokenCase{"ReportIdZero", {0x85, 0x00}, DescriptorError::InvalidReportId, 0},
        BrokenCase{"ReportId256", {0x86, 0x00, 0x01}, DescriptorError::InvalidReportId, 0},
        BrokenCase{
            "FivePushes", {0xA4, 0xA4, 0xA4, 0xA4, 0xA4}, DescriptorError::GlobalStackOverflow, 4},
        BrokenCase{"PopWithoutPush", {0x75, 0x08, 0xB4}, DescriptorError::GlobalStackUnderflow, 2},
        BrokenCase{"EndWithoutCollection", {0xC0}, DescriptorError::UnbalancedCollection, 0},
        BrokenCase{"CollectionLeftOpen",
                   {0xA1, 0x01, 0x75, 0x08},
                   DescriptorError::UnbalancedCollection,
                   2}),
    [](const auto& info) { return info.param.name; });

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
