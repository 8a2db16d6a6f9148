#pragma once

namespace fwu::cli {

inline constexpr const char* NoDeviceMessage =
    "No supported device found. Connect the device and try again.";
inline constexpr const char* PermissionDeniedMessage =
    "A device was found but cannot be opened: permission denied. Install the udev rule "
    "70-firmware-update.rules (see README.md, section Linux), then unplug the device and plug "
    "it in again.";

}  // namespace fwu::cli
