#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace fwu::platform::linux_hid {

// The longest report of each kind in bytes, one byte for the report ID included, as the HID
// capabilities of other platforms give them. A kind without reports has length 0.
struct ReportLengths {
    std::uint16_t input = 0;
    std::uint16_t output = 0;
    std::uint16_t feature = 0;

    friend bool operator==(const ReportLengths&, const ReportLengths&) = default;
};

enum class DescriptorError {
    None,
    TruncatedItem,         // a short item's data runs past the end
    LongItemPastEnd,       // a long item's data runs past the end
    EmptyField,            // Input, Output or Feature with Report Size or Report Count 0
    FieldTooLarge,         // Report Size or Report Count beyond what HID allows
    ReportTooLong,         // one report grows past the largest report buffer
    InvalidReportId,       // Report ID 0 or above 255
    GlobalStackOverflow,   // too many Push items
    GlobalStackUnderflow,  // Pop without Push
    UnbalancedCollection,  // End Collection without Collection, or one left open
};

struct DescriptorParse {
    std::optional<ReportLengths> lengths;  // set when the descriptor parsed
    DescriptorError error = DescriptorError::None;
    std::size_t errorOffset = 0;  // byte offset of the item that failed
};

// Parses a HID report descriptor and sums Report Size x Report Count of every main item per
// report kind and report ID. Reads only inside `descriptor`.
DescriptorParse parseReportDescriptor(std::span<const std::uint8_t> descriptor);

std::string_view describe(DescriptorError error);

}  // namespace fwu::platform::linux_hid
