#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/hid_platform.h"

namespace fwu::device {

// One supported device present. A device that could not be opened for lack of permission is
// listed with its IDs only.
struct FoundDevice {
    std::string path;
    platform::Attributes attributes;
    bool opened = false;
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
    std::optional<platform::DeviceHolder> heldBy;  // another program holds it
    std::string arrival{};  // as the platform tells it (InterfaceEntry::arrival)
};

struct DeviceDirectory {
    std::vector<FoundDevice> devices;
    bool permissionDenied = false;  // a supported device could not be opened for lack of it
};

// Every supported device present, in enumeration order, and who holds it. Each interface is
// opened, queried and closed again, never claimed; foreign ones are passed over.
DeviceDirectory findSupportedDevices(platform::HidPlatform& platform);

// An identity string of the device open on `handle`, as the directory shows it: decoded from
// the standard query length, control characters (C0 and C1) and bidirectional controls shown as
// '?'. Empty when the query fails.
std::string identityText(platform::HidPlatform& platform, platform::Handle handle,
                         platform::IdentityString which);

}  // namespace fwu::device
