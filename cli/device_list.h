#pragma once

#include <string>

#include "device/device_directory.h"

namespace fwu::cli {

// The device's line as `list` shows it: path, mode, vendor:product ID, version, manufacturer,
// product and serial number, separated by tabs, and "in use by ..." after one more tab while
// another program holds it. Fields a device did not tell are empty.
std::string deviceLine(const device::FoundDevice& device);

// "application" or "bootloader".
std::string modeName(const platform::Attributes& attributes);
// "7a5d".
std::string hexId(std::uint16_t value);

}  // namespace fwu::cli
