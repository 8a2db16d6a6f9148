#include "device/device_directory.h"

#include <optional>

#include "device/identity.h"
#include "device/protocol.h"

namespace fwu::device {

namespace {

using platform::IdentityString;

// Control characters would break a line apart or act on the terminal; they show as '?'.
std::string printable(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return text;
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
        if (auto device = examine(platform, entry.path, directory.permissionDenied))
            directory.devices.push_back(std::move(*device));
    }
    return directory;
}

}  // namespace fwu::device
