#include "cli/device_list.h"

#include <array>
#include <cstdio>

#include "device/identity.h"
#include "device/protocol.h"

namespace fwu::cli {

namespace {

std::string hex4(std::uint16_t value) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "%04x", static_cast<unsigned>(value));
    return text.data();
}

}  // namespace

std::string deviceLine(const device::FoundDevice& device) {
    const auto& ids = device.attributes;
    const char* mode =
        ids.productId == protocol::BootloaderProductId ? "bootloader" : "application";
    const std::string version = device.opened ? device::versionText(ids.versionNumber) : "";
    return device.path + '\t' + mode + '\t' + hex4(ids.vendorId) + ':' + hex4(ids.productId) +
           '\t' + version + '\t' + device.manufacturer + '\t' + device.product + '\t' +
           device.serialNumber;
}

}  // namespace fwu::cli
