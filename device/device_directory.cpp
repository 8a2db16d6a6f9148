#include "device/device_directory.h"

#include <optional>

#include "device/identity.h"
#include "device/protocol.h"

namespace fwu::device {

namespace {

using platform::IdentityString;

// Characters that break a line apart, act on the terminal (C0 and C1 controls, DEL: U+009B
// starts a control sequence as ESC [ does) or turn the text around (the bidirectional controls).
bool isUnsafe(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// The UTF-8 text with each unsafe character shown as '?'. The text is valid UTF-8, as
// decodeIdentityString makes it.
std::string printable(const std::string& text) {
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t next = 1; next < length && at + next < text.size(); ++next)
            c = (c << 6) | (static_cast<unsigned char>(text[at + next]) & 0x3F);
        shown += isUnsafe(c) ? std::string("?") : text.substr(at, length);
        at += length;
    }
    return shown;
}

std::size_t queryBytes(IdentityString which) {
    switch (which) {
        case IdentityString::Manufacturer:
            return ManufacturerQueryBytes;
        case IdentityString::Product:
            return ProductQueryBytes;
        case IdentityString::SerialNumber:
            return SerialNumberQueryBytes;
    }
    return 0;
}

std::optional<FoundDevice> examine(platform::HidPlatform& platform, const std::string& path,
                                   bool& permissionDenied) {
    const auto opened = platform.open(path, platform::OpenMode::Plain);
    if (!opened.handle) {
        if (opened.error != platform::OpenError::PermissionDenied)
            return std::nullopt;
        const auto attributes = platform.attributesWithoutOpening(path);
        if (!attributes ||
            !protocol::isSupportedDevice(attributes->vendorId, attributes->productId))
            return std::nullopt;
        permissionDenied = true;
        return FoundDevice{path, *attributes, false, {}, {}, {}, platform.holderOf(path)};
    }
    const platform::Handle handle = *opened.handle;
    std::optional<FoundDevice> found;
    const auto attributes = platform.attributes(handle);
    if (attributes && protocol::isSupportedDevice(attributes->vendorId, attributes->productId)) {
        found = FoundDevice{
            path,
            *attributes,
            true,
            identityText(platform, handle, IdentityString::Manufacturer),
            identityText(platform, handle, IdentityString::Product),
            identityText(platform, handle, IdentityString::SerialNumber),
            platform.holderOf(path),
        };
    }
    platform.close(handle);
    return found;
}

}  // namespace

std::string identityText(platform::HidPlatform& platform, platform::Handle handle,
                         IdentityString which) {
    std::vector<std::uint8_t> buffer(queryBytes(which), 0);
    if (!platform.identityString(handle, which, buffer))
        return {};
    return printable(decodeIdentityString(buffer));
}

DeviceDirectory findSupportedDevices(platform::HidPlatform& platform) {
    DeviceDirectory directory;
    for (const auto& entry : platform.enumerateInterfaces()) {
        if (entry.path.empty())
            continue;
        if (auto device = examine(platform, entry.path, directory.permissionDenied)) {
            device->arrival = entry.arrival;
            directory.devices.push_back(std::move(*device));
        }
    }
    return directory;
}

}  // namespace fwu::device
