#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace fwu::device {

class DeviceLink;

// Byte lengths given to the three identity-string queries.
inline constexpr std::size_t ManufacturerQueryBytes = 60;
inline constexpr std::size_t ProductQueryBytes = 60;
inline constexpr std::size_t SerialNumberQueryBytes = 40;

// Decodes UTF-16LE code units up to the first zero unit, within `bytes` (an odd last byte is
// not a unit). Returns UTF-8; an unpaired surrogate becomes U+FFFD.
std::string decodeIdentityString(std::span<const std::uint8_t> bytes);

// "major.MINOR": the high byte in decimal, the low byte in upper-case hexadecimal.
std::string versionText(std::uint16_t versionNumber);

// The captions of the four identity labels, each with its leading space. A caption that is
// not set leaves its label as it was; the version is set only with the manufacturer.
struct IdentityCaptions {
    bool enableUpdate = false;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<std::string> version;
    std::optional<std::string> serialNumber;
};

// Queries the identity strings of the connected device (a 5 ms pause before each) and turns
// them into captions. Without a detected device it queries nothing and changes nothing.
IdentityCaptions readIdentityCaptions(DeviceLink& link);

}  // namespace fwu::device
