#pragma once

#include <string>
#include <vector>

#include "platform/hid_platform.h"

namespace fwu::device {

// One supported device as the search found it. A device that could not be opened for lack of
// permission has its IDs only.
struct FoundDevice {
    std::string path;
    platform::Attributes attributes;
    bool opened = false;
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
};

struct DeviceDirectory {
    std::vector<FoundDevice> devices;
    bool permissionDenied = false;  // a supported device could not be opened for lack of it
};

// Every supported device present, in enumeration order. Each interface is opened, queried and
// closed again; foreign ones are passed over. Control characters in the texts show as '?'.
DeviceDirectory findSupportedDevices(platform::HidPlatform& platform);

}  // namespace fwu::device
