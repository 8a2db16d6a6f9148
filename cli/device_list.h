#pragma once

#include <string>

#include "device/device_directory.h"

namespace fwu::cli {

// The device's line of `list`: path, mode, vendor:product ID, version, manufacturer, product
// and serial number, separated by tabs. Fields a device did not tell are empty.
std::string deviceLine(const device::FoundDevice& device);

}  // namespace fwu::cli
