#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fwu::platform::linux_hid {

// The bus and IDs of a HID device, from the HID_ID line of its uevent ("0003:00007A5D:00000A11").
struct HidId {
    std::uint16_t bus = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;

    friend bool operator==(const HidId&, const HidId&) = default;
};

// What the program reads from the uevent file of a HID device.
struct HidUevent {
    std::optional<HidId> id;
    std::optional<std::string> name;  // HID_NAME
    std::optional<std::string> uniq;  // HID_UNIQ, the serial number where the device has one
};

// Parses "KEY=value" lines. Unknown keys are ignored; a malformed HID_ID leaves `id` empty.
HidUevent parseHidUevent(std::string_view text);

std::optional<HidId> parseHidId(std::string_view value);

// Whether a uevent as netlink delivers it tells that a hidraw node was added or removed: the
// kernel's ("ACTION@DEVPATH", then "KEY=value" fields, each ended by a zero byte) or udev's (a
// header that begins with "libudev" and places the same fields).
bool isHidrawArrivalOrRemoval(std::string_view message);

// A hexadecimal number of at most 16 bits and nothing else ("0A11", "7a5d").
std::optional<std::uint16_t> parseHex16(std::string_view text);

}  // namespace fwu::platform::linux_hid
