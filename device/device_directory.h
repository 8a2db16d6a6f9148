#pragma once

#include <string>
#include <vector>

#include "platform/hid_platform.h"

namespace fwu::cli {

// One supported device as `list` shows it. A device that could not be opened for lack of
// permission is listed with its IDs only.
struct ListedDevice {
    std::string path;
    platform::Attributes attributes;
    bool opened = false;
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
};

struct DeviceListing {
    std::vector<ListedDevice> devices;
    bool permissionDenied = false;  // a supported device could not be opened for lack of it
};

// Every supported device present, in enumeration order. Each interface is opened, queried and
// closed again; foreign ones are passed over.
DeviceListing listSupportedDevices(platform::HidPlatform& platform);

// The device's line: path, mode, vendor:product ID, version, manufacturer, product and serial
// number, separated by tabs. Fields a device did not tell are empty.
std::string deviceLine(const ListedDevice& device);

}  // namespace fwu::cli
