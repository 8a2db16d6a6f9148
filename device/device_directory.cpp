#include "cli/device_list.h"

#include <array>
#include <cstdio>
#include <optional>

#include "device/identity.h"
#include "device/protocol.h"

namespace fwu::cli {

namespace {

using platform::IdentityString;

// Control characters would break the line apart or act on the terminal; they show as '?'.
std::string printable(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return text;
}

std::string identityText(platform::HidPlatform& platform, platform::Handle handle,
                         IdentityString which, std::size_t queryBytes) {
    std::vector<std::uint8_t> buffer(queryBytes, 0);
    if (!platform.identityString(handle, which, buffer))
        return {};
    return printable(device::decodeIdentityString(buffer));
}

std::optional<ListedDevice> examine(platform::HidPlatform& platform, const std::string& path,
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
        return ListedDevice{path, *attributes, false, {}, {}, {}};
    }
    const platform::Handle handle = *opened.handle;
    std::optional<ListedDevice> listed;
    const auto attributes = platform.attributes(handle);
    if (attributes && protocol::isSupportedDevice(attributes->vendorId, attributes->productId)) {
        listed = ListedDevice{
            path,
            *attributes,
            true,
            identityText(platform, handle, IdentityString::Manufacturer,
                         device::ManufacturerQueryBytes),
            identityText(platform, handle, IdentityString::Product, device::ProductQueryBytes),
            identityText(platform, handle, IdentityString::SerialNumber,
                         device::SerialNumberQueryBytes),
        };
    }
    platform.close(handle);
    return listed;
}

std::string hex4(std::uint16_t value) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "%04x", static_cast<unsigned>(value));
    return text.data();
}

}  // namespace

DeviceListing listSupportedDevices(platform::HidPlatform& platform) {
    DeviceListing listing;
    for (const auto& entry : platform.enumerateInterfaces()) {
        if (entry.path.empty())
            continue;
        if (auto device = examine(platform, entry.path, listing.permissionDenied))
            listing.devices.push_back(std::move(*device));
    }
    return listing;
}

std::string deviceLine(const ListedDevice& device) {
    const auto& ids = device.attributes;
    const char* mode =
        ids.productId == protocol::BootloaderProductId ? "bootloader" : "application";
    const std::string version = device.opened ? device::versionText(ids.versionNumber) : "";
    return device.path + '\t' + mode + '\t' + hex4(ids.vendorId) + ':' + hex4(ids.productId) +
           '\t' + version + '\t' + device.manufacturer + '\t' + device.product + '\t' +
           device.serialNumber;
}

}  // namespace fwu::cli
