#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/uevent.h"

namespace fwu::platform::linux_hid {

// The identity of the USB device above a HID device, where there is one. Each field is
// missing when its sysfs file is (a device without a serial number has no `serial`).
struct UsbParent {
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<std::string> serialNumber;
    std::optional<std::uint16_t> releaseNumber;  // bcdDevice
};

// The number N of a node name "hidrawN"; nothing for any other name.
std::optional<unsigned> hidrawNodeNumber(std::string_view nodeName);

// Reads what sysfs tells about hidraw nodes, below a root that is "/sys" on a running system
// and a fake tree in tests. Nothing here opens a device node.
class SysfsReader {
  public:
    explicit SysfsReader(std::filesystem::path sysRoot);

    // Every hidrawN under class/hidraw, in ascending N (hidraw10 after hidraw9).
    std::vector<std::string> hidrawNodeNames() const;

    std::optional<HidUevent> hidUevent(const std::string& nodeName) const;
    std::optional<UsbParent> usbParent(const std::string& nodeName) const;
    // The name of the node's HID device, "0003:7A5D:0A11.0005": the kernel numbers every HID
    // device it adds anew (the last part), so the name tells one arrival from any other.
    std::optional<std::string> hidDeviceName(const std::string& nodeName) const;

  private:
    std::filesystem::path hidDevice(const std::string& nodeName) const;

    std::filesystem::path sysRoot_;
};

}  // namespace fwu::platform::linux_hid
