#include "platform/linux/uevent.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>

namespace fwu::platform::linux_hid {
namespace {

std::string_view nextLine(std::string_view& text) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

// udev's message header: "libudev\0", a magic number and the header's size, then the offset and
// the length of the fields, in the host's byte order.
constexpr std::string_view UdevPrefix{"libudev\0", 8};
constexpr std::size_t UdevFieldsOffsetAt = 16;
constexpr std::size_t UdevFieldsLengthAt = 20;

std::uint32_t headerNumber(std::string_view message, std::size_t at) {
    std::uint32_t number = 0;
    std::memcpy(&number, message.data() + at, sizeof number);
    return number;
}

// The "KEY=value" fields of a kernel or udev message; nothing of a udev header that places them
// outside the message.
std::string_view ueventFields(std::string_view message) {
    if (!message.starts_with(UdevPrefix))
        return message;
    if (message.size() < UdevFieldsLengthAt + sizeof(std::uint32_t))
        return {};
    const std::size_t offset = headerNumber(message, UdevFieldsOffsetAt);
    const std::size_t length = headerNumber(message, UdevFieldsLengthAt);
    if (offset > message.size() || length > message.size() - offset)
        return {};
    return message.substr(offset, length);
}

}  // namespace

std::optional<std::uint16_t> parseHex16(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 16);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    if (value > std::numeric_limits<std::uint16_t>::max())
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::optional<HidId> parseHidId(std::string_view value) {
    std::array<std::string_view, 3> fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t colon = value.find(':');
        const bool last = i + 1 == fields.size();
        if (last != (colon == std::string_view::npos))
            return std::nullopt;
        fields[i] = value.substr(0, colon);
        value.remove_prefix(last ? value.size() : colon + 1);
    }
    const auto bus = parseHex16(fields[0]);
    const auto vendor = parseHex16(fields[1]);
    const auto product = parseHex16(fields[2]);
    if (!bus || !vendor || !product)
        return std::nullopt;
    return HidId{*bus, *vendor, *product};
}

bool isHidrawArrivalOrRemoval(std::string_view message) {
    message = ueventFields(message);
    bool hidraw = false;
    bool arrivalOrRemoval = false;
    while (!message.empty()) {
        const std::size_t end = message.find('\0');
        const std::string_view field = message.substr(0, end);
        message.remove_prefix(end == std::string_view::npos ? message.size() : end + 1);
        hidraw = hidraw || field == "SUBSYSTEM=hidraw";
        arrivalOrRemoval = arrivalOrRemoval || field == "ACTION=add" || field == "ACTION=remove";
    }
    return hidraw && arrivalOrRemoval;
}

HidUevent parseHidUevent(std::string_view text) {
    HidUevent uevent;
    while (!text.empty()) {
        const std::string_view line = nextLine(text);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (key == "HID_ID") {
            uevent.id = parseHidId(value);
        } else if (key == "HID_NAME") {
            uevent.name = std::string(value);
        } else if (key == "HID_UNIQ") {
            uevent.uniq = std::string(value);
        }
    }
    return uevent;
}

}  // namespace fwu::platform::linux_hid
