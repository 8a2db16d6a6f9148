#include "device/identity.h"

#include <chrono>
#include <vector>

#include "device/device_link.h"

namespace fwu::device {
namespace {

constexpr char32_t ReplacementCharacter = 0xFFFD;
constexpr std::chrono::milliseconds PauseBeforeQuery{5};

void appendUtf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::optional<std::string> queryCaption(DeviceLink& link, platform::IdentityString which,
                                        std::size_t queryBytes) {
    link.platform().sleep(PauseBeforeQuery);
    const auto handle = link.overlappedHandle();
    if (!handle)
        return std::nullopt;
    std::vector<std::uint8_t> buffer(queryBytes, 0);
    if (!link.platform().identityString(*handle, which, buffer))
        return std::nullopt;
    return " " + decodeIdentityString(buffer);
}

}  // namespace

std::string decodeIdentityString(std::span<const std::uint8_t> bytes) {
    std::vector<char16_t> units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        units.push_back(unit);
    }
    std::string text;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (isHighSurrogate(unit) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
            appendUtf8(text, 0x10000 + ((char32_t(unit) - 0xD800) << 10) +
                                 (char32_t(units[i + 1]) - 0xDC00));
            ++i;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendUtf8(text, ReplacementCharacter);
        } else {
            appendUtf8(text, unit);
        }
    }
    return text;
}

std::string versionText(std::uint16_t versionNumber) {
    static constexpr char HexDigits[] = "0123456789ABCDEF";
    const unsigned major = versionNumber >> 8;
    const unsigned minor = versionNumber & 0xFF;
    std::string text = std::to_string(major) + ".";
    if (minor >= 0x10)
        text += HexDigits[minor >> 4];
    text += HexDigits[minor & 0xF];
    return text;
}

IdentityCaptions readIdentityCaptions(DeviceLink& link) {
    IdentityCaptions captions;
    if (!link.deviceDetected())
        return captions;
    captions.enableUpdate = true;
    using platform::IdentityString;
    captions.manufacturer =
        queryCaption(link, IdentityString::Manufacturer, ManufacturerQueryBytes);
    if (captions.manufacturer)
        captions.version = " " + versionText(link.attributes().versionNumber);
    captions.product = queryCaption(link, IdentityString::Product, ProductQueryBytes);
    captions.serialNumber =
        queryCaption(link, IdentityString::SerialNumber, SerialNumberQueryBytes);
    return captions;
}

}  // namespace fwu::device
