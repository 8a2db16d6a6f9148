#include "cli/device_list.h"

#include <array>
#include <cstdio>

#include "device/identity.h"
#include "device/protocol.h"
#include "firmware/messages.h"

namespace fwu::cli {

std::string hexId(std::uint16_t value) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "%04x", static_cast<unsigned>(value));
    return text.data();
}

std::string modeName(const platform::Attributes& attributes) {
    return attributes.productId == protocol::BootloaderProductId ? "bootloader" : "application";
}

std::string deviceLine(const device::FoundDevice& device) {
    const auto& ids = device.attributes;
    const std::string version = device.opened ? device::versionText(ids.versionNumber) : "";
    std::string line = device.path + '\t' + modeName(ids) + '\t' + hexId(ids.vendorId) + ':' +
                       hexId(ids.productId) + '\t' + version + '\t' + device.manufacturer + '\t' +
                       device.product + '\t' + device.serialNumber;
    if (device.heldBy)
        line += "\tin use by " + firmware::messages::holderText(*device.heldBy);
    return line;
}

}  // namespace fwu::cli
