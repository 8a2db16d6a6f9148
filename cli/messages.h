#pragma once

namespace fwu::cli {

inline constexpr const char* NoDeviceMessage =
    "No supported device found. Connect the device and try again.";

// Only a backend that can tell a device it may not open from an absent one reports this; on
// Linux that is a hidraw node without access for this user.
inline constexpr const char* PermissionDeniedMessage =
    "A device was found but cannot be opened: permission denied. "
#ifdef __linux__
    "Install the udev rule 70-firmware-update.rules that comes with the program (see the "
    "\"Linux\" section of the README), then unplug the device and plug it in again.";
#else
    "Close any other program that uses the device, then unplug it and plug it in again.";
#endif

}  // namespace fwu::cli
