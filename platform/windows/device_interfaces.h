#pragma once

#include <vector>

#include "platform/hid_platform.h"

namespace fwu::platform::windows {

class WindowsApi;

// Every HID device interface present, in SetupAPI's order, each with its device path. An
// interface whose path cannot be obtained is listed with an empty path.
std::vector<InterfaceEntry> enumerateHidInterfaces(WindowsApi& api);

}  // namespace fwu::platform::windows
